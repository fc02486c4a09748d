// The engine with the database mirror on, against the private MariaDB server
// of the test run and the simulated controller.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "tests/engine/engine_fixture.h"
#include "tests/support/private_db.h"
#include "tests/support/silent_server.h"

namespace tarnlight::test {
namespace {

class MirrorEngineTest : public EngineTest {
  protected:
    void SetUp() override {
        if (!PrivateDbAvailable()) GTEST_SKIP() << "no test database server";
        EngineTest::SetUp();
        dbName_ = UniqueDbName("engine");
        pages_.dbEnabled = true;
        pages_.dbName = dbName_;
        UseServer(PrivateDbParams());
    }
    void TearDown() override {
        if (ownServer_) ownServer_->Continue();  // a test that failed while it was frozen
        EngineTest::TearDown();
        if (other_) other_->Exec("DROP DATABASE IF EXISTS " + dbName_);
        other_.reset();
        ownServer_.reset();
    }

    // The pages and the other client on the server at params.
    void UseServer(const db::ConnectionParams& params) {
        params_ = params;
        pages_.addressIP = params_.host;
        pages_.portNum = " " + std::to_string(params_.port) + " ";  // blanks are trimmed
        pages_.username = params_.user;
        pages_.dbPassword = params_.password;
        pages_.dbTls = params_.tls;
        other_ = std::make_unique<OtherClient>(params_);
        ASSERT_TRUE(other_->ok()) << other_->Error();
    }
    // A server instance of the test's own, for a test that freezes it.
    void UseOwnServer(const std::string& name, bool tls = false) {
        ownServer_ = std::make_unique<OwnServer>(name, tls);
        ASSERT_TRUE(ownServer_->ok()) << "see " << ownServer_->dir() << "/error.log";
        UseServer(ownServer_->params());
    }

    long Value(const std::string& table, int id) {
        return other_->Number("SELECT value FROM " + dbName_ + "." + table +
                              " WHERE id=" + std::to_string(id));
    }
    long Flag(const std::string& table, int id) {
        return other_->Number("SELECT flag FROM " + dbName_ + "." + table +
                              " WHERE id=" + std::to_string(id));
    }
    // Sessions on the server whose default database is the mirror's.
    long Sessions() {
        return other_->Number("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB='" +
                              dbName_ + "'");
    }

