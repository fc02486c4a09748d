#include "serial/line_trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarnlight {

namespace {

// Lines waiting for a disk that does not take them (a full or hung file
// system) stop being buffered here: the worker's memory must stay bounded
// on a service that runs for months.
constexpr size_t kMaxPendingBytes = 8 * 1024 * 1024;

const char* EventWord(TraceEvent event) {
    switch (event) {
        case TraceEvent::Tx:
            return "TX";
        case TraceEvent::Rx:
            return "RX";
        case TraceEvent::Break:
            return "BREAK";
        case TraceEvent::Purge:
            return "PURGE";
    }
    return "?";
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

LineTrace::LineTrace(uint64_t rotateBytes) : rotateBytes_(rotateBytes) {}

LineTrace::~LineTrace() {
    Close();
}

bool LineTrace::Open(const std::string& path, std::string* error) {
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int reason = fd < 0 ? errno : EINVAL;
        if (fd >= 0) ::close(fd);
        if (error != nullptr) {
            *error = "cannot write the trace file " + path + ": " +
                     (reason == EINVAL ? "not a regular file" : std::strerror(reason));
        }
        return false;
    }
    // The file is renamed at its size limit: a directory that refuses new
    // entries would let it grow without bound instead.
    const std::string directory = DirectoryOf(path);
    if (::access(directory.c_str(), W_OK | X_OK) != 0) {
        const int reason = errno;
        ::close(fd);
        if (error != nullptr) {
            *error = "cannot rotate the trace file " + path + ": directory " + directory + ": " +
                     std::strerror(reason);
        }
        return false;
    }
    path_ = path;
    fd_ = fd;
    fileBytes_ = static_cast<uint64_t>(status.st_size);
    stopping_ = false;
    open_.store(true);
    flusher_ = std::thread([this] { FlushLoop(); });
    return true;
}

void LineTrace::Close() {
    if (fd_ < 0) return;
    open_.store(false);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    ::close(fd_);
    fd_ = -1;
}

void LineTrace::AppendTime(std::string& line) {
    const auto now = std::chrono::system_clock::now();
    const time_t seconds = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    if (seconds != lastSecond_) {
        // localtime_r takes the time-zone lock; once a second is enough.
        struct tm local {};
        localtime_r(&seconds, &local);
        std::strftime(secondText_, sizeof secondText_, "%Y-%m-%dT%H:%M:%S", &local);
        lastSecond_ = seconds;
    }
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03d ", ms);
    line += secondText_;
    line += millis;
}

void LineTrace::Record(TraceEvent event, const uint8_t* bytes, size_t count, size_t wanted) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (!open_.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.size() >= kMaxPendingBytes) return;
    AppendTime(pending_);
    pending_ += EventWord(event);
    pending_ += ' ';
    pending_ += std::to_string(count);
    if (wanted > count) {
        pending_ += " of ";
        pending_ += std::to_string(wanted);
    }
    for (size_t i = 0; i < count; ++i) {
        pending_ += ' ';
        pending_ += kHex[bytes[i] >> 4];
        pending_ += kHex[bytes[i] & 0x0F];
    }
    pending_ += '\n';
}

void LineTrace::FlushLoop() {
    std::string chunk;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const bool last = wake_.wait_for(lock, kFlushInterval, [this] { return stopping_; });
        chunk.clear();
        chunk.swap(pending_);
        // The disk is written without the lock: the worker goes on recording.
        lock.unlock();
        if (!chunk.empty()) WriteOut(chunk);
        lock.lock();
        if (last) {
            // Lines recorded while the last chunk was written.
            chunk.clear();
            chunk.swap(pending_);
            lock.unlock();
            if (!chunk.empty()) WriteOut(chunk);
            return;
        }
    }
}

void LineTrace::WriteOut(const std::string& chunk) {
    size_t done = 0;
    while (done < chunk.size()) {
        // As many whole lines as still fit under the limit. A full file is
        // rotated first; a line longer than the limit goes into an empty
        // file whole.
        size_t end = chunk.size();
        const uint64_t room = fileBytes_ < rotateBytes_ ? rotateBytes_ - fileBytes_ : 0;
        if (end - done > room) {
            const size_t cut = room > 0 ? chunk.rfind('\n', done + room - 1) : std::string::npos;
            if (cut != std::string::npos && cut >= done) {
                end = cut + 1;
            } else if (fileBytes_ > 0) {
                Rotate();
                continue;
            } else {
                end = chunk.find('\n', done) + 1;
            }
        }
        // A write the disk refuses loses those lines, not the link.
        if (WriteAll(fd_, chunk.data() + done, end - done)) fileBytes_ += end - done;
        done = end;
        if (fileBytes_ >= rotateBytes_) Rotate();
    }
}

void LineTrace::Rotate() {
    // Leaves an empty file to write on in every case, so that the size stays
    // bounded: when FILE.1 or the new FILE cannot be made, the old lines are
    // dropped instead (an O_APPEND descriptor writes on at offset 0).
    fileBytes_ = 0;
    if (::rename(path_.c_str(), (path_ + ".1").c_str()) == 0) {
        const int fresh =
            ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
        if (fresh >= 0) {
            ::close(fd_);
            fd_ = fresh;
            return;
        }
    }
    if (::ftruncate(fd_, 0) != 0) {
        // Nothing else to try: the next writes most likely fail as well.
    }
}

}  // namespace tarnlight
