#pragma once
// The one serial port through which the program talks to the controller:
// opens a port by index ("COM1".."COM32"), configures it for SNP, writes
// blocks after the SNP pause T1 and receives by waiting for a byte count.
// It knows nothing of frames.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/serial_backend.h"
#include "types/notifier.h"

namespace tarnlight {

class LineTrace;

inline constexpr int kWaitStepMs = 25;
inline constexpr size_t kInputQueueSize = 2048;
inline constexpr size_t kOutputQueueSize = 1024;

// How WaitForInput waits. EventDriven keeps the deadline of step limit x 25 ms
// but wakes as soon as the bytes are queued; FixedSteps sleeps 25 ms between
// checks of the queue, the plain polling design. The benchmark
// compares both.
enum class WaitMode { EventDriven, FixedSteps };

// Built with TARNLIGHT_FIXED_STEP_WAIT, a port starts in FixedSteps mode;
// SetWaitMode switches at run time.
#ifdef TARNLIGHT_FIXED_STEP_WAIT
inline constexpr WaitMode kDefaultWaitMode = WaitMode::FixedSteps;
#else
inline constexpr WaitMode kDefaultWaitMode = WaitMode::EventDriven;
#endif

class SerialPort {
  public:
    // t1 is the current SNP T1 in milliseconds, owned by the link context;
    // every write pauses for it first.
    SerialPort(Notifier& notifier, const uint16_t& t1);
    SerialPort(Notifier& notifier, const uint16_t& t1, std::unique_ptr<SerialBackend> backend);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens "COM<port+1>" as resolved by ResolvePortDevice. On failure shows
    // the [BADID] box, sets openErrorCode to 1 and returns false. Opening
    // clears an abort.
    bool OpenPort(int port, int baudIndex, int parityIndex, int stopBitsIndex);
    // The same for a device path given directly (tests, --device options).
    bool OpenDevice(const std::string& device, int baudIndex, int parityIndex, int stopBitsIndex);
    bool ConfigurePort(int baudIndex, int parityIndex, int stopBitsIndex);  // closes on failure
    bool SetPortTimeouts();                                                 // closes on failure
    void PurgePort();
    void SetBreak();
    void ClearBreak();
    bool WritePort(const uint8_t* bytes, size_t count);
    size_t QueuedInputCount();
    bool ReadPort(uint8_t* destination, size_t count);
    bool WaitForInput(uint8_t* destination, size_t count, unsigned stepLimit);
    // Throws std::system_error when the system refuses to close the device.
    // A port closed this way is forgotten: it is not stale and not reopened.
    void ClosePort();

    // True when the device of the last successful open can no longer be
    // reached through the open descriptor (see SerialBackend::IsStale), or
    // when that descriptor has been lost (a failed Reopen).
    bool IsStale();
    // Closes the old descriptor (a refused close is dropped: the descriptor
    // is released anyway) and opens the device of the last successful open
    // again with its line settings. Shows no box and leaves openErrorCode and
    // an abort as they are; false when the device cannot be opened or set up.
    bool Reopen();

    // For a program that is closing while the worker waits on the line: from
    // any thread, cuts every wait of the port short until ClearAbort or the
    // next open. While aborted, WaitForInput fails at once, WritePort sends
    // without its T1 pause and Pause returns at once.
    void Abort();
    void ClearAbort();
    bool IsAborted() const { return aborted_.load(); }
    // Sleeps ms milliseconds unless aborted before or meanwhile; false when
    // the pause was cut short.
    bool Pause(unsigned ms);

    bool IsOpen() const;
    uint8_t openErrorCode() const { return openErrorCode_; }
    // Where the pause before each write is read from from now on: a line
    // shared by several controllers pauses for the one it talks to.
    void SetT1Source(const uint16_t& t1) { t1_ = &t1; }
    void SetWaitMode(WaitMode mode) { waitMode_ = mode; }
    // Every block written (TX), receive (RX), break and purge goes to trace
    // from now on; nullptr stops it. Set while no other thread uses the port.
    // A receive that gives up is traced with what was queued then: those
    // bytes are taken into the port and stay queued for the next receive.
    void SetTrace(LineTrace* trace) { trace_ = trace; }
    WaitMode waitMode() const { return waitMode_; }

  private:
    // Configures a just opened device, sets no time-outs and purges; closes
    // it on failure, without a box.
    bool SetUpOpenedPort(const LineSettings& line);
    // The end of a WaitForInput that did not get its count: traces what is
    // queued, returns false.
    bool GiveUpWait(size_t count);

    Notifier& notifier_;
    const uint16_t* t1_;
    std::unique_ptr<SerialBackend> backend_;
    uint8_t openErrorCode_ = 0;
    WaitMode waitMode_ = kDefaultWaitMode;
    // Device and settings of the last successful open; empty when none.
    std::string lastDevice_;
    LineSettings lastLine_;

    std::atomic<bool> aborted_{false};

    LineTrace* trace_ = nullptr;
    // Input taken out of the driver's queue to trace a receive that gave up
    // (a terminal has no read that leaves bytes queued). It counts as queued
    // and is read first; a purge, open or close discards it like the queue.
    std::vector<uint8_t> held_;
};

}  // namespace tarnlight
