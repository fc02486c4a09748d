#pragma once
// Test rig for the SNP master: an SnpLink on a real serial device (a pty
// whose far end the test plays by hand, or the simulator), and builders for
// the frames a controller sends.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "types/engine_flags.h"
#include "types/link_config.h"
#include "types/notifier.h"
#include "serial/serial_port.h"
#include "snp/bcc.h"
#include "snp/frames.h"
#include "snp/memory.h"
#include "snp/snp_link.h"
#include "snp/snp_link_context.h"
#include "tests/support/pty_pair.h"

namespace tarnlight::test {

using Bytes = std::vector<uint8_t>;

// Everything one link needs, opened on a device at 115200 bit/s, odd parity.
// T1 is 0 and the wait limits are 1 s so that a silent far end fails fast.
struct SnpRig {
    explicit SnpRig(const std::string& device) {
        config.T1 = 0;
        config.breakFree = true;
        context.t1 = 0;
        context.ackWaitSteps = 40;
        context.replyWaitSteps = 40;
        port = std::make_unique<SerialPort>(notifier, context.t1);
        EXPECT_TRUE(port->OpenDevice(device, 9, 0, 0)) << device;
        link = std::make_unique<snp::SnpLink>(*port, context, config, image, flags);
    }
    ~SnpRig() {
        if (port->IsOpen()) port->ClosePort();
    }

    StreamNotifier notifier;
    snp::SnpLinkContext context;
    LinkConfig config;
    snp::MemoryImage image;
    EngineFlags flags;
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<snp::SnpLink> link;
};

// A 40-byte mailbox reply: kind, inline data from offset 22, status word
// byte at 33, next frame fields; sealed with the raw check code.
inline Bytes MailboxReply(uint8_t sequence, uint8_t kind, const Bytes& inlineData = {},
                          uint8_t statusHigh = 0x00, uint8_t nextType = 0,
                          uint16_t nextLength = 0) {
    Bytes f(snp::kMailboxFrameSize, 0);
    f[0] = snp::kEsc;
    f[1] = snp::kTypeMailbox;
    f[snp::kMbSequence] = sequence;
    f[snp::kMbKind] = kind;
    for (size_t i = 0; i < inlineData.size() && 22 + i < snp::kMbEtb; ++i)
        f[22 + i] = inlineData[i];
    f[33] = statusHigh;
    f[snp::kMbEtb] = snp::kEtb;
    f[snp::kMbNextType] = nextType;
    snp::PutLe16(&f[snp::kMbNextLength], nextLength);
    snp::SealRaw(f.data(), f.size());
    return f;
}

// A text buffer frame of data.size() + 8 bytes.
inline Bytes TextBuffer(const Bytes& data, uint8_t nextType = 0, uint16_t nextLength = 0) {
    Bytes f(data.size() + snp::kTextFrameOverhead, 0);
    const size_t length = f.size();
    f[0] = snp::kEsc;
    f[1] = snp::kTypeText;
    std::copy(data.begin(), data.end(), f.begin() + 2);
    f[length - 6] = snp::kEtb;
    f[length - 5] = nextType;
    snp::PutLe16(&f[length - 4], nextLength);
    snp::SealRaw(f.data(), length);
    return f;
}

// A 24-byte attach reply with the given SNP ID and two T1 characters.
inline Bytes AttachReply(const std::string& id, const char t1[2]) {
    Bytes f(snp::kAttachFrameSize, 0);
    f[0] = snp::kEsc;
    f[1] = snp::kTypeAttach;
    std::copy(id.begin(), id.end(), f.begin() + 2);
    f[10] = static_cast<uint8_t>(t1[0]);
    f[11] = static_cast<uint8_t>(t1[1]);
    f[snp::kAttachEtbOffset] = snp::kEtb;
    snp::SealHex(f.data(), f.size());
    return f;
}

inline const Bytes kAckBytes = {snp::kAck, 0x00};

// Plays the controller's side of one mailbox exchange on the pty: takes the
// request, acknowledges it and answers with reply(request). Returns the
// request (empty when none came).
template <typename MakeReply>
Bytes ServeMailbox(PtyPair& pty, MakeReply reply) {
    Bytes request = pty.Read(snp::kMailboxFrameSize);
    if (request.size() != snp::kMailboxFrameSize) return {};
    pty.Write(kAckBytes);
    pty.Write(reply(request));
    return request;
}

}  // namespace tarnlight::test
