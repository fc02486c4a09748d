#pragma once
// A private X display for tests that need a real X server (the tray icon):
// an Xvfb server on a free display number, and helper programs (the
// notification area) started on it. Everything is stopped and reaped when
// its object goes, so a test run leaves no process behind.
#include <sys/types.h>

#include <string>
#include <vector>

namespace tarnlight::test {

// A program started by the test; stopped (SIGTERM, then SIGKILL after a
// grace time) and reaped by Stop() or the destructor.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up in PATH) with its output thrown away.
    // keepFd, when not -1, stays open in the child (for Xvfb's -displayfd).
    bool Start(const std::vector<std::string>& argv, int keepFd = -1);
    bool Running();
    void Stop();
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// Xvfb on the first free display: the server picks the number and reports it
// once it accepts connections.
class XvfbServer {
  public:
    // False when Xvfb is missing or did not come up within timeoutMs.
    bool Start(int timeoutMs = 20000);
    void Stop() { server_.Stop(); }
    // ":N"
    const std::string& display() const { return display_; }

  private:
    ChildProcess server_;
    std::string display_;
};

// Whether program is found in PATH.
bool ProgramInPath(const std::string& program);

}  // namespace tarnlight::test
