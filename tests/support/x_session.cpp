#include "tests/support/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace tarnlight::test {

bool ProgramInPath(const std::string& program) {
    const char* path = ::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, int keepFd) {
    Stop();
    if (argv.empty() || !ProgramInPath(argv[0])) return false;
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // A group of its own: a Ctrl+C meant for the test run reaches the
        // test, which then stops its children itself.
        ::setpgid(0, 0);
        // Nor may it outlive a test program that crashed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    pid_ = pid;
    return true;
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 5000; waited += 10) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

bool XvfbServer::Start(int timeoutMs) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return false;
    const bool started = server_.Start({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen",
                                        "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
                                       ready[1]);
    ::close(ready[1]);
    // The server writes the display number, then a newline, when it is ready.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (started && std::chrono::steady_clock::now() < deadline) {
        pollfd wait{ready[0], POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0) {
            if (!server_.Running()) break;
            continue;
        }
        char byte = 0;
        if (::read(ready[0], &byte, 1) != 1) break;
        if (byte == '\n') {
            display_ = ":" + number;
            break;
        }
        number += byte;
    }
    ::close(ready[0]);
    if (display_.empty()) server_.Stop();
    return !display_.empty();
}

}  // namespace tarnlight::test