    db::ConnectionParams params_;
    std::string dbName_;
    std::unique_ptr<OwnServer> ownServer_;
    std::unique_ptr<OtherClient> other_;
};

TEST_F(MirrorEngineTest, MirrorsValuesWritesFlaggedRowsAndDropsAtTheEnd) {
    pages_.areaEnabled = {false, true, false, false, true, false};
    pages_.areaTo[snp::kM] = 16;
    pages_.areaTo[snp::kR] = 4;
    sim_->SetBit(sim::kAreaM, 3, true);
    sim_->SetWord(sim::kAreaR, 2, 0xFFFF);
    ASSERT_GE(ConnectOnline(), 0);
    // The CPU ID is stored right after "Online" is shown.
    EXPECT_TRUE(WaitFor([&] {
        return other_->Scalar("SELECT cpu_id FROM " + dbName_ + ".info WHERE id=1") == "TARN7";
    }));
    ASSERT_TRUE(engine_->StartTransmission());

    ASSERT_TRUE(WaitFor([&] { return Value("plc_m", 3) == 1 && Value("plc_r", 2) == -1; }));
    EXPECT_EQ(Value("plc_m", 4), 0);

    // Another program asks for a write by flagging a request row.
    ASSERT_TRUE(other_->Exec("UPDATE " + dbName_ + ".new_r SET value=77, flag=1 WHERE id=4"));
    ASSERT_TRUE(WaitFor([&] { return sim_->GetWord(sim::kAreaR, 4) == 77; }));
    ASSERT_TRUE(WaitFor([&] { return Flag("new_r", 4) == 0 && Value("plc_r", 4) == 77; }));
    EXPECT_EQ(window_.Find("panel 8 W13: No connection with database"), -1);

    DisconnectAndWait();
    EXPECT_FALSE(other_->DatabaseExists(dbName_));
    EXPECT_EQ(window_.Calls().back(), "icon 0");
}

// The settings choose the writer. A value row another program changed shows
// which one runs: one statement per value puts it right in the next cycle,
// the fast mirror only once it writes every value again (once a minute).
TEST_F(MirrorEngineTest, TheSettingsChooseTheWriter) {
    pages_.areaEnabled = {false, true, false, false, false, false};
    pages_.areaTo[snp::kM] = 16;
    sim_->SetBit(sim::kAreaM, 3, true);
    for (const bool eachValue : {true, false}) {
        SCOPED_TRACE(eachValue ? "one statement per value" : "fast");
        pages_.mirrorEachValue = eachValue;
        sim_->SetBit(sim::kAreaM, 5, false);
        ASSERT_GE(ConnectOnline(), 0);
        ASSERT_TRUE(engine_->StartTransmission());
        ASSERT_TRUE(WaitFor([&] { return Value("plc_m", 3) == 1; }));
        ASSERT_TRUE(other_->Exec("UPDATE " + dbName_ + ".plc_m SET value=1 WHERE id=4"));
        // Two more reads stored after the change: each statement writes again.
        const auto storedReads = [&] {
            return other_->Number("SELECT `reads` FROM " + dbName_ +
                                  ".area_stats WHERE area = '%M'");
        };
        const long from = storedReads();
        ASSERT_TRUE(WaitFor([&] { return storedReads() >= from + 2; }));
        EXPECT_EQ(Value("plc_m", 4), eachValue ? 0 : 1);
        // Changes reach the table either way.
        sim_->SetBit(sim::kAreaM, 5, true);
        EXPECT_TRUE(WaitFor([&] { return Value("plc_m", 5) == 1; }));
        // Either writer keeps link_stats live, and the area's row with it.
        EXPECT_TRUE(WaitFor([&] {
            return other_->Number(
                       "SELECT link_state = 'Online' AND last_read_at > "
                       "UTC_TIMESTAMP(3) - INTERVAL 5 SECOND FROM " +
                       dbName_ + ".link_stats") == 1;
        }));
        EXPECT_TRUE(WaitFor([&] {
            return other_->Number("SELECT COUNT(*) FROM " + dbName_ +
                                  ".area_stats WHERE area = '%M' AND `reads` > 0 AND "
                                  "last_read_at > UTC_TIMESTAMP(3) - INTERVAL 5 SECOND") == 1;
        }));
        EXPECT_EQ(other_->Number("SELECT COUNT(*) FROM " + dbName_ + ".area_stats"), 1);
        DisconnectAndWait();
    }
}

// Tags end to end: their values in the tags table and the window, a write
// of a DINT as one request of two words, the history ended by the link's end.
TEST_F(MirrorEngineTest, TagsReachTheTablesTheWindowAndThePlc) {
    TagDefinition total, level;
    ASSERT_TRUE(ParseTagDefinition("total", "%R1 DINT", &total, nullptr));
    ASSERT_TRUE(ParseTagDefinition("level", "%R3 REAL history", &level, nullptr));
    pages_.tags = {total, level};
    pages_.historyDb = UniqueDbName("hist");
    pages_.areaEnabled = {false, false, false, false, true, false};
    pages_.areaTo[snp::kR] = 4;
    const auto setPair = [&](uint16_t address, uint32_t raw) {
        sim_->SetWord(sim::kAreaR, address, static_cast<uint16_t>(raw));
        sim_->SetWord(sim::kAreaR, address + 1, static_cast<uint16_t>(raw >> 16));
    };
    setPair(1, static_cast<uint32_t>(-123456));
    setPair(3, 0xC0200000);  // -2.5
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    const std::string tags = "SELECT GROUP_CONCAT(value ORDER BY name) FROM " + dbName_ + ".tags";
    ASSERT_TRUE(WaitFor([&] { return other_->Scalar(tags) == "-2.5,-123456"; }));
    EXPECT_GE(window_.Find("tags 0=-123456 1=-2.5"), 0);

    sim_->ClearRequests();
    ASSERT_TRUE(
        other_->Exec("UPDATE " + dbName_ + ".new_tags SET value=-7, flag=1 WHERE name='total'"));
    ASSERT_TRUE(WaitFor([&] { return other_->Scalar(tags) == "-2.5,-7"; }));
    EXPECT_GE(window_.WaitForCall("tags 0=-7"), 0);  // only the tag that changed
    EXPECT_TRUE(WaitFor([&] {
        return other_->Scalar("SELECT flag FROM " + dbName_ + ".new_tags WHERE name='total'") ==
               "0";
    }));
    EXPECT_EQ(WriteLengths(), std::vector<int>{2});

    setPair(3, 0x3FC00000);  // 1.5
    const std::string history = "SELECT GROUP_CONCAT(IFNULL(value, 'NULL') ORDER BY id) FROM " +
                                pages_.historyDb + ".tag_history WHERE name='level'";
    ASSERT_TRUE(WaitFor([&] { return other_->Scalar(history) == "-2.5,1.5"; }));
    EXPECT_EQ(other_->Scalar("SELECT GROUP_CONCAT(quality) FROM " + dbName_ + ".tags"),
              "good,good");

    // A history table held by a dump: the cycle, the tags and link_stats go
    // on; the row waits and arrives once the table is free.
    OtherClient dump(PrivateDbParams());
    ASSERT_TRUE(dump.Exec("LOCK TABLES " + pages_.historyDb + ".tag_history READ"));
    const std::string cycles = "SELECT cycles FROM " + dbName_ + ".link_stats";
    const long before = other_->Number(cycles);
    setPair(3, 0x40200000);  // 2.5
    ASSERT_TRUE(WaitFor([&] { return other_->Scalar(tags) == "2.5,-7"; }));
    EXPECT_TRUE(WaitFor([&] { return other_->Number(cycles) > before + 20; }));
    EXPECT_EQ(other_->Scalar(history), "-2.5,1.5");
    ASSERT_TRUE(dump.Exec("UNLOCK TABLES"));
    EXPECT_TRUE(WaitFor([&] { return other_->Scalar(history) == "-2.5,1.5,2.5"; }));
    DisconnectAndWait();
    EXPECT_FALSE(other_->DatabaseExists(dbName_));
    EXPECT_EQ(other_->Scalar(history), "-2.5,1.5,2.5,NULL");
    other_->Exec("DROP DATABASE " + pages_.historyDb);
}

// A request is acknowledged without a write only when a read made after
// Tarnlight's last write to the address shows the value: asking back the
// old value right after a write (raw or through a tag), while the slow %R
// read that began before it is still under way, writes it.
TEST_F(MirrorEngineTest, ARequestIsDoneOnlyOnceThePlcHoldsItsValue) {
    ASSERT_TRUE(StartSimulator(115200));
    TagDefinition level;
    ASSERT_TRUE(ParseTagDefinition("level", "%R6 INT", &level, nullptr));
    pages_.tags = {level};
    pages_.areaEnabled = {true, false, false, false, true, false};
    pages_.areaTo[snp::kI] = 8;
    pages_.scanMs[snp::kI] = 100;
    pages_.areaTo[snp::kR] = 4096;
    pages_.maxReadBytes = 64;
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    // %I keeps its period while the slow %R's 128 parts go out: read many
    // times during one read of %R.
    const long firstR = window_.WaitForCall("words 4 ", 0, true, std::chrono::seconds(30));
    const long secondR =
        window_.WaitForCall("words 4 ", firstR + 1, true, std::chrono::seconds(30));
    ASSERT_GE(secondR, 0);
    const auto calls = window_.Calls();
    EXPECT_GE(std::count_if(calls.begin() + firstR, calls.begin() + secondR,
                            [](const std::string& c) { return c.rfind("bits 0 ", 0) == 0; }),
              5);
    const auto ask = [&](const std::string& table, const std::string& row, int value) {
        ASSERT_TRUE(other_->Exec("UPDATE " + dbName_ + "." + table +
                                 " SET value=" + std::to_string(value) + ", flag=1 WHERE " + row));
        EXPECT_TRUE(WaitFor([&] {
            return other_->Number("SELECT flag FROM " + dbName_ + "." + table + " WHERE " + row) ==
                   0;
        }));
    };
    ask("new_r", "id=5", 42);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 5), 42);
    ask("new_r", "id=5", 0);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 5), 0);
    ask("new_tags", "name='level'", 9);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 6), 9);
    ask("new_r", "id=6", 0);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 6), 0);
    EXPECT_EQ(WriteLengths(), (std::vector<int>{1, 1, 1, 1}));
    DisconnectAndWait();
}

