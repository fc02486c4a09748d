// The program tarnlight as a user or a service manager runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/temp_config_home.h"
#include "tests/support/wait_for.h"

namespace tarnlight::test {
namespace {

// Whether the process has a handler installed for signal (SigCgt in /proc).
bool Catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (signal - 1)) & 1u;
    }
    return false;
}

// Waits for the child's end; its exit status, or -1 after timeoutMs or
// when a signal ended it.
int ExitStatus(pid_t pid, int timeoutMs) {
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; },
                               std::chrono::milliseconds(timeoutMs));
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProgramTest, HelpDescribesTheOptionsAndNamesTheHelpDocument) {
    FILE* out = popen(TARNLIGHT_PATH " --help", "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, out) != nullptr) text += buffer;
    EXPECT_EQ(pclose(out), 0);
    EXPECT_NE(text.find("Usage: tarnlight [--load NAME] [--trace FILE] [--help]"),
              std::string::npos);
    // Run from the build tree, the window opens the source tree's document.
    EXPECT_NE(text.find("\nHelp document: " TARNLIGHT_SOURCE_DIR "/docs/tarnlight.html\n"),
              std::string::npos)
        << text;
}

TEST(ProgramTest, StopSignalsCloseTheWindowEvenWithABoxOpen) {
    TempConfigHome home("tl-program");
    ASSERT_TRUE(home.ok());
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            // No such settings file: the window starts with the E31 box open.
            execl(TARNLIGHT_PATH, TARNLIGHT_PATH, "--load", "missing", static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_TRUE(WaitFor([&] { return Catches(pid, signal); }));
        kill(pid, signal);
        EXPECT_EQ(ExitStatus(pid, 20000), 0);
    }
}

}  // namespace
}  // namespace tarnlight::test
