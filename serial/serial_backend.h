#pragma once
// One transport backend of the serial port: the operating system's calls
// behind SerialPort. POSIX termios is the one we have; a Win32 backend can sit
// beside it. Every operation returns a plain status.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnlight {

struct LineSettings {
    int32_t baudIndex = 6;      // index into baudRateTable; -1 means 19200
    int32_t parityIndex = 0;    // 0 odd, 1 even, 2 none; others keep the current parity
    int32_t stopBitsIndex = 0;  // 0 one, 1 two; others keep the current setting
};

class SerialBackend {
  public:
    virtual ~SerialBackend() = default;

    // Opens the device exclusively; false when it does not exist or is busy.
    virtual bool Open(const std::string& device) = 0;
    virtual bool IsOpen() const = 0;
    // Line settings and raw mode (8 data bits, no flow control, DTR/RTS on).
    virtual bool Configure(const LineSettings& line) = 0;
    // No driver time-outs: reads are only issued for bytes already queued.
    virtual bool SetNoTimeouts() = 0;
    virtual void Purge() = 0;
    virtual void SetBreak() = 0;
    virtual void ClearBreak() = 0;
    virtual bool Write(const uint8_t* bytes, size_t count) = 0;
    // Bytes in the input queue; 0 when closed or on error.
    virtual size_t QueuedInputCount() = 0;
    virtual bool Read(uint8_t* destination, size_t count) = 0;
    // Sleeps until input arrives or timeoutMs passes; true when input is there.
    virtual bool WaitReadable(int timeoutMs) = 0;
    // Returns false when the system refused to close the device.
    virtual bool Close() = 0;
    // True when the open descriptor no longer reaches the device that path
    // names now: the device hung up or failed, or the path is gone or leads to
    // another device (an adapter plugged in again, a link re-pointed). A
    // backend that cannot tell answers false.
    virtual bool IsStale(const std::string& path) {
        (void)path;
        return false;
    }
};

}  // namespace tarnlight
