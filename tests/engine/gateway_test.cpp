// The headless gateway as a process: settings file, simulator on COM1,
// stopping by signal, and its exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "settings/settings.h"
#include "settings/settings_directory.h"
#include "settings/settings_file.h"
#include "sim/plc_simulator.h"
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
            if (out == nullptr) _exit(99);
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
    std::string Output() const {
        std::ifstream in(output_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool Printed(const std::string& what) const { return Output().find(what) != std::string::npos; }

    TempConfigHome home_{"tl-gateway"};
    std::string dir_, output_;
    std::unique_ptr<sim::PlcSimulator> sim_;
    Settings settings_;
    pid_t pid_ = -1;
};

TEST_F(GatewayTest, MissingSettingsFileIsAnError) {
    Start({"--settings", dir_ + "/none.ini"});
    EXPECT_EQ(Wait(), 2);
}

TEST_F(GatewayTest, RunsUntilSigtermAndStopsCleanly) {
    const std::string path = dir_ + "/gw.ini";
    ASSERT_EQ(SaveSettings(settings_, path, nullptr), SaveResult::Ok);
    // No periodic line within the test: the one seen comes from SIGUSR1.
    Start({"--settings", path, "--break-free", "--values", "--stats", "86400"});
    ASSERT_TRUE(WaitFor([&] { return Printed("%I 1..48: "); }));
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
                       "link_state=Offline\n"),
              std::string::npos);
}

}  // namespace
}  // namespace tarnlight::test
