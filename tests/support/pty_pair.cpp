#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tarnlight::test {

PtyPair::PtyPair() {
    char name[256] = {};
    int slave = -1;
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    slavePath_ = name;
    slaveKeepOpen_ = slave;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (slaveKeepOpen_ >= 0) close(slaveKeepOpen_);
    if (master_ >= 0) close(master_);
}

void PtyPair::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

std::vector<uint8_t> PtyPair::Read(size_t count, int timeoutMs) {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    while (out.size() < count) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) break;
        const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<uint8_t> PtyPair::Drain(int quietMs) {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0) break;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

}  // namespace tarnlight::test
