#pragma once
// A pseudo-terminal pair for tests: the program under test opens the slave
// side by its path as a serial device; the test plays the other end of the
// line on the master side.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnlight::test {

class PtyPair {
public:
    PtyPair();  // raw mode, non-blocking master; asserts on failure
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    void Write(const std::vector<uint8_t>& bytes);
    // Reads exactly count bytes from the master side within timeoutMs; returns
    // what arrived (shorter on time-out).
    std::vector<uint8_t> Read(size_t count, int timeoutMs = 3000);
    // Everything that arrives within quietMs of silence.
    std::vector<uint8_t> Drain(int quietMs = 50);

private:
    int master_ = -1;
    int slaveKeepOpen_ = -1;  // keeps the line up between opens by the program
    std::string slavePath_;
};

}  // namespace tarnlight::test
