// The headless gateway as a process: settings file, simulator on COM1,
// stopping by signal, its exit status and its line trace; as a service runs
// it, with a database user of its own and the password in a credential file.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "settings/settings.h"
#include "settings/settings_directory.h"
#include "settings/settings_file.h"
#include "sim/plc_simulator.h"
#include "tests/support/private_db.h"
#include "tests/support/temp_config_home.h"
#include "tests/support/wait_for.h"

namespace tarnlight::test {
namespace {

class GatewayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.ok());
        dir_ = home_.path();
        sim::SimConfig config;
        config.t1 = 0;
        sim_ = std::make_unique<sim::PlcSimulator>(config);
        ASSERT_TRUE(sim_->OpenPty());
        ASSERT_TRUE(sim_->CreateDeviceLink(0));
        ASSERT_TRUE(sim_->Start());
        settings_ = DefaultSettings();
        settings_.dbEnabled = false;
        settings_.T1 = 0;
        settings_.T2 = 200;
        settings_.T3b = 400;
        settings_.lostconn = 0;
        output_ = dir_ + "/out.txt";
        errors_ = dir_ + "/err.txt";
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        sim_.reset();
    }

    void Start(const std::vector<std::string>& args) {
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            FILE* out = std::freopen(output_.c_str(), "w", stdout);
            if (out == nullptr || std::freopen(errors_.c_str(), "w", stderr) == nullptr) _exit(99);
            std::vector<char*> argv = {const_cast<char*>(TARNLIGHT_GATEWAY_PATH)};
            for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(98);
        }
    }
    int Wait() {
        int status = 0;
        EXPECT_EQ(waitpid(pid_, &status, 0), pid_);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string Text(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Output() const { return Text(output_); }
    bool Printed(const std::string& what) const { return Output().find(what) != std::string::npos; }

    TempConfigHome home_{"tl-gateway"};
    std::string dir_, output_, errors_;
    std::unique_ptr<sim::PlcSimulator> sim_;
    Settings settings_;
    pid_t pid_ = -1;
};

TEST_F(GatewayTest, MissingOrUnloadableSettingsFileIsAnError) {
    Start({"--settings", dir_ + "/none.ini"});
    EXPECT_EQ(Wait(), 2);
    std::ofstream(dir_ + "/bad.ini") << "[MySQL]\nsslMode=VERIFY\n";
    Start({"--settings", dir_ + "/bad.ini"});
    EXPECT_EQ(Wait(), 2);
    std::ofstream(dir_ + "/tags.ini") << "[Tags]\nflow=%AI3 REAL fast\n";
    Start({"--settings", dir_ + "/tags.ini"});
    EXPECT_EQ(Wait(), 2);
    EXPECT_NE(
        Text(errors_).find("E31: Cannot load settings from selected .ini file: " + dir_ +
                           "/tags.ini\nline 2, [Tags] flow=%AI3 REAL fast: unknown word 'fast'\n"),
        std::string::npos)
        << Text(errors_);
}

TEST_F(GatewayTest, RunsUntilSigtermAndStopsCleanly) {
    const std::string path = dir_ + "/gw.ini";
    TagDefinition pump, count;
    ASSERT_TRUE(ParseTagDefinition("pump", "%Q5", &pump, nullptr));
    ASSERT_TRUE(ParseTagDefinition("count", "%R12 DINT offset=1", &count, nullptr));
    settings_.tags = {pump, count};
    settings_.areaEnabled[4] = true;
    sim_->SetBit(sim::kAreaQ, 5, true);
    sim_->SetWord(sim::kAreaR, 12, 0xCD16);  // 123456790
    sim_->SetWord(sim::kAreaR, 13, 0x075B);
    ASSERT_EQ(SaveSettings(settings_, path, nullptr), SaveResult::Ok);
    // No periodic line within the test: the one seen comes from SIGUSR1.
    Start({"--settings", path, "--break-free", "--values", "--stats", "86400"});
    ASSERT_TRUE(WaitFor([&] { return Printed("%I 1..48: "); }));
    // Tags as name=value, when they change.
    ASSERT_TRUE(WaitFor([&] { return Printed(" pump=1\n"); }));
    EXPECT_TRUE(WaitFor([&] { return Printed(" count=123456791\n"); }));  // every digit
    sim_->SetBit(sim::kAreaQ, 5, false);
    ASSERT_TRUE(WaitFor([&] { return Printed(" pump=0\n"); }));
    EXPECT_TRUE(Printed(" LinkState: Online\n"));
    kill(pid_, SIGUSR1);
    ASSERT_TRUE(WaitFor([&] { return Printed(" link_state=Online\n"); }));
    EXPECT_TRUE(Printed(" stats: cycles="));
    kill(pid_, SIGTERM);
    EXPECT_EQ(Wait(), 0);
    const std::string out = Output();
    // And a last one as it stops, after the link has gone.
    EXPECT_NE(out.find(" link_state=Offline\n", out.find("LinkState: Offline")), std::string::npos);
    EXPECT_NE(out.find("LinkState: Offline"), std::string::npos);
    EXPECT_NE(out.find("Icon: 0 (no connection)", out.find("LinkState: Online")),
              std::string::npos);
    // One time-stamped line per change.
    EXPECT_EQ(out.rfind("20", 0), 0u);
    EXPECT_EQ(out[23], ' ');
}

TEST_F(GatewayTest, UnreachablePlcEndsWithE22AndFailure) {
    sim_->SetDead(true);
    const std::string path = dir_ + "/gw.ini";
    ASSERT_EQ(SaveSettings(settings_, path, nullptr), SaveResult::Ok);
    Start({"--settings", path, "--break-free", "--stats", "1"});
    EXPECT_EQ(Wait(), 3);
    EXPECT_TRUE(Printed("Message: E22: Cannot connect to PLC"));
    // The attempt waits 5 s for the attach reply: lines every second, each
    // with every counter, the last one the attempt's figures.
    const std::string out = Output();
    size_t lines = 0;
    for (size_t at = out.find(" stats: "); at != std::string::npos;
         at = out.find(" stats: ", at + 1))
        ++lines;
    EXPECT_GE(lines, 3u);
    EXPECT_NE(out.find(" stats: cycles=0 cycle_ms_last=0 cycle_ms_max=0 requests=0 no_ack=0 "
                       "reply_timeouts=1 bad_bcc=0 wrong_sequence=0 refused=0 links_lost=0 "
                       "attach_attempts=1 db_written=0 db_rejected=0 db_refused=0 "
                       "journal_rows=0 journal_bytes=0 history_waiting=0 history_set_aside=0 "
                       "history_dropped=0 link_state=Offline\n"),
              std::string::npos);
}

// A user with all rights on its own database only, its password only in
// $CREDENTIALS_DIRECTORY/dbPassword: drop and build, cycle, write request, reconnect
// and the drop at the end all work, and the password is printed nowhere.
TEST_F(GatewayTest, ALeastPrivilegeUserWithACredentialFileRunsTheWholeLink) {
    if (!PrivateDbAvailable()) GTEST_SKIP() << "no test database server";
    const db::ConnectionParams root = PrivateDbParams();
    OtherClient admin(root);
    const std::string user = UniqueDbName("gwuser"), name = UniqueDbName("gw"), pw = "pw-" + user;
    ASSERT_TRUE(admin.Exec("CREATE USER '" + user + "'@'%' IDENTIFIED BY '" + pw + "'"));
    ASSERT_TRUE(admin.Exec("GRANT ALL PRIVILEGES ON " + name + ".* TO '" + user + "'@'%'"));
    settings_.dbEnabled = true;
    settings_.addressIP = root.host;
    settings_.portNum = std::to_string(root.port);
    settings_.username = user;
    settings_.dbName = name;
    settings_.areaEnabled = {false, false, false, false, true, false};
    ASSERT_EQ(SaveSettings(settings_, dir_ + "/gw.ini", nullptr), SaveResult::Ok);
    std::filesystem::create_directory(dir_ + "/credentials");
    std::ofstream(dir_ + "/credentials/dbPassword") << pw << "\n";
    setenv("CREDENTIALS_DIRECTORY", (dir_ + "/credentials").c_str(), 1);
    Start({"--settings", dir_ + "/gw.ini", "--break-free", "--values"});
    unsetenv("CREDENTIALS_DIRECTORY");

    ASSERT_TRUE(WaitFor([&] { return Printed("%R 1..16: "); })) << Output();
    EXPECT_TRUE(Printed(" Database: no TLS\n"));
    for (const int value : {77, 78}) {
        ASSERT_TRUE(admin.Exec("UPDATE " + name + ".new_r SET value=" + std::to_string(value) +
                               ", flag=1 WHERE id=4"));
        EXPECT_TRUE(WaitFor([&] { return sim_->GetWord(sim::kAreaR, 4) == value; }));
        if (value == 77) {
            ASSERT_TRUE(admin.Exec("KILL " + admin.Scalar("SELECT ID FROM information_schema."
                                                          "PROCESSLIST WHERE USER='" +
                                                          user + "'")));
        }
    }
    kill(pid_, SIGTERM);
    EXPECT_EQ(Wait(), 0);
    EXPECT_FALSE(admin.DatabaseExists(name));
    EXPECT_EQ(Output().find(pw), std::string::npos);
    admin.Exec("DROP USER '" + user + "'@'%'");
}

// kill -9 while history rows wait behind a locked table: the next start
// sends each row once, then the crash's gap; a second gateway on the same
// database and journal is refused.
TEST_F(GatewayTest, AKilledGatewayLosesNoHistoryRowAndMarksTheCrashGap) {
    if (!PrivateDbAvailable()) GTEST_SKIP() << "no test database server";
    const db::ConnectionParams root = PrivateDbParams();
    OtherClient admin(root);
    const std::string hist = UniqueDbName("gwhist");
    settings_.dbEnabled = true;
    settings_.addressIP = root.host;
    settings_.portNum = std::to_string(root.port);
    settings_.dbPassword = root.password;
    settings_.dbName = UniqueDbName("gwkill");
    settings_.historyDb = hist;
    settings_.areaEnabled = {false, false, false, false, true, false};
    TagDefinition level;
    ASSERT_TRUE(ParseTagDefinition("level", "%R2 INT history", &level, nullptr));
    settings_.tags = {level};
    ASSERT_EQ(SaveSettings(settings_, dir_ + "/gw.ini", nullptr), SaveResult::Ok);
    const std::vector<std::string> args = {"--settings", dir_ + "/gw.ini", "--break-free",
                                           "--values"};
    const std::string rows =
        "SELECT GROUP_CONCAT(IFNULL(value, 'NULL') ORDER BY changed_at, id) "
        "FROM " +
        hist + ".tag_history";
    sim_->SetWord(sim::kAreaR, 2, 1);
    Start(args);
    ASSERT_TRUE(WaitFor([&] { return admin.Scalar(rows) == "1"; })) << Output();
    OtherClient dump(root);
    ASSERT_TRUE(dump.Exec("LOCK TABLES " + hist + ".tag_history READ"));
    for (const int value : {2, 3}) {
        sim_->SetWord(sim::kAreaR, 2, static_cast<uint16_t>(value));
        ASSERT_TRUE(WaitFor([&] { return Printed(" level=" + std::to_string(value) + "\n"); }));
    }
    const pid_t first = pid_;
    output_ = dir_ + "/second.txt";
    Start(args);
    EXPECT_EQ(Wait(), 1);
    EXPECT_TRUE(Printed("E27: History journal in use by another Tarnlight")) << Output();
    pid_ = first;
    kill(pid_, SIGKILL);
    Wait();
    const std::string killedAt = admin.Scalar("SELECT UTC_TIMESTAMP(3)");
    ASSERT_TRUE(dump.Exec("UNLOCK TABLES"));
    EXPECT_EQ(admin.Scalar(rows), "1");

    Start(args);
    ASSERT_TRUE(WaitFor([&] { return admin.Scalar(rows) == "1,2,3,NULL,3"; }))
        << admin.Scalar(rows) << "\n"
        << Output();
    EXPECT_EQ(
        admin.Number(
            "SELECT COUNT(*) FROM " + hist +
            ".tag_history WHERE value IS NULL AND changed_at >= (SELECT MAX(changed_at) FROM " +
            hist + ".tag_history WHERE value = 2) AND changed_at <= '" + killedAt + "'"),
        1);
    kill(pid_, SIGTERM);
    EXPECT_EQ(Wait(), 0);
    EXPECT_EQ(admin.Scalar(rows), "1,2,3,NULL,3,NULL");
    admin.Exec("DROP DATABASE " + hist);
}

// Three PLCs on one line, served in turn by one gateway: each station's
// tables hold its own memory, a write request to B reaches B only, a wrong
// password shows on B alone, the dead C costs A and B nothing but its attach
// (its link_stats says Connecting) and every line names its station. A line
// whose files disagree on the line's settings is refused.
TEST_F(GatewayTest, ALineOfThreePlcsIsServedInTurn) {
    if (!PrivateDbAvailable()) GTEST_SKIP() << "no test database server";
    sim_.reset();
    const auto station = [](const std::string& id) {
        sim::SimConfig c;
        c.cpuId = id;
        c.t1 = 0;
        return c;
    };
    sim::SimConfig b = station("PLCB");
    b.password = "right";
    sim_ = std::make_unique<sim::PlcSimulator>(station("PLCA"));
    ASSERT_EQ(sim_->AddStation(b), 1);
    ASSERT_EQ(sim_->AddStation(station("PLCC")), 2);
    sim_->station(2).SetDead(true);
    for (int s = 0; s < 2; ++s)
        for (uint16_t a = 1; a <= 8; ++a)
            sim_->station(s).SetWord(sim::kAreaR, a, (s + 1) * 100 + a);
    ASSERT_TRUE(sim_->OpenPty() && sim_->CreateDeviceLink(0) && sim_->Start());

    const db::ConnectionParams root = PrivateDbParams();
    OtherClient admin(root);
    const std::array<std::string, 3> names = {"line1", "line2", "line3"};
    std::array<std::string, 3> dbs;
    for (int s = 0; s < 3; ++s) {
        Settings st = settings_;
        st.cpuId = std::string("PLC") + char('A' + s);
        st.cpuPassword = "wrong";
        st.lostconn = 2;  // try constantly
        st.dbEnabled = true;
        st.addressIP = root.host;
        st.portNum = std::to_string(root.port);
        st.dbPassword = root.password;
        dbs[s] = st.dbName = UniqueDbName(names[s]);
        st.areaEnabled = {false, false, false, false, true, false};
        st.areaTo[4] = 4 + 4 * s;  // %R: A 1..4, B 1..8
        if (s == 0) st.stations = "line2, line3";
        if (s == 1) st.tags = {{"level", 4, 2, TagType::Int, 0.5}};  // %R2 x 0.5
        ASSERT_EQ(SaveSettings(st, dir_ + "/" + names[s] + ".ini", nullptr), SaveResult::Ok);
    }
    Start({"--settings", dir_ + "/line1.ini", "--break-free"});
    const auto values = [&](int s) {
        return admin.Scalar("SELECT GROUP_CONCAT(value ORDER BY id) FROM " + dbs[s] +
                            ".plc_r WHERE id <= 8");
    };
    EXPECT_TRUE(WaitFor([&] {
        return values(0) == "101,102,103,104,0,0,0,0" &&
               values(1) == "201,202,203,204,205,206,207,208";
    })) << values(0)
        << " / " << values(1) << "\n"
        << Output();
    const auto state = [&](int s) {
        return admin.Scalar("SELECT link_state FROM " + dbs[s] + ".link_stats");
    };
    EXPECT_TRUE(WaitFor(
        [&] { return state(0) == "Online" && state(1) == "Online" && state(2) == "Connecting"; }));
    EXPECT_EQ(admin.Scalar("SELECT value FROM " + dbs[1] + ".tags WHERE name = 'level'"), "101");
    EXPECT_TRUE(Printed("line2: Message: W23: Password refused")) << Output();
    EXPECT_FALSE(Printed("line1: Message: W23"));

    ASSERT_TRUE(admin.Exec("UPDATE " + dbs[1] + ".new_r SET value=77, flag=1 WHERE id=3"));
    EXPECT_TRUE(WaitFor([&] { return sim_->station(1).GetWord(sim::kAreaR, 3) == 77; }));
    EXPECT_EQ(sim_->station(0).GetWord(sim::kAreaR, 3), 103);
    EXPECT_EQ(sim_->station(2).GetWord(sim::kAreaR, 3), 0);

    kill(pid_, SIGUSR1);
    EXPECT_TRUE(WaitFor([&] { return Printed("line3: stats:"); }));
    EXPECT_TRUE(Printed("line1: stats:") && Printed("line2: stats:"));
    kill(pid_, SIGTERM);
    EXPECT_EQ(Wait(), 0);
    for (const std::string& db : dbs) admin.Exec("DROP DATABASE IF EXISTS " + db);

    // The third file on another bit rate: the line cannot be served.
    Settings third;
    ASSERT_EQ(LoadSettings(dir_ + "/line3.ini", third, nullptr), LoadResult::Ok);
    third.baudRate = 9;
    ASSERT_EQ(SaveSettings(third, dir_ + "/line3.ini", nullptr), SaveResult::Ok);
    Start({"--settings", dir_ + "/line1.ini"});
    EXPECT_EQ(Wait(), 2);
    EXPECT_NE(Text(errors_).find("line3.ini: [RS232] baudRate"), std::string::npos)
        << Text(errors_);
}

TEST_F(GatewayTest, TraceHasOneLinePerEventOnTheLine) {
    const std::string path = dir_ + "/gw.ini";
    const std::string trace = dir_ + "/line.trace";
    ASSERT_EQ(SaveSettings(settings_, path, nullptr), SaveResult::Ok);
    // A trace that cannot be written ends the start before the settings file.
    Start({"--settings", path, "--trace", dir_ + "/none/line.trace"});
    EXPECT_EQ(Wait(), 2);
    EXPECT_NE(Text(errors_).find("tarnlight-gateway: cannot write the trace file " + dir_ +
                                 "/none/line.trace: No such file or directory"),
              std::string::npos);
    EXPECT_FALSE(Printed("Settings:"));

    // With a line break, online, then a dead line: receives that give up.
    Start({"--settings", path, "--trace", trace});
    ASSERT_TRUE(WaitFor([&] { return Printed(" LinkState: Online\n"); }));
    sim_->SetDead(true);
    EXPECT_EQ(Wait(), 3);
    const std::regex shape(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} (TX|RX|BREAK|PURGE) (\d+)( of \d+)?((?: [0-9A-F]{2})*))");
    std::map<std::string, int> seen;
    std::istringstream lines(Text(trace));
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        EXPECT_EQ(std::stoul(m[2]) * 3, m[4].length()) << line;
        ++seen[m[1].str() + (m[3].matched ? " short" : "")];
    }
    for (const char* kind : {"TX", "RX", "BREAK", "PURGE", "RX short"})
        EXPECT_GT(seen[kind], 0) << kind;
}

}  // namespace
}  // namespace tarnlight::test