// Two large fast areas that ask far more than the line carries, on a server
// that goes away and comes back: W27 says by how much, link_stats stays
// live beside the long reads, a flagged row goes out between two parts, the
// reads made while the server was away are not counted as stored and the
// first read stored after it describes the table, and Disconnect ends after
// the request on the line.
TEST_F(MirrorEngineTest, TheDatabaseKeepsItsPaceBesideLongReads) {
    UseOwnServer("engine-pace");
    ASSERT_TRUE(StartSimulator(115200));
    pages_.areaEnabled = {true, false, false, false, true, false};
    pages_.areaTo[snp::kI] = 8192;
    pages_.areaTo[snp::kR] = 4096;
    pages_.scanMs[snp::kI] = 100;
    pages_.scanMs[snp::kR] = 100;
    pages_.maxReadBytes = 64;
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    EXPECT_GE(
        window_.WaitForCall("panel 8 W27: Scan periods ask ", 0, true, std::chrono::seconds(30)),
        0);

    const std::string updated = "SELECT updated_at FROM " + dbName_ + ".link_stats";
    for (int step = 0; step < 3; ++step) {
        const std::string before = other_->Scalar(updated);
        EXPECT_TRUE(
            WaitFor([&] { return other_->Scalar(updated) > before; }, std::chrono::seconds(5)));
    }
    ASSERT_TRUE(other_->Exec("UPDATE " + dbName_ + ".new_r SET value=77, flag=1 WHERE id=7"));
    EXPECT_TRUE(WaitFor([&] { return Flag("new_r", 7) == 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 7), 77);

    ASSERT_TRUE(ownServer_->Stop());
    sim_->SetWord(sim::kAreaR, 8, 88);
    const uint64_t readsAway = engine_->Statistics().areas[snp::kR].reads;
    ASSERT_TRUE(WaitFor([&] { return engine_->Statistics().areas[snp::kR].reads >= readsAway + 2; },
                        std::chrono::seconds(30)));
    const uint64_t storedAway = engine_->Statistics().areas[snp::kR].storedReads;
    ASSERT_TRUE(ownServer_->Start());
    other_ = std::make_unique<OtherClient>(params_);
    // The first read stored after the outage is one made after the change,
    // and stored with it; none made while the server was away counts.
    const std::string reads = "SELECT `reads` FROM " + dbName_ + ".area_stats WHERE area = '%R'";
    ASSERT_TRUE(WaitFor([&] { return other_->Number(reads) > static_cast<long>(storedAway); },
                        std::chrono::seconds(15)));
    EXPECT_EQ(Value("plc_r", 8), 88);
    const LinkStatsSnapshot stats = engine_->Statistics();
    EXPECT_LT(stats.areas[snp::kR].storedReads, stats.areas[snp::kR].reads);
    EXPECT_EQ(other_->Number("SELECT last_read_at > UTC_TIMESTAMP(3) - INTERVAL 10 SECOND FROM " +
                             dbName_ + ".area_stats WHERE area = '%R'"),
              1);

    const size_t requests = sim_->requests().size();
    DisconnectAndWait();
    EXPECT_LE(sim_->requests().size(), requests + 1);
}

TEST_F(MirrorEngineTest, KeepsTheDatabaseWithoutDropAfter) {
    pages_.dropAfter = false;
    ASSERT_GE(ConnectOnline(), 0);
    DisconnectAndWait();
    EXPECT_TRUE(other_->DatabaseExists(dbName_));
    EXPECT_EQ(other_->Scalar("SELECT cpu_id FROM " + dbName_ + ".info WHERE id=1"), "TARN7");
    const std::string state = "SELECT link_state FROM " + dbName_ + ".link_stats WHERE id=1";
    EXPECT_EQ(other_->Scalar(state), "Offline");
    // A kept database that lacks link_stats or area_stats gets them at the
    // next Connect.
    ASSERT_TRUE(other_->Exec("DROP TABLE " + dbName_ + ".link_stats"));
    ASSERT_TRUE(other_->Exec("DROP TABLE " + dbName_ + ".area_stats"));
    pages_.dropBefore = false;
    ASSERT_GE(ConnectOnline(), 0);
    EXPECT_TRUE(WaitFor([&] { return other_->Scalar(state) == "Online"; }));
    EXPECT_EQ(
        other_->Scalar("SELECT GROUP_CONCAT(area ORDER BY area) FROM " + dbName_ + ".area_stats"),
        "%I,%M,%Q");
    DisconnectAndWait();
}

TEST_F(MirrorEngineTest, DisabledDatabaseIsNeverTouched) {
    pages_.dbEnabled = false;
    pages_.areaEnabled = {true, false, false, false, false, false};
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    ASSERT_GE(window_.WaitForCall("panel 6 ", 0, true), 0);
    DisconnectAndWait();
    EXPECT_FALSE(other_->DatabaseExists(dbName_));
}

TEST_F(MirrorEngineTest, WrongServerPortGivesE11AndLeavesThePortAlone) {
    pages_.portNum = "1";
    EXPECT_FALSE(engine_->Connect(pages_, true));
    const auto calls = window_.Calls();
    EXPECT_GE(window_.Find("box Database error|", 0, true), 0);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 3], "panel 0 Offline");
    EXPECT_EQ(calls[calls.size() - 2], "panel 8 E11: Connecting to database error");
    EXPECT_EQ(calls.back(), "connected 0");
    EXPECT_FALSE(EngineProbe(*engine_).port().IsOpen());
    EXPECT_FALSE(engine_->IsWorkerRunning());
    EXPECT_EQ(sim_->stats().attaches, 0u);
}

