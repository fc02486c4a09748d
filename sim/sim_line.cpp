#include "sim/sim_line.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "serial/posix_serial_backend.h"

namespace tarnlight::sim {

namespace {

constexpr int kSliceMs = 20;

}  // namespace

int BreakMarks::Decode(const uint8_t* in, size_t count, std::deque<uint8_t>& out) {
    int breaks = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = in[i];
        if (state_ == 0) {
            if (b == 0xFF) {
                state_ = 1;
            } else {
                out.push_back(b);
            }
        } else if (state_ == 1) {
            state_ = b == 0x00 ? 2 : 0;
            if (b != 0x00) out.push_back(b);  // FF FF: the data byte FF
        } else {
            state_ = 0;
            if (b == 0x00) {
                ++breaks;
            } else {
                out.push_back(b);
            }
        }
    }
    return breaks;
}

SimLine::~SimLine() {
    Close();
}

bool SimLine::OpenPty() {
    Close();
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fd_ = master;
    slaveKeepOpen_ = slave;
    path_ = name;
    return true;
}

bool SimLine::OpenDevice(const std::string& path, uint32_t baud, bool parity) {
    Close();
    const auto speed = static_cast<speed_t>(TermiosSpeed(baud));
    if (speed == B0) return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        return false;
    }
    cfmakeraw(&tio);
    // A break arrives as FF 00 00 (BreakMarks), so the controllers on the
    // line can go back to waiting for an attach as real ones do.
    tio.c_iflag |= PARMRK;
    tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB | PARODD);
    if (parity) tio.c_cflag |= PARENB | PARODD;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        ::close(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    marks_ = BreakMarks();
    markBreaks_ = true;
    fd_ = fd;
    path_ = path;
    return true;
}

void SimLine::Close() {
    if (fd_ >= 0) ::close(fd_);
    if (slaveKeepOpen_ >= 0) ::close(slaveKeepOpen_);
    fd_ = -1;
    slaveKeepOpen_ = -1;
    pending_.clear();
    markBreaks_ = false;
    breakSeen_ = false;
}

void SimLine::SetLineSpeed(uint32_t baud, bool parity) {
    if (baud == 0) {
        byteTime_ = {};
        return;
    }
    // Start bit, 8 data bits, parity bit when used, stop bit.
    const int64_t bits = parity ? 11 : 10;
    byteTime_ = std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(bits * 1'000'000'000LL / static_cast<int64_t>(baud)));
}

SimLine::Clock::duration SimLine::WireTime(size_t count) const {
    return byteTime_ * static_cast<int64_t>(count);
}

bool SimLine::Fill(int sliceMs) {
    if (stopping()) return false;
    if (idle_) idle_();
    if (fd_ < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        return true;
    }
    pollfd p{fd_, POLLIN, 0};
    const int r = poll(&p, 1, sliceMs);
    if (r <= 0) return !stopping();
    if ((p.revents & POLLIN) != 0) {
        uint8_t buf[1024];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            if (!markBreaks_) {
                pending_.insert(pending_.end(), buf, buf + n);
            } else if (marks_.Decode(buf, static_cast<size_t>(n), pending_) > 0) {
                breakSeen_ = true;
            }
            return true;
        }
    }
    // Hang-up or error without data (no one has the other end open): do not spin.
    std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
    return !stopping();
}

size_t SimLine::Read(uint8_t* dst, size_t count, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t got = 0;
    for (;;) {
        while (got < count && !pending_.empty()) {
            dst[got++] = pending_.front();
            pending_.pop_front();
        }
        if (got == count) return got;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return got;
        if (!Fill(static_cast<int>(std::min<int64_t>(left, kSliceMs)))) return got;
    }
}

bool SimLine::WaitInput(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pending_.empty()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        if (!Fill(static_cast<int>(std::min<int64_t>(left, kSliceMs)))) return false;
    }
    return true;
}

void SimLine::Unread(const uint8_t* bytes, size_t count) {
    pending_.insert(pending_.begin(), bytes, bytes + count);
}

size_t SimLine::DiscardPending() {
    size_t n = pending_.size();
    pending_.clear();
    if (fd_ < 0) return n;
    uint8_t buf[1024];
    for (;;) {
        const ssize_t r = ::read(fd_, buf, sizeof buf);
        if (r <= 0) break;
        n += static_cast<size_t>(r);
    }
    marks_ = BreakMarks();  // a mark cut in two is lost with the rest
    return n;
}

bool SimLine::TakeBreak() {
    const bool seen = breakSeen_;
    breakSeen_ = false;
    return seen;
}

bool SimLine::SleepUntil(Clock::time_point deadline) {
    for (;;) {
        if (stopping()) return false;
        const auto now = Clock::now();
        if (now >= deadline) return true;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(kSliceMs)));
    }
}

bool SimLine::Write(const uint8_t* bytes, size_t count) {
    if (fd_ < 0) return false;
    // With emulation, bytes leave in chunks of about 2 ms each, and each chunk
    // is released only when its last byte would have crossed the wire.
    size_t chunk = count;
    if (byteTime_ > Clock::duration::zero()) {
        const auto perChunk = std::chrono::milliseconds(2) / byteTime_;
        chunk = std::max<size_t>(1, static_cast<size_t>(perChunk));
        writeSchedule_ = std::max(writeSchedule_, Clock::now());
    }
    size_t done = 0;
    while (done < count) {
        const size_t n = std::min(chunk, count - done);
        if (byteTime_ > Clock::duration::zero()) {
            writeSchedule_ += WireTime(n);
            if (!SleepUntil(writeSchedule_)) return false;
        }
        size_t sent = 0;
        auto blockedSince = Clock::now();
        while (sent < n) {
            const ssize_t w = ::write(fd_, bytes + done + sent, n - sent);
            if (w > 0) {
                sent += static_cast<size_t>(w);
                blockedSince = Clock::now();
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
            if (stopping() || Clock::now() - blockedSince > std::chrono::seconds(1)) return false;
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, kSliceMs);
        }
        done += n;
    }
    return true;
}

}  // namespace tarnlight::sim
