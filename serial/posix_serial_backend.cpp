#include "serial/posix_serial_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>

#include "serial/port_names.h"

namespace tarnlight {

namespace {

uint32_t BitsPerSecondFor(speed_t speed) {
    switch (speed) {
        case B300:
            return 300;
        case B600:
            return 600;
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 19200;
    }
}

// Unix98 pseudo-terminal slaves have the major numbers 136..143.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

unsigned TermiosSpeed(uint32_t bitsPerSecond) {
    switch (bitsPerSecond) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

PosixSerialBackend::~PosixSerialBackend() {
    if (fd_ >= 0) Close();
}

bool PosixSerialBackend::Open(const std::string& device) {
    if (fd_ >= 0 || device.empty()) {
        lastError_ = fd_ >= 0 ? EBUSY : ENOENT;
        return false;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // Lock first: only the holder of the lock may touch the exclusive mode, so
    // a refused second opener never clears the first one's TIOCEXCL.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    termios tio{};
    if (::tcgetattr(fd_, &tio) == 0) bitsPerSecond_ = BitsPerSecondFor(cfgetospeed(&tio));
    return true;
}

void ApplyLineSettings(termios& tio, const LineSettings& line) {
    // Raw bytes: no echo, no line editing, no signal characters, no CR/LF or
    // other translation, no software flow control.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;

    const uint32_t bps = BaudRateForIndex(line.baudIndex);
    if (bps != 0) {
        const speed_t speed = static_cast<speed_t>(TermiosSpeed(bps));
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    // Every parity flag is set or cleared: a port that another program left
    // in mark or space parity (CMSPAR) would otherwise keep a sticky parity
    // bit, and the controller would reject about half the bytes.
    constexpr tcflag_t kParityFlags = PARENB | PARODD | CMSPAR;
    switch (line.parityIndex) {
        case 0:
            tio.c_cflag = (tio.c_cflag & ~kParityFlags) | PARENB | PARODD;
            break;
        case 1:
            tio.c_cflag = (tio.c_cflag & ~kParityFlags) | PARENB;
            break;
        case 2:
            tio.c_cflag &= ~kParityFlags;
            break;
        default:
            break;  // keep the current parity
    }
    // Parity checking stays on whatever the parity; without PARENB the
    // receiver has no parity bit to check, so it is harmless for "none".
    tio.c_iflag |= INPCK;
    switch (line.stopBitsIndex) {
        case 0:
            tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
            break;
        case 1:
            tio.c_cflag |= CSTOPB;
            break;
        default:
            break;  // keep the current setting
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

bool PosixSerialBackend::Configure(const LineSettings& line) {
    if (fd_ < 0) return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        lastError_ = errno;
        return false;
    }
    ApplyLineSettings(tio, line);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        // A pseudo-terminal has no parity generator: the kernel takes every
        // other setting and drops PARENB, and the C library reports that as
        // EINVAL. The line works (the far end is a program), so accept it
        // once the speed and raw mode are seen to be in force.
        termios now{};
        const bool takenButParity = errno == EINVAL && IsPseudoTerminal(fd_) &&
                                    ::tcgetattr(fd_, &now) == 0 &&
                                    cfgetospeed(&now) == cfgetospeed(&tio) &&
                                    (now.c_lflag & ICANON) == 0 && (now.c_cflag & CSIZE) == CS8;
        if (!takenButParity) {
            lastError_ = errno;
            return false;
        }
    }
    bitsPerSecond_ = BitsPerSecondFor(cfgetospeed(&tio));
    // DTR and RTS held on. A pseudo-terminal has no modem lines and refuses
    // this; the line works without them, so the refusal is not a failure.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIS, &lines);
    return true;
}

bool PosixSerialBackend::SetNoTimeouts() {
    if (fd_ < 0) return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        lastError_ = errno;
        return false;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

void PosixSerialBackend::Purge() {
    if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
}

void PosixSerialBackend::SetBreak() {
    if (fd_ >= 0) ::ioctl(fd_, TIOCSBRK);
}

void PosixSerialBackend::ClearBreak() {
    if (fd_ >= 0) ::ioctl(fd_, TIOCCBRK);
}

int PosixSerialBackend::WriteBudgetMs(size_t count) const {
    // Eleven bit times per byte (start, 8 data, parity, stop) plus one second.
    const uint64_t lineMs = static_cast<uint64_t>(count) * 11 * 1000 / bitsPerSecond_;
    return static_cast<int>(1000 + lineMs);
}

bool PosixSerialBackend::Transfer(short events, size_t count,
                                  std::chrono::steady_clock::time_point deadline,
                                  const std::function<ssize_t(size_t done)>& step) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = step(done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // With VMIN = VTIME = 0 a terminal answers "nothing yet" with 0, not
        // EAGAIN: wait for the rest like for EAGAIN.
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            lastError_ = errno;
            return false;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            lastError_ = ETIMEDOUT;
            return false;
        }
        pollfd p{fd_, events, 0};
        if (::poll(&p, 1, left) < 0 && errno != EINTR) {
            lastError_ = errno;
            return false;
        }
    }
    return true;
}

bool PosixSerialBackend::Write(const uint8_t* bytes, size_t count) {
    if (fd_ < 0) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(WriteBudgetMs(count));
    return Transfer(POLLOUT, count, deadline,
                    [&](size_t done) { return ::write(fd_, bytes + done, count - done); });
}

size_t PosixSerialBackend::QueuedInputCount() {
    if (fd_ < 0) return 0;
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<size_t>(queued);
}

bool PosixSerialBackend::Read(uint8_t* destination, size_t count) {
    if (fd_ < 0) return false;
    // The bytes are already queued, so this normally completes at once; the
    // short bound only guards against a driver that reported more than it has.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    return Transfer(POLLIN, count, deadline,
                    [&](size_t done) { return ::read(fd_, destination + done, count - done); });
}

bool PosixSerialBackend::WaitReadable(int timeoutMs) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    return r > 0 && (p.revents & POLLIN) != 0;
}

bool PosixSerialBackend::Close() {
    if (fd_ < 0) return true;
    // Drop the exclusive mode first: it belongs to the terminal, not to this
    // descriptor, and would otherwise outlive us while anyone else holds the
    // terminal open.
    ::ioctl(fd_, TIOCNXCL);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool PosixSerialBackend::IsStale(const std::string& path) {
    if (fd_ < 0) return false;
    // A terminal whose device went away (an unplugged adapter, a closed
    // pseudo-terminal master) reports a hang-up; these events need no request.
    pollfd p{fd_, 0, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    struct stat open {};
    struct stat named {};
    if (::fstat(fd_, &open) != 0) return true;
    if (::stat(path.c_str(), &named) != 0) return true;  // the device node is gone
    return open.st_rdev != named.st_rdev || open.st_ino != named.st_ino ||
           open.st_dev != named.st_dev;
}

}  // namespace tarnlight