TEST_F(MirrorEngineTest, UnselectableDatabaseGivesE12) {
    pages_.dbName = std::string(70, 'x');  // longer than the server allows
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("box Database error|", 0, true), 0);
    EXPECT_GE(window_.Find("panel 8 E12: Selecting database error"), 0);
    EXPECT_FALSE(engine_->IsWorkerRunning());
}

// A mistyped port must not cost the rows other programs flagged in a
// database kept from an earlier run: Connect drops nothing when it fails at
// the port, whatever dropAfter says.
TEST_F(MirrorEngineTest, PortFailureAtConnectKeepsTheDatabase) {
    pages_.dropAfter = false;
    ASSERT_GE(ConnectOnline(), 0);
    DisconnectAndWait();
    ASSERT_TRUE(other_->Exec("UPDATE " + dbName_ + ".new_m SET value=1, flag=1 WHERE id=5"));

    pages_.dropBefore = false;
    pages_.dropAfter = true;
    pages_.port = -1;
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("panel 8 E1-1: Openning COM port error"), 0);
    ASSERT_TRUE(other_->DatabaseExists(dbName_));
    EXPECT_EQ(Flag("new_m", 5), 1);
    // Nor does its session stay open on the server.
    EXPECT_TRUE(WaitFor([&] { return Sessions() == 0; }));
}

