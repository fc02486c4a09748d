// Losing the database and getting it back while the worker runs: the ping
// fails, nothing is mirrored or served, and the connection is opened again
// with no flagged request lost.
#include <sys/stat.h>

#include <thread>

#include "tests/db/mirror_fixture.h"
#include "tests/support/wait_for.h"

namespace tarnlight::db::test {
namespace {

using W = RecordingWriter::Write;
using tarnlight::test::RunPrivateDbScript;

using ReconnectTest = MirrorTest;

TEST_F(ReconnectTest, AKilledSessionIsReopenedAndALostDatabaseRebuilt) {
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    mirror_.SetReconnectInterval(std::chrono::milliseconds(0));
    EXPECT_TRUE(mirror_.CheckConnection());
    Request("new_m", 3, 1);

    // The server ends the session: the next check re-opens it at once.
    ASSERT_TRUE(other().Exec("KILL " + std::to_string(connection_.ThreadId())));
    EXPECT_TRUE(mirror_.CheckConnection());
    EXPECT_EQ(flags_.dbAlive.load(), 1);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{true, 3, 1, 1}}));
    EXPECT_EQ(Cell("new_m", "flag", 3), "0");

    // The database went away with the session: built again like at Connect,
    // with the controller's CPU ID back in the new info row.
    mirror_.UpdateInfoCpuId("CPU'7");
    const unsigned long killed = connection_.ThreadId();
    ASSERT_TRUE(other().Exec("DROP DATABASE " + config_.dbName));
    ASSERT_TRUE(other().Exec("KILL " + std::to_string(killed)));
    EXPECT_TRUE(mirror_.CheckConnection());
    EXPECT_NE(connection_.ThreadId(), killed);
    EXPECT_EQ(Count("plc_i"), 1024);
    EXPECT_EQ(Count("new_aq"), 256);
    EXPECT_EQ(Count("info"), 1);
    EXPECT_EQ(Cell("info", "cpu_id", 1), "CPU'7");
}

// A server instance of each test's own, stopped and started again, so the
// tests sharing the run's server are not disturbed.
class ServerRestartTest : public MirrorTest {
  protected:
    void SetUp() override {
        if (!tarnlight::test::PrivateDbAvailable())
            GTEST_SKIP() << "TARNLIGHT_TEST_DB_DIR not set: no test server";
        // One per test: ctest runs the cases side by side.
        dir_ = tarnlight::test::PrivateDbDir() + "-restart-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        runDir_ = tarnlight::test::PrivateDbDir();
        ASSERT_EQ(RunPrivateDbScript("start", dir_), 0) << "see " << dir_ << "/error.log";
        started_ = true;
        setenv("TARNLIGHT_TEST_DB_DIR", dir_.c_str(), 1);
        MirrorTest::SetUp();
    }
    void TearDown() override {
        if (started_) {
            RunPrivateDbScript("start", dir_);
            MirrorTest::TearDown();
            RunPrivateDbScript("stop", dir_);
            setenv("TARNLIGHT_TEST_DB_DIR", runDir_.c_str(), 1);
        }
    }
    std::string dir_;
    std::string runDir_;
    bool started_ = false;
};

TEST_F(ServerRestartTest, MirrorPausesWhileTheServerIsDownAndResumesWithFlagsIntact) {
    config_.dropBefore = true;
    config_.areaEnabled[snp::kM] = true;
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    Request("new_m", 5, 1);
    Request("new_r", 9, -2);
    other_.reset();

    ASSERT_EQ(RunPrivateDbScript("stop", dir_), 0);
    EXPECT_FALSE(mirror_.CheckConnection());
    EXPECT_EQ(flags_.dbAlive.load(), 0);
    // No write, no statement, the cycle carries on.
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    mirror_.MirrorBitValue(1, 5, 1);
    mirror_.UpdateInfoPlcState(0);
    EXPECT_TRUE(writer_.writes.empty());

    // Within the interval no new connect is tried, server up or not.
    mirror_.SetReconnectInterval(std::chrono::hours(1));
    EXPECT_FALSE(mirror_.CheckConnection());
    ASSERT_EQ(RunPrivateDbScript("start", dir_), 0);
    EXPECT_FALSE(mirror_.CheckConnection());
    EXPECT_EQ(flags_.dbAlive.load(), 0);

    mirror_.SetReconnectInterval(std::chrono::milliseconds(0));
    EXPECT_TRUE(tarnlight::test::WaitFor([&] { return mirror_.CheckConnection(); }));
    EXPECT_EQ(flags_.dbAlive.load(), 1);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes,
              (std::vector<W>{{true, 5, 1, 1}, {false, 9, static_cast<uint16_t>(-2), 1}}));

    other_ = std::make_unique<tarnlight::test::OtherClient>(params_);
    ASSERT_TRUE(other_->ok()) << other_->Error();
    EXPECT_EQ(Count("new_m", "flag <> 0"), 0);
    EXPECT_EQ(Count("new_r", "flag <> 0"), 0);
    mirror_.UpdateInfoPlcState(6);
    EXPECT_EQ(Cell("info", "num_plcstate", 1), "6");
}

