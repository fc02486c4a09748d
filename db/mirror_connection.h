#pragma once
// The one connection to the MySQL/MariaDB server that holds the mirror
// database, on MariaDB Connector/C.
#include <string>

typedef struct st_mysql MYSQL;

namespace tarnlight::db {

struct ConnectionParams {
    std::string host;  // addressIP
    std::string user;
    std::string password;
    unsigned port = 0;  // 0: the client library's default
    unsigned connectTimeoutSeconds = 5;
};

class MirrorConnection {
public:
    MirrorConnection() = default;
    ~MirrorConnection();
    MirrorConnection(const MirrorConnection&) = delete;
    MirrorConnection& operator=(const MirrorConnection&) = delete;

    // mysql_init + mysql_real_connect (no default database, no socket, no
    // flags) with a connect time-out. False on failure; Error() tells why and
    // the handle is closed again.
    bool Open(const ConnectionParams& params);
    bool SelectDatabase(const std::string& name);  // mysql_select_db
    bool Query(const std::string& sql);            // mysql_query; true when accepted
    bool Ping();                                   // mysql_ping == 0
    void Close();                                  // mysql_close; safe when closed
    bool IsOpen() const { return handle_ != nullptr; }
    std::string Error() const;  // mysql_error text of the last failure
    MYSQL* handle() { return handle_; }
    const ConnectionParams& params() const { return params_; }

private:
    MYSQL* handle_ = nullptr;
    ConnectionParams params_;
    std::string lastError_;
};

}  // namespace tarnlight::db