// A server that takes TLS sessions only, with a certificate for 127.0.0.1
// from a CA of the test's own: verified, the link runs and its reconnect
// keeps TLS; anything else ends Connect with E11 and says why.
TEST_F(MirrorEngineTest, ATlsServerTakesOnlyVerifiedSessions) {
    UseOwnServer("engine-tls", true);
    pages_.areaEnabled = {false, true, false, false, false, false};
    sim_->SetBit(sim::kAreaM, 3, true);
    ASSERT_GE(ConnectOnline(), 0);
    EXPECT_EQ(engine_->DatabaseTls().rfind("TLSv1.", 0), 0u) << engine_->DatabaseTls();
    ASSERT_TRUE(engine_->StartTransmission());
    ASSERT_TRUE(WaitFor([&] { return Value("plc_m", 3) == 1; }));
    ASSERT_TRUE(
        other_->Exec("KILL " + other_->Scalar("SELECT ID FROM information_schema.PROCESSLIST "
                                              "WHERE DB='" +
                                              dbName_ + "'")));
    sim_->SetBit(sim::kAreaM, 4, true);
    EXPECT_TRUE(WaitFor([&] { return Value("plc_m", 4) == 1; }));
    DisconnectAndWait();

    const std::string dir = ownServer_->dir();
    for (const auto& [tls, why] : std::vector<std::pair<DbTls, std::string>>{
             {{SslMode::VerifyIdentity, dir + "/other-ca.pem", "", ""}, "TLS/SSL error"},
             {{SslMode::Disabled, "", "", ""}, "Access denied"},
             {{SslMode::VerifyCa, dir + "/none.pem", "", ""}, dir + "/none.pem"}}) {
        pages_.dbTls = tls;
        const size_t from = window_.Size();
        EXPECT_FALSE(engine_->Connect(pages_, true));
        EXPECT_GE(window_.Find("panel 8 E11: Connecting to database error", from), 0) << why;
        const long box = window_.Find("box Database error|", from, true);
        EXPECT_NE(window_.Calls().at(box).find(why), std::string::npos) << window_.Calls()[box];
    }
}

