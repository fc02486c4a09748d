#pragma once
// The line trace: one text line for every event on the serial line, for
// commissioning a link (a wrong baud rate, parity or CPU ID, a converter that
// garbles bytes):
//
//   2026-12-09T14:03:07.123 TX 2 06 00
//   2026-12-09T14:03:07.151 RX 3 of 40 1B 4D 01
//
// local time with milliseconds, the event, the number of bytes, then the
// bytes as hexadecimal pairs. "3 of 40" marks a receive that gave up with
// 3 of the 40 bytes it waited for.
//
// The serial port records lines into a memory buffer; a thread of the trace
// writes them to the file every kFlushInterval, so the worker never waits
// for the disk. At the size limit the file becomes FILE.1 (replacing an
// older one) and a new FILE begins.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

namespace tarnlight {

enum class TraceEvent { Tx, Rx, Break, Purge };

inline constexpr uint64_t kTraceRotateBytes = 10 * 1024 * 1024;

class LineTrace {
  public:
    static constexpr std::chrono::milliseconds kFlushInterval{250};

    explicit LineTrace(uint64_t rotateBytes = kTraceRotateBytes);
    ~LineTrace();  // Close()
    LineTrace(const LineTrace&) = delete;
    LineTrace& operator=(const LineTrace&) = delete;

    // Opens path for appending (created with mode 0600: the privilege request
    // carries the CPU password) and starts the writing thread. False with a
    // sentence for the operator in *error when the file cannot be written or
    // its directory takes no new file (the rotation needs one).
    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const { return open_.load(); }
    // Writes what is buffered, stops the thread and closes the file.
    void Close();

    // One line, from any thread. wanted > count marks a receive that ended
    // with count of the wanted bytes there. Does nothing while closed.
    void Record(TraceEvent event, const uint8_t* bytes, size_t count, size_t wanted = 0);

  private:
    void FlushLoop();
    // Appends chunk (whole lines) to the file, rotating at the limit.
    void WriteOut(const std::string& chunk);
    void Rotate();
    void AppendTime(std::string& line);

    const uint64_t rotateBytes_;
    std::string path_;
    // The file, written by the flushing thread only once Open has started it.
    int fd_ = -1;
    uint64_t fileBytes_ = 0;
    std::atomic<bool> open_{false};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::string pending_;    // guarded by mutex_
    bool stopping_ = false;  // guarded by mutex_
    // The date and time to the second of the last line, made again only when
    // the second changes. Guarded by mutex_.
    time_t lastSecond_ = -1;
    char secondText_[24] = {};
    std::thread flusher_;
};

}  // namespace tarnlight
