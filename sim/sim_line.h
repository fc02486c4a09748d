#pragma once
// The simulator's end of the serial line: the master side of a pseudo-terminal
// (or a real serial port), with a small look-ahead buffer so bytes read while
// waiting for an acknowledgement can be handed back to the frame parser, and
// an optional line-speed emulation that gives every byte its time on the wire.
// Every wait is cut into short poll() slices so a stop request is seen
// promptly. On a real port a line break is seen (a pty carries none): the
// kernel marks it in the input, and the mark is taken out here.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace tarnlight::sim {

// Takes the kernel's marks out of a port's input read with PARMRK: FF FF is
// a data byte FF, FF 00 00 a break, FF 00 X a byte X received with a framing
// or parity error (kept as X: the check code catches it). A mark may be split
// across reads; the state carries over.
class BreakMarks {
  public:
    // Appends the data bytes of in[0..count) to out; returns the breaks seen.
    int Decode(const uint8_t* in, size_t count, std::deque<uint8_t>& out);

  private:
    int state_ = 0;  // 0 plain, 1 after FF, 2 after FF 00
};

class SimLine {
  public:
    using Clock = std::chrono::steady_clock;

    SimLine() = default;
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Creates a pty; the slave side is set raw and kept open here so the line
    // stays valid while the program closes and reopens its end.
    bool OpenPty();
    // Opens a real serial port raw at baud (8 data bits, odd parity when
    // parity is set, 1 stop bit), with breaks marked in the input.
    bool OpenDevice(const std::string& path, uint32_t baud, bool parity);
    void Close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Line-speed emulation: 0 turns it off.
    void SetLineSpeed(uint32_t baud, bool parity);
    // Wire time of count bytes at the emulated speed (zero when off).
    Clock::duration WireTime(size_t count) const;

    // Called about every 20 ms while waiting (the live process ticks there).
    void SetIdleHook(std::function<void()> hook) { idle_ = std::move(hook); }
    void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

    // Reads exactly count bytes within timeoutMs. Returns how many arrived;
    // on a shortfall those bytes are still stored in dst.
    size_t Read(uint8_t* dst, size_t count, int timeoutMs);
    // Waits up to timeoutMs for the first byte; true when one is available.
    bool WaitInput(int timeoutMs);
    // Puts bytes back in front of the input so the next Read sees them again.
    void Unread(const uint8_t* bytes, size_t count);
    // Discards every byte available now; returns how many.
    size_t DiscardPending();
    // True once after one or more breaks arrived (real ports only).
    bool TakeBreak();

    // Writes all bytes, paced at the emulated line speed. False when the line
    // stays blocked for a second or a stop was requested.
    bool Write(const uint8_t* bytes, size_t count);

    // Sleeps until deadline in short slices; false when a stop was requested.
    bool SleepUntil(Clock::time_point deadline);
    bool SleepMs(int ms) { return SleepUntil(Clock::now() + std::chrono::milliseconds(ms)); }
    bool stopping() const { return stop_ != nullptr && stop_->load(); }

  private:
    // Pulls whatever the fd has into the look-ahead buffer, waiting at most
    // sliceMs. False on a stop request.
    bool Fill(int sliceMs);

    BreakMarks marks_;
    bool markBreaks_ = false;
    bool breakSeen_ = false;
    int fd_ = -1;
    int slaveKeepOpen_ = -1;
    std::string path_;
    std::deque<uint8_t> pending_;
    Clock::duration byteTime_{};
    Clock::time_point writeSchedule_{};
    std::function<void()> idle_;
    const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace tarnlight::sim