// The run's server has no TLS: REQUIRED never takes a plain session, PREFERRED does.
TEST_F(MirrorEngineTest, APlainServerIsRefusedUnderRequiredAndTakenUnderPreferred) {
    pages_.dbTls.sslMode = SslMode::Required;
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("box Database error|TLS/SSL error: SSL is required", 0, true), 0);
    EXPECT_GE(window_.Find("panel 8 E11: Connecting to database error"), 0);
    pages_.dbTls.sslMode = SslMode::Preferred;
    ASSERT_GE(ConnectOnline(), 0);
    EXPECT_EQ(engine_->DatabaseTls(), "no TLS");
}

// Closing the window while the database server hangs. The worker is caught
// inside a cycle's transaction (another program holds a row the cycle must
// store) with a request flagged meanwhile, and then the server is frozen:
// Shutdown cuts the worker's database call short instead of waiting for the
// client's read time-out, and nothing is lost. (With a server that answers,
// closing drops the database as Disconnect does: see the window's tests.)
TEST_F(MirrorEngineTest, ShutdownWhileTheServerHangsIsPromptAndLosesNothing) {
    UseOwnServer("engine-hang");
    pages_.areaEnabled = {false, true, false, false, true, false};
    pages_.areaTo[snp::kM] = 16;
    pages_.areaTo[snp::kR] = 4;
    sim_->SetBit(sim::kAreaM, 3, true);
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    ASSERT_TRUE(WaitFor([&] { return Value("plc_m", 3) == 1; }));

    OtherClient locker(params_, dbName_);
    ASSERT_TRUE(locker.Exec("START TRANSACTION"));
    ASSERT_TRUE(locker.Exec("SELECT * FROM plc_r WHERE id=3 FOR UPDATE"));
    // %R3 first: a cycle that stores %M5 then always waits at %R3.
    sim_->SetWord(sim::kAreaR, 3, 1234);
    sim_->SetBit(sim::kAreaM, 5, true);
    ASSERT_TRUE(WaitFor([&] {
        return other_->Number("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB='" +
                              dbName_ + "' AND INFO LIKE 'UPDATE plc_r%'") == 1;
    }));
    ASSERT_TRUE(other_->Exec("UPDATE " + dbName_ + ".new_r SET value=77, flag=1 WHERE id=4"));
    ASSERT_TRUE(ownServer_->Freeze());

    const auto start = std::chrono::steady_clock::now();
    engine_->Shutdown();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(engine_->IsWorkerRunning());
    EXPECT_EQ(window_.Calls().back(), "icon 0");
    // Without the abort it takes the client's read time-out, with it the
    // grace Shutdown gives a server that answers (a second): half the
    // time-out tells the two apart on any machine.
    EXPECT_LT(took, std::chrono::seconds(db::ConnectionParams{}.readWriteTimeoutSeconds) / 2);

    // Back: the worker's session ends and its open transaction rolls back.
    ASSERT_TRUE(ownServer_->Continue());
    ASSERT_TRUE(locker.Exec("ROLLBACK"));
    locker.connection().Close();
    EXPECT_TRUE(WaitFor([&] { return Sessions() == 0; }));
    EXPECT_EQ(Value("plc_m", 5), 0);
    EXPECT_EQ(Value("plc_r", 3), 0);
    // The request was never written, and stays flagged (the end sequence's
    // DROP failed too).
    EXPECT_EQ(Flag("new_r", 4), 1);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 4), 0);

    // The next Connect takes it from there on the database kept.
    pages_.dropBefore = false;
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    EXPECT_TRUE(WaitFor([&] {
        return sim_->GetWord(sim::kAreaR, 4) == 77 && Flag("new_r", 4) == 0 &&
               Value("plc_m", 5) == 1 && Value("plc_r", 3) == 1234;
    }));
    DisconnectAndWait();
}

