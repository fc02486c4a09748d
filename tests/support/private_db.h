#pragma once
// The private MariaDB server of the test run (scripts/mariadb-private, started
// by the ctest fixture TlDb into $TARNLIGHT_TEST_DB_DIR) as the tests see it:
// connection parameters for 127.0.0.1, a database name of their own per test
// (the tests run in parallel against one server), and a second client that
// reads and changes the tables the way another program would.
//
//   if (!tarnlight::test::PrivateDbAvailable()) GTEST_SKIP() << "no test database";
//   auto params = tarnlight::test::PrivateDbParams();
//   std::string name = tarnlight::test::UniqueDbName("mirror");
//   tarnlight::test::OtherClient other(params);
//   other.Exec("UPDATE " + name + ".new_m SET value=1, flag=1 WHERE id=10");
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "apps/private_server.h"
#include "db/mirror_connection.h"

namespace tarnlight::test {

// Directory of the test run's server; empty when the variable is not set.
inline std::string PrivateDbDir() {
    const char* dir = std::getenv("TARNLIGHT_TEST_DB_DIR");
    return dir != nullptr ? std::string(dir) : std::string();
}

// Parameters for root over TCP at 127.0.0.1 from DIR/port and DIR/password.
inline db::ConnectionParams PrivateDbParams(const std::string& dir = PrivateDbDir()) {
    return tools::PrivateServerParams(dir);
}

inline bool PrivateDbAvailable(const std::string& dir = PrivateDbDir()) {
    return !dir.empty() && !tools::ReadFirstLine(dir + "/port").empty();
}

// "tl_<stem>_<pid>_<n>": unique across the parallel test processes and the
// cases of one process; stem should be a short plain identifier.
inline std::string UniqueDbName(const std::string& stem) {
    static std::atomic<unsigned> counter{0};
    std::string name = "tl_" + stem + "_" + std::to_string(static_cast<long>(getpid())) + "_" +
                       std::to_string(counter++);
    if (name.size() > 64) name = name.substr(name.size() - 64);
    return name;
}

// The private server script (for tests that run a server instance of their own).
inline std::string PrivateDbScript() {
    if (const char* script = std::getenv("TARNLIGHT_DB_SCRIPT")) return script;
#ifdef TARNLIGHT_SOURCE_DIR
    return std::string(TARNLIGHT_SOURCE_DIR) + "/scripts/mariadb-private";
#else
    return "scripts/mariadb-private";
#endif
}

// Runs "<script> action dir"; the exit status (0 success).
inline int RunPrivateDbScript(const std::string& action, const std::string& dir) {
    const std::string command =
        "'" + PrivateDbScript() + "' " + action + " '" + dir + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Made with openssl in dir: a CA, a server certificate for 127.0.0.1 it signed, another
// CA, and the option file of a server that takes TLS sessions only.
inline bool MakeTlsServerFiles(const std::string& d) {
    const std::string req =
        " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string sh = "mkdir -p '" + d + "' && cd '" + d + "'" + req +
                           " -x509 -keyout ca.key -out ca.pem -subj /CN=ca" + req +
                           " -x509 -keyout o.key -out other-ca.pem -subj /CN=o" + req +
                           " -keyout server.key -out s.csr -subj /CN=127.0.0.1 && echo "
                           "subjectAltName=IP:127.0.0.1 >ext && openssl x509 -req -in s.csr -CA "
                           "ca.pem -CAkey ca.key -CAcreateserial -extfile ext -out server.pem";
    if (std::system(("(" + sh + ") >/dev/null 2>&1").c_str()) != 0) return false;
    std::ofstream(d + "/server.cnf")
        << "[mariadbd]\nssl-ca=" << d << "/ca.pem\nssl-cert=" << d << "/server.pem\nssl-key=" << d
        << "/server.key\nrequire-secure-transport=ON\n[client]\n"
        << "ssl-ca=" << d << "/ca.pem\n";
    return true;
}

// A server instance of a test's own in "<the run's server directory>-<name>",
// for a test that stops, kills or freezes its server: the tests sharing the
// run's server are not disturbed. Started by the constructor; continued and
// stopped by the destructor. With tls it takes TLS sessions only
// (MakeTlsServerFiles), and params() verify its certificate.
class OwnServer {
  public:
    explicit OwnServer(const std::string& name, bool tls = false)
        : dir_(PrivateDbDir() + "-" + name), tls_(tls) {
        started_ = (!tls || MakeTlsServerFiles(dir_)) && RunPrivateDbScript("start", dir_) == 0;
    }
    ~OwnServer() {
        if (!started_) return;
        Continue();
        RunPrivateDbScript("stop", dir_);
    }
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;

    bool ok() const { return started_; }
    const std::string& dir() const { return dir_; }
    db::ConnectionParams params() const {
        db::ConnectionParams params = PrivateDbParams(dir_);
        if (tls_) params.tls = {SslMode::VerifyIdentity, dir_ + "/ca.pem", "", ""};
        return params;
    }
    // Frozen (SIGSTOP), the server's kernel still takes connections and
    // statements, but nothing answers them, as with a hung server.
    bool Freeze() { return Signal(SIGSTOP); }
    bool Continue() { return Signal(SIGCONT); }
    // Down and up again, its data kept: a restarted server.
    bool Stop() { return RunPrivateDbScript("stop", dir_) == 0; }
    bool Start() { return RunPrivateDbScript("start", dir_) == 0; }

  private:
    bool Signal(int signal) {
        const long pid =
            std::strtol(tools::ReadFirstLine(dir_ + "/mysqld.pid").c_str(), nullptr, 10);
        return pid > 0 && ::kill(static_cast<pid_t>(pid), signal) == 0;
    }

    std::string dir_;
    bool tls_ = false;
    bool started_ = false;
};

// Another program on the same server, with a connection of its own.
class OtherClient {
  public:
    explicit OtherClient(const db::ConnectionParams& params = PrivateDbParams(),
                         const std::string& database = "") {
        ok_ =
            connection_.Open(params) && (database.empty() || connection_.SelectDatabase(database));
    }
    bool ok() const { return ok_; }
    std::string Error() const { return connection_.Error(); }
    bool Exec(const std::string& sql) { return connection_.Query(sql); }
    db::Rows Rows(const std::string& sql) {
        db::Rows rows;
        connection_.FetchRows(sql, rows);
        return rows;
    }
    // First column of the first row; "" when there is none.
    std::string Scalar(const std::string& sql) {
        const db::Rows rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
    }
    long Number(const std::string& sql) { return std::strtol(Scalar(sql).c_str(), nullptr, 10); }
    bool DatabaseExists(const std::string& name) {
        return Number("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" +
                      connection_.Escape(name) + "'") == 1;
    }
    // Every statement the server's general log holds for one session, oldest
    // first (the log table keeps rows in the order they were written). Logging must be on: see
    // EnableGeneralLog.
    std::vector<std::string> LoggedStatements(unsigned long threadId) {
        std::vector<std::string> out;
        for (auto& row :
             Rows("SELECT command_type, CONVERT(argument USING utf8mb4) FROM mysql.general_log "
                  "WHERE thread_id=" +
                  std::to_string(threadId)))
            if (row[0] == "Query") out.push_back(row[1]);
        return out;
    }
    // Turns on the general log into mysql.general_log (server-wide; it is
    // never turned off again, so parallel tests do not disturb each other).
    bool EnableGeneralLog() {
        return Exec("SET GLOBAL log_output='TABLE'") && Exec("SET GLOBAL general_log=1");
    }
    db::MirrorConnection& connection() { return connection_; }

  private:
    db::MirrorConnection connection_;
    bool ok_ = false;
};

}  // namespace tarnlight::test
