// The frame exchange of the SNP master on a real pseudo-terminal: the test
// plays the controller on the master side, before the request or from a
// thread, and checks every byte the master puts on the line.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
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
#include "tests/support/wait_for.h"

namespace tarnlight::snp {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kAckBytes = {kAck, 0x00};

// A 40-byte mailbox reply carrying a short status: sweep time at 30..31, the
// state in the high nibble of byte 33.
Bytes Reply(uint8_t sequence, uint16_t sweep = 0, uint8_t state = 0, uint8_t kind = 0xD4,
            uint8_t nextType = 0, uint16_t nextLength = 0) {
    Bytes f(kMailboxFrameSize, 0);
    f[0] = kEsc;
    f[1] = kTypeMailbox;
    f[kMbSequence] = sequence;
    f[kMbKind] = kind;
    PutLe16(&f[kMbSweepTime], sweep);
    f[kMbStatusWord + 1] = static_cast<uint8_t>(state << 4);
    f[kMbEtb] = kEtb;
    f[kMbNextType] = nextType;
    PutLe16(&f[kMbNextLength], nextLength);
    SealRaw(f.data(), f.size());
    return f;
}

// A text buffer of total length `length` holding `data` (length - 8 bytes).
Bytes TextBuffer(const Bytes& data, uint8_t nextType, uint16_t nextLength) {
    const size_t length = data.size() + kTextFrameOverhead;
    Bytes f(length, 0);
    f[0] = kEsc;
    f[1] = kTypeText;
    std::memcpy(&f[2], data.data(), data.size());
    f[length - 6] = kEtb;
    f[length - 5] = nextType;
    PutLe16(&f[length - 4], nextLength);
    SealRaw(f.data(), f.size());
    return f;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Counting(size_t count, uint8_t first) {
    Bytes b(count);
    for (size_t i = 0; i < count; ++i) b[i] = static_cast<uint8_t>(first + i);
    return b;
}

class FrameExchange : public ::testing::Test {
  protected:
    FrameExchange() {
        context.t1 = 0;
        context.ackWaitSteps = 8;
        context.replyWaitSteps = 8;
        link.SetStatusHook([this] { ++statusCalls; });
    }
    void SetUp() override { ASSERT_TRUE(port.OpenDevice(pty.slavePath(), 9, 0, 0)); }

    // Puts controller bytes in the master's input queue before the exchange.
    void Queue(const Bytes& bytes) {
        const size_t before = port.QueuedInputCount();
        pty.Write(bytes);
        ASSERT_TRUE(
            test::WaitFor([&] { return port.QueuedInputCount() >= before + bytes.size(); }));
    }
    // Everything the master has written since the last call.
    Bytes Sent() { return pty.Drain(100); }

    test::PtyPair pty;
    StreamNotifier notifier;
    SnpLinkContext context;
    LinkConfig config;
    MemoryImage image;
    EngineFlags flags;
    SerialPort port{notifier, context.t1};
    SnpLink link{port, context, config, image, flags};
    int statusCalls = 0;
};

TEST_F(FrameExchange, MailboxExchangeWithAControllerThread) {
    context.sequenceNumber = 41;
    MailboxFrame request = MailboxRequestTemplate(0x00);
    Bytes seen;
    Bytes ackFromMaster;
    std::thread plc([&] {
        seen = pty.Read(kMailboxFrameSize);
        if (seen.size() != kMailboxFrameSize) return;
        pty.Write(Concat({kAckBytes, Reply(seen[kMbSequence], 0x1234, 5)}));
        ackFromMaster = pty.Read(2);
    });
    const bool ok = link.MailboxExchange(request);
    plc.join();
    ASSERT_TRUE(ok);
    ASSERT_EQ(seen.size(), kMailboxFrameSize);
    EXPECT_EQ(seen[kMbSequence], 42);
    EXPECT_EQ(context.sequenceNumber, 42);
    EXPECT_TRUE(CheckRaw(seen.data(), seen.size()));
    EXPECT_EQ(Bytes(request.begin(), request.end()), seen);
    EXPECT_EQ(ackFromMaster, kAckBytes);
    EXPECT_EQ(statusCalls, 1);
    EXPECT_EQ(context.sweepTime.load(), 0x1234);
    EXPECT_EQ(context.plcState.load(), 5);
    // The reply stays in the receive buffer for the caller.
    EXPECT_EQ(context.receiveBuffer[kMbKind], 0xD4);
}

TEST_F(FrameExchange, MailboxFailures) {
    MailboxFrame request = MailboxRequestTemplate(0x00);

    // No acknowledgement at all.
    EXPECT_FALSE(link.MailboxExchange(request));
    EXPECT_EQ(Sent().size(), kMailboxFrameSize);

    // An acknowledgement whose first byte is not 06h.
    Queue(Concat({Bytes{0x15, 0x00}, Reply(context.sequenceNumber + 1)}));
    EXPECT_FALSE(link.MailboxExchange(request));
    EXPECT_EQ(Sent().size(), kMailboxFrameSize);
    port.PurgePort();

    // Acknowledged, but no reply.
    Queue(kAckBytes);
    EXPECT_FALSE(link.MailboxExchange(request));
    EXPECT_EQ(Sent().size(), kMailboxFrameSize);

    // A reply one bit off in its check code: no status, no acknowledgement.
    Bytes bad = Reply(static_cast<uint8_t>(context.sequenceNumber + 1), 99, 2);
    bad[kMbBcc] ^= 0x01;
    Queue(Concat({kAckBytes, bad}));
    EXPECT_FALSE(link.MailboxExchange(request));
    EXPECT_EQ(Sent().size(), kMailboxFrameSize);
    EXPECT_EQ(statusCalls, 0);
    EXPECT_EQ(context.sweepTime.load(), 0);
}

TEST_F(FrameExchange, StaleSequenceStillUpdatesTheStatusThenFails) {
    context.sequenceNumber = 9;
    MailboxFrame request = MailboxRequestTemplate(0x00);
    Queue(Concat({kAckBytes, Reply(9, 0x0250, 6)}));
    EXPECT_FALSE(link.MailboxExchange(request));
    EXPECT_EQ(statusCalls, 1);
    EXPECT_EQ(context.sweepTime.load(), 0x0250);
    EXPECT_EQ(context.plcState.load(), 6);
    EXPECT_EQ(Sent().size(), kMailboxFrameSize);  // no acknowledgement
}

TEST_F(FrameExchange, SequenceWrapsFrom255To0) {
    context.sequenceNumber = 255;
    MailboxFrame request = MailboxRequestTemplate(0x00);
    Queue(Concat({kAckBytes, Reply(0)}));
    EXPECT_TRUE(link.MailboxExchange(request));
    EXPECT_EQ(context.sequenceNumber, 0);
    const Bytes sent = Sent();
    ASSERT_EQ(sent.size(), kMailboxFrameSize + 2);
    EXPECT_EQ(sent[kMbSequence], 0);
    EXPECT_EQ(Bytes(sent.end() - 2, sent.end()), kAckBytes);

    // A reply still carrying 255 is stale.
    context.sequenceNumber = 255;
    Queue(Concat({kAckBytes, Reply(255)}));
    EXPECT_FALSE(link.MailboxExchange(request));
}

TEST_F(FrameExchange, TimerExchangeSkipsTheStatus) {
    MailboxFrame request = MailboxRequestTemplate(0x00);
    Queue(Concat({kAckBytes, Reply(static_cast<uint8_t>(context.sequenceNumber + 1), 77, 3)}));
    EXPECT_TRUE(link.MailboxExchange(request, false));
    EXPECT_EQ(statusCalls, 0);
    EXPECT_EQ(context.sweepTime.load(), 0);
}

TEST_F(FrameExchange, TextBuffersDeliverTheirDataInOrder) {
    // The mailbox reply announcing the first buffer sits in the receive buffer.
    const Bytes reply = Reply(1, 0, 0, kKindTextReply, kTypeText, 30);
    std::memcpy(context.receiveBuffer.data(), reply.data(), reply.size());
    const Bytes first = Counting(22, 0);
    const Bytes second = Counting(12, 22);
    Queue(Concat({TextBuffer(first, kTypeText, 20), TextBuffer(second, 0, 0)}));

    Bytes stream;
    int pieces = 0;
    ASSERT_TRUE(link.ReadTextBuffers([&](const uint8_t* data, size_t count) {
        stream.insert(stream.end(), data, data + count);
        ++pieces;
    }));
    EXPECT_EQ(pieces, 2);
    EXPECT_EQ(stream, Counting(34, 0));
    EXPECT_EQ(Sent(), Concat({kAckBytes, kAckBytes}));
}

TEST_F(FrameExchange, TextBufferLengthsOutsideTheBufferFailCleanly) {
    for (uint16_t length : {uint16_t{7}, uint16_t{4000}, uint16_t{0}}) {
        const Bytes reply = Reply(1, 0, 0, kKindTextReply, kTypeText, length);
        std::memcpy(context.receiveBuffer.data(), reply.data(), reply.size());
        int pieces = 0;
        EXPECT_FALSE(link.ReadTextBuffers([&](const uint8_t*, size_t) { ++pieces; })) << length;
        EXPECT_EQ(pieces, 0);
        EXPECT_TRUE(Sent().empty());
    }

    // A good first buffer announcing an impossible second one: the first is
    // delivered and acknowledged, then the read fails.
    const Bytes reply = Reply(1, 0, 0, kKindTextReply, kTypeText, 16);
    std::memcpy(context.receiveBuffer.data(), reply.data(), reply.size());
    Queue(TextBuffer(Counting(8, 1), kTypeText, 4000));
    int pieces = 0;
    EXPECT_FALSE(link.ReadTextBuffers([&](const uint8_t*, size_t) { ++pieces; }));
    EXPECT_EQ(pieces, 1);
    EXPECT_EQ(Sent(), kAckBytes);
}

TEST_F(FrameExchange, CorruptTextBufferFailsWithoutAcknowledgement) {
    const Bytes reply = Reply(1, 0, 0, kKindTextReply, kTypeText, 30);
    std::memcpy(context.receiveBuffer.data(), reply.data(), reply.size());
    Bytes text = TextBuffer(Counting(22, 0), 0, 0);
    text[10] ^= 0x40;
    Queue(text);
    EXPECT_FALSE(link.ReadTextBuffers([](const uint8_t*, size_t) {}));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(FrameExchange, IntermediateFrameHasNoSequenceAndNoStatus) {
    context.sequenceNumber = 17;
    Queue(Concat({kAckBytes, Reply(200, 55, 4)}));
    EXPECT_TRUE(link.ExchangeIntermediate());
    const Bytes sent = Sent();
    const MailboxFrame frame = IntermediateFrame();
    EXPECT_EQ(sent, Concat({Bytes(frame.begin(), frame.end()), kAckBytes}));
    EXPECT_EQ(sent[kMbBcc], 0x3D);
    EXPECT_EQ(context.sequenceNumber, 17);
    EXPECT_EQ(statusCalls, 0);

    EXPECT_FALSE(link.ExchangeIntermediate());  // silent controller
}

TEST_F(FrameExchange, AttachReplyAndFrameWaits) {
    // An empty ID and T1 = 5: its check characters are "B9".
    Bytes attach(kAttachFrameSize, 0);
    attach[0] = kEsc;
    attach[1] = kTypeAttach;
    std::memcpy(&attach[kAttachT1Offset], "05000   ", 8);
    attach[kAttachEtbOffset] = kEtb;
    SealHex(attach.data(), attach.size());
    ASSERT_EQ(attach[22], 'B');
    Queue(attach);
    EXPECT_TRUE(link.WaitAttachReply());
    EXPECT_EQ(Bytes(context.receiveBuffer.begin(), context.receiveBuffer.begin() + 24), attach);

    attach[22] = 'b';
    Queue(attach);
    EXPECT_FALSE(link.WaitAttachReply());

    EXPECT_FALSE(link.WaitFrame(0));
    EXPECT_FALSE(link.WaitFrame(kReceiveBufferSize + 1));
    Queue(Bytes{0x06, 0xFF});
    EXPECT_TRUE(link.WaitAck());  // the second byte is not examined
}

}  // namespace
}  // namespace tarnlight::snp