// The server killed (as in a crash) in the middle of a cycle, twice: while
// the cycle's values are being stored, and while the flagged requests are
// being written to the controller.
TEST_F(ServerRestartTest, KilledMidCycleTheTablesCatchUpAndNoRequestIsLost) {
    config_.areaEnabled[snp::kM] = true;
    config_.areaEnabled[snp::kR] = true;
    config_.areaTo[snp::kR] = 16;
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    mirror_.SetReconnectInterval(std::chrono::milliseconds(0));
    mirror_.SetValueRefreshInterval(std::chrono::hours(1));
    ASSERT_TRUE(MirrorCycle(mirror_, config_, image_));  // all 0
    Request("new_m", 6, 1);
    Request("new_r", 9, -2);

    // Another program holds a row of plc_r, so the cycle's transaction has
    // stored %M and waits at %R when the server dies: %M was never committed.
    for (uint16_t a = 1; a <= 48; ++a) image_.bits[1][a] = a % 2;
    for (uint16_t a = 1; a <= 16; ++a) image_.words[1][a] = static_cast<uint16_t>(a * 1000);
    tarnlight::test::OtherClient locker(params_, config_.dbName);
    ASSERT_TRUE(locker.Exec("START TRANSACTION"));
    ASSERT_TRUE(locker.Exec("SELECT * FROM plc_r WHERE id=3 FOR UPDATE"));
    bool stored = true;
    std::thread cycle([&] { stored = MirrorCycle(mirror_, config_, image_); });
    const std::string waiting = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID=" +
                                std::to_string(connection_.ThreadId()) +
                                " AND INFO LIKE 'UPDATE plc_r%'";
    EXPECT_TRUE(tarnlight::test::WaitFor([&] { return other().Number(waiting) == 1; }));
    ASSERT_EQ(RunPrivateDbScript("kill", dir_), 0);
    cycle.join();
    EXPECT_FALSE(stored);
    EXPECT_FALSE(mirror_.CheckConnection());
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_TRUE(writer_.writes.empty());

    // Back: the same values again. Believing the %M values of the killed
    // cycle stored would leave them out now.
    ASSERT_EQ(RunPrivateDbScript("start", dir_), 0);
    other_ = std::make_unique<tarnlight::test::OtherClient>(params_);
    ASSERT_TRUE(other_->ok()) << other_->Error();
    EXPECT_EQ(Cell("plc_m", "value", 1), "0") << "the killed transaction was rolled back";
    ASSERT_TRUE(tarnlight::test::WaitFor([&] { return mirror_.CheckConnection(); }));
    EXPECT_TRUE(MirrorCycle(mirror_, config_, image_));
    for (uint16_t a = 1; a <= 48; ++a) EXPECT_EQ(Cell("plc_m", "value", a), std::to_string(a % 2));
    for (uint16_t a = 1; a <= 16; ++a)
        EXPECT_EQ(Cell("plc_r", "value", a), std::to_string(a * 1000));

    // Killed while the first request is on the line: written, but its flag
    // not yet reset. Both stay flagged and are written after the restart.
    writer_.onWrite = [&](const W&) {
        if (writer_.writes.size() == 1) RunPrivateDbScript("kill", dir_);
    };
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes.size(), 2u);
    writer_.onWrite = nullptr;
    ASSERT_EQ(RunPrivateDbScript("start", dir_), 0);
    other_ = std::make_unique<tarnlight::test::OtherClient>(params_);
    ASSERT_TRUE(other_->ok()) << other_->Error();
    EXPECT_EQ(Count("new_m", "flag = 1"), 1);
    EXPECT_EQ(Count("new_r", "flag = 1"), 1);
    ASSERT_TRUE(tarnlight::test::WaitFor([&] { return mirror_.CheckConnection(); }));
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{true, 6, 1, 1},
                                              {false, 9, static_cast<uint16_t>(-2), 1},
                                              {true, 6, 1, 1},
                                              {false, 9, static_cast<uint16_t>(-2), 1}}));
    EXPECT_EQ(Count("new_m", "flag <> 0"), 0);
    EXPECT_EQ(Count("new_r", "flag <> 0"), 0);
    // And the values the controller holds now are mirrored in full.
    EXPECT_TRUE(MirrorCycle(mirror_, config_, image_));
    EXPECT_EQ(Cell("plc_m", "value", 47), "1");
}

}  // namespace
}  // namespace tarnlight::db::test