// Cancel while the database step hangs (a server that takes the connection
// and never answers): W14 at once, and the step is cut short soon after,
// not at the end of the client's time-out; no box, the port never opened.
TEST_F(MirrorEngineTest, CancelWhileTheServerNeverAnswersEndsConnectWithinASecond) {
    SilentServer silent;
    ASSERT_NE(silent.port(), 0);
    pages_.portNum = std::to_string(silent.port());
    ASSERT_TRUE(engine_->StartConnect(pages_, true));
    ASSERT_GE(window_.WaitForCall("progress 0"), 0);
    const size_t from = window_.Size();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(engine_->CancelConnect());
    EXPECT_EQ(window_.Find("panel 8 W14: Connect cancelled", from), static_cast<long>(from) + 1);
    EXPECT_FALSE(engine_->CancelConnect());  // once is enough
    ASSERT_GE(window_.WaitForCall("connected 0", from), 0);
    EXPECT_TRUE(WaitFor([&] { return !engine_->IsWorkerRunning(); }));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(db::ConnectionParams{}.connectTimeoutSeconds) / 2);
    EXPECT_EQ(window_.Find("box ", 0, true), -1);
    EXPECT_EQ(window_.Find("panel 0 Connecting..", 0, true), -1);
    EXPECT_EQ(sim_->stats().attaches, 0u);
    // Nothing is left to cancel once Connect has ended.
    EXPECT_FALSE(engine_->CancelConnect());
}

// A request the controller refuses gets flag 3 and is named in the message
// panel, where it stays while the cycle goes on; the request after it is
// written in the same cycle.
TEST_F(MirrorEngineTest, RefusedRequestIsMarkedAndNamedWhileTheCycleGoesOn) {
    pages_.areaEnabled = {false, false, false, false, true, false};
    pages_.areaTo[snp::kR] = 4;
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    ASSERT_GE(window_.WaitForCall("panel 6 ", 0, true), 0);

    sim_->RefuseWrites(1);
    ASSERT_TRUE(
        other_->Exec("UPDATE " + dbName_ + ".new_r SET value=id+3, flag=1 WHERE id IN (2,3)"));
    const long refused = window_.WaitForCall("panel 8 W21: %R2 write refused 05h/01h");
    ASSERT_GE(refused, 0);
    ASSERT_TRUE(WaitFor([&] { return Flag("new_r", 3) == 0; }));
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 3), 6);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 2), 0);
    EXPECT_EQ(Flag("new_r", 2), 3);

    // Three more cycles: the message stays, the link was never lost.
    const auto cyclesSince = [&](long from) {
        const auto calls = window_.Calls();
        return std::count_if(calls.begin() + from, calls.end(),
                             [](const std::string& c) { return c.rfind("panel 6 ", 0) == 0; });
    };
    ASSERT_TRUE(WaitFor([&] { return cyclesSince(refused) >= 3; }));
    EXPECT_EQ(window_.Find("panel 8 ", refused + 1, true), -1);
    EXPECT_EQ(window_.Find("panel 0 Connecting..", refused, true), -1);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 2), 0);
}

