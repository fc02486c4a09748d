#pragma once
// The serial port on POSIX systems through termios.
//
// The descriptor stays non-blocking for its whole life: reads are only issued
// for bytes already queued, and a write that meets a full output buffer waits
// with poll() for room, bounded by the time the block needs on the line plus
// a margin, so a stuck line fails the write instead of hanging the worker.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "serial/serial_backend.h"

struct termios;

namespace tarnlight {

// Raw 8-bit mode with the rate, parity and stop bits of the indexes (others
// keep what tio holds), no flow control, VMIN = VTIME = 0.
void ApplyLineSettings(termios& tio, const LineSettings& line);

// The termios speed constant for a rate in bits per second; B0 (0) for a rate
// a serial port cannot be set to.
unsigned TermiosSpeed(uint32_t bitsPerSecond);

class PosixSerialBackend : public SerialBackend {
  public:
    PosixSerialBackend() = default;
    ~PosixSerialBackend() override;
    PosixSerialBackend(const PosixSerialBackend&) = delete;
    PosixSerialBackend& operator=(const PosixSerialBackend&) = delete;

    // Opens the device and takes it exclusively (TIOCEXCL against other
    // opens of the terminal, flock against other users of the same device,
    // this process included). Nothing stays open when any step fails.
    bool Open(const std::string& device) override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool Configure(const LineSettings& line) override;
    bool SetNoTimeouts() override;
    void Purge() override;
    void SetBreak() override;
    void ClearBreak() override;
    bool Write(const uint8_t* bytes, size_t count) override;
    size_t QueuedInputCount() override;
    bool Read(uint8_t* destination, size_t count) override;
    bool WaitReadable(int timeoutMs) override;
    // The descriptor is released even when close() reports an error (Linux
    // frees it in every case); the error is kept in lastError().
    bool Close() override;
    // poll() reports a hang-up or error on the descriptor, or fstat of the
    // descriptor and stat of path (links followed) name different devices.
    bool IsStale(const std::string& path) override;

    int fd() const { return fd_; }
    // errno of the last failed system call.
    int lastError() const { return lastError_; }

  private:
    // Longest time a block of count bytes may take to leave, in ms.
    int WriteBudgetMs(size_t count) const;
    // Moves count bytes by repeated steps (a read() or write() at offset
    // done) on the non-blocking descriptor, waiting with poll() for the rest
    // until the deadline.
    bool Transfer(short events, size_t count, std::chrono::steady_clock::time_point deadline,
                  const std::function<ssize_t(size_t done)>& step);

    int fd_ = -1;
    int lastError_ = 0;
    uint32_t bitsPerSecond_ = 19200;
};

}  // namespace tarnlight
