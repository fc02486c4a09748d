#include "tests/sim/sim_master.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "snp/bcc.h"

namespace tarnlight::test {

SimMaster::SimMaster(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
}

SimMaster::~SimMaster() {
    if (fd_ >= 0) ::close(fd_);
}

void SimMaster::Send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0) return;
        }
    }
}

std::vector<uint8_t> SimMaster::Read(size_t count, int timeoutMs) {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    while (out.size() < count) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) break;
        const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<uint8_t> SimMaster::Drain(int quietMs) {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0) break;
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<uint8_t> SimMaster::Exchange(const snp::MailboxFrame& request) {
    Send(request);
    const auto ack = Read(2);
    if (ack.size() != 2 || ack[0] != snp::kAck) return {};
    auto reply = Read(snp::kMailboxFrameSize);
    if (reply.size() != snp::kMailboxFrameSize || !snp::CheckRaw(reply.data(), reply.size())) {
        return {};
    }
    SendAck();
    return reply;
}

std::vector<uint8_t> SimMaster::TextBuffer(size_t length) {
    auto frame = Read(length);
    if (frame.size() != length || !snp::CheckRaw(frame.data(), frame.size())) return {};
    SendAck();
    return frame;
}

std::vector<uint8_t> AttachRequest(const std::string& id, uint8_t t1) {
    std::vector<uint8_t> f(snp::kAttachFrameSize, 0);
    f[0] = snp::kEsc;
    f[1] = snp::kTypeAttach;
    std::memcpy(f.data() + 2, id.data(), std::min<size_t>(id.size(), 8));
    f[10] = static_cast<uint8_t>(snp::HexDigit(t1 >> 4));
    f[11] = static_cast<uint8_t>(snp::HexDigit(t1 & 0x0F));
    std::memcpy(f.data() + 12, "000   ", 6);
    f[18] = snp::kEtb;
    snp::SealHex(f.data(), f.size());
    return f;
}

snp::MailboxFrame Mailbox(uint8_t service, uint8_t sequence, const std::vector<uint8_t>& data) {
    auto f = snp::MailboxRequestTemplate(service);
    std::copy(data.begin(), data.end(), f.begin() + snp::kMbData);
    f[snp::kMbSequence] = sequence;
    snp::SealRaw(f.data(), f.size());
    return f;
}

}  // namespace tarnlight::test