// Each fault on the line moves its own counter by one and costs the link
// once; refusals and the database requests are counted too, and link_stats
// shows the same figures. A dead line turns the row to "Connecting" and
// stops last_read_at until the link is back.
TEST_F(MirrorEngineTest, LineFaultsAreCountedOnceEachAndLinkStatsTellsLiveFromStale) {
    pages_.areaEnabled = {false, false, false, false, true, false};
    pages_.areaTo[snp::kR] = 4;
    pages_.lostconn = kPolicyTryConstantly;
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    const auto stats = [&] { return engine_->Statistics(); };
    const auto live = [&] {
        return other_->Number(
                   "SELECT link_state = 'Online' AND last_read_at > UTC_TIMESTAMP(3) - "
                   "INTERVAL 5 SECOND FROM " +
                   dbName_ + ".link_stats") == 1;
    };
    ASSERT_TRUE(WaitFor([&] { return live(); }));

    // What moved since `from`, by counter name, leaving out those that move
    // with every cycle.
    using Delta = std::map<std::string, uint64_t>;
    const auto busy = [](const std::string& name) {
        return name == "requests" || name.rfind("cycle", 0) == 0;
    };
    const auto moved = [&](const CounterValues& from) {
        Delta delta;
        ForEachCounter(
            [&](const char* name, uint64_t now, uint64_t then) {
                if (now != then && !busy(name)) delta[name] = now - then;
            },
            stats().counters, from);
        return delta;
    };
    const std::pair<const char*, std::function<void()>> faults[] = {
        {"bad_bcc", [&] { sim_->CorruptBcc(1); }},
        {"no_ack", [&] { sim_->FailAcks(1); }},
        {"wrong_sequence", [&] { sim_->WrongSequence(1); }}};
    for (const auto& [counter, inject] : faults) {
        SCOPED_TRACE(counter);
        const CounterValues before = stats().counters;
        inject();
        ASSERT_TRUE(WaitFor([&] { return stats().counters.links_lost > before.links_lost; }));
        const uint64_t cyclesAtLoss = stats().counters.cycles;
        ASSERT_TRUE(WaitFor([&] { return stats().counters.cycles > cyclesAtLoss; }));
        EXPECT_EQ(moved(before), (Delta{{counter, 1}, {"links_lost", 1}, {"attach_attempts", 1}}));
    }

    // A refused write, a written one and one no controller could hold.
    CounterValues before = stats().counters;
    sim_->RefuseWrites(1);
    ASSERT_TRUE(
        other_->Exec("UPDATE " + dbName_ + ".new_r SET value=id+3, flag=1 WHERE id IN (2,3)"));
    ASSERT_TRUE(other_->Exec("INSERT INTO " + dbName_ + ".new_r VALUES (5000, 1, 1)"));
    ASSERT_TRUE(WaitFor([&] { return Flag("new_r", 3) == 0 && Flag("new_r", 5000) == 2; }));
    EXPECT_EQ(moved(before),
              (Delta{{"refused", 1}, {"db_refused", 1}, {"db_written", 1}, {"db_rejected", 1}}));

    // A dead line: the row says so within a few seconds, and its values are
    // no longer read.
    before = stats().counters;
    sim_->SetDead(true);
    const std::string row =
        "SELECT link_state, last_read_at, updated_at FROM " + dbName_ + ".link_stats";
    ASSERT_TRUE(
        WaitFor([&] { return other_->Scalar(row) == "Connecting"; }, std::chrono::seconds(5)));
    const db::Rows connecting = other_->Rows(row);
    ASSERT_TRUE(WaitFor([&] { return other_->Rows(row)[0][2] > connecting[0][2]; }));
    EXPECT_EQ(other_->Rows(row)[0][1], connecting[0][1]);
    EXPECT_FALSE(live());
    sim_->SetDead(false);
    ASSERT_TRUE(WaitFor([&] { return live() && other_->Rows(row)[0][1] > connecting[0][1]; }));
    Delta dead = moved(before);
    const uint64_t attempts = dead["attach_attempts"];
    EXPECT_GE(attempts, 2u);  // every failed one waited for its attach reply in vain
    EXPECT_EQ(dead, (Delta{{"no_ack", 1},
                           {"links_lost", 1},
                           {"attach_attempts", attempts},
                           {"reply_timeouts", attempts - 1}}));

    // The row carries the engine's figures.
    const CounterValues now = stats().counters;
    EXPECT_TRUE(WaitFor([&] {
        bool same = true;
        ForEachCounter(
            [&](const char* name, uint64_t value) {
                same = same && (busy(name) ||
                                other_->Number(std::string("SELECT ") + name + " FROM " + dbName_ +
                                               ".link_stats") == static_cast<long>(value));
            },
            now);
        return same;
    }));
    DisconnectAndWait();
}

}  // namespace
}  // namespace tarnlight::test
