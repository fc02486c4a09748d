// Service requests: the bytes of the read, write and Run/Stop requests, how
// replies land in the memory image, and the guards against ranges and
// replies the image cannot take. The controller is played by hand on a pty
// where the exact reply matters, and by the simulator elsewhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "sim/plc_simulator.h"
#include "tests/snp/snp_rig.h"

namespace tarnlight::test {
namespace {

class HandPlayedReads : public ::testing::Test {
  protected:
    PtyPair pty;
    SnpRig rig{pty.slavePath()};
};

TEST_F(HandPlayedReads, BitsOfOneInlineByteLandLowBitFirst) {
    rig.image.bits[0][2] = 1;
    auto done = std::async(std::launch::async, [&] { return rig.link->ReadBits(1, 8, 0); });
    const Bytes request = ServeMailbox(
        pty, [](const Bytes& req) { return MailboxReply(req[8], snp::kKindInlineReply, {0x05}); });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    ASSERT_TRUE(done.get());
    ASSERT_EQ(request.size(), snp::kMailboxFrameSize);
    EXPECT_EQ(Bytes(request.begin() + 20, request.begin() + 26),
              Bytes({0x04, 0x10, 0x00, 0x00, 0x01, 0x00}));
    const Bytes bits(rig.image.bits[0].begin() + 1, rig.image.bits[0].begin() + 9);
    EXPECT_EQ(bits, Bytes({1, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(rig.flags.linkLost, 0);
}

TEST_F(HandPlayedReads, InlineReplyLongerThanTheDataAreaFails) {
    // 7 bytes cannot be inline: the short status starts 6 bytes after the data.
    auto done = std::async(std::launch::async, [&] { return rig.link->ReadBits(1, 56, 1); });
    ServeMailbox(pty, [](const Bytes& req) {
        return MailboxReply(req[8], snp::kKindInlineReply, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    EXPECT_FALSE(done.get());
    EXPECT_EQ(rig.image.bits[1][1], 0);
    EXPECT_EQ(rig.flags.linkLost, 1);
}

TEST_F(HandPlayedReads, HundredWordsFromTwoTextBuffers) {
    auto done = std::async(std::launch::async, [&] { return rig.link->ReadWords(1, 100, 1); });
    const Bytes request = ServeMailbox(pty, [](const Bytes& req) {
        return MailboxReply(req[8], snp::kKindTextReply, {}, 0x00, 'T', 108);
    });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    auto words = [](uint16_t from) {
        Bytes data;
        for (uint16_t i = 0; i < 50; ++i) {
            data.push_back(static_cast<uint8_t>((from + i) & 0xFF));
            data.push_back(static_cast<uint8_t>(0x80 | ((from + i) >> 8)));
        }
        return data;
    };
    pty.Write(TextBuffer(words(1), 'T', 108));
    EXPECT_EQ(pty.Read(2), kAckBytes);
    pty.Write(TextBuffer(words(51)));
    EXPECT_EQ(pty.Read(2), kAckBytes);
    ASSERT_TRUE(done.get());
    ASSERT_EQ(request.size(), snp::kMailboxFrameSize);
    EXPECT_EQ(Bytes(request.begin() + 21, request.begin() + 26),
              Bytes({0x08, 0x00, 0x00, 100, 0x00}));
    for (uint16_t a = 1; a <= 100; ++a) EXPECT_EQ(rig.image.words[1][a], 0x8000 | a) << a;
    EXPECT_EQ(rig.image.words[1][101], 0);
}

TEST_F(HandPlayedReads, TextBuffersShortOfTheCountFailTheRead) {
    auto done = std::async(std::launch::async, [&] { return rig.link->ReadWords(5, 10, 0); });
    ServeMailbox(pty, [](const Bytes& req) {
        return MailboxReply(req[8], snp::kKindTextReply, {}, 0x00, 'T', 8 + 5);
    });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    pty.Write(TextBuffer({0x34, 0x12, 0x78, 0x56, 0x99}));  // two words and a stray byte
    EXPECT_EQ(pty.Read(2), kAckBytes);
    EXPECT_FALSE(done.get());
    EXPECT_EQ(rig.image.words[0][5], 0x1234);  // what arrived stays
    EXPECT_EQ(rig.image.words[0][6], 0x5678);
    EXPECT_EQ(rig.image.words[0][7], 0);
    EXPECT_EQ(rig.flags.linkLost, 1);
}

TEST_F(HandPlayedReads, ReplyOfAnotherKindFails) {
    auto done = std::async(std::launch::async, [&] { return rig.link->ReadWords(1, 2, 2); });
    ServeMailbox(pty, [](const Bytes& req) { return MailboxReply(req[8], 0x94, {1, 2, 3, 4}); });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    EXPECT_FALSE(done.get());
    EXPECT_EQ(rig.image.words[2][1], 0);
}

TEST_F(HandPlayedReads, StaleSequenceUpdatesTheStatusThenFails) {
    rig.context.plcState = 0;
    auto done = std::async(std::launch::async, [&] { return rig.link->ReadShortStatus(); });
    ServeMailbox(pty, [](const Bytes& req) {
        return MailboxReply(static_cast<uint8_t>(req[8] - 1), snp::kKindInlineReply, {}, 0x20);
    });
    EXPECT_FALSE(done.get());
    EXPECT_EQ(rig.context.plcState, 2);
    EXPECT_TRUE(pty.Drain(50).empty()) << "no acknowledgement for a stale reply";
}

TEST_F(HandPlayedReads, RangesTheImageCannotHoldSendNothing) {
    struct Case {
        bool bits;
        uint16_t first, last;
        int area;
    };
    for (const Case c :
         {Case{true, 10, 3, 0}, Case{true, 0, 8, 0}, Case{true, 8185, 8193, 2}, Case{true, 1, 8, 3},
          Case{false, 5, 4, 1}, Case{false, 4000, 4097, 0}, Case{false, 1, 1, -1}}) {
        rig.flags.linkLost = 0;
        const bool ok = c.bits ? rig.link->ReadBits(c.first, c.last, c.area)
                               : rig.link->ReadWords(c.first, c.last, c.area);
        EXPECT_FALSE(ok) << c.first << ".." << c.last << " area " << c.area;
        EXPECT_EQ(rig.flags.linkLost, 1);
    }
    EXPECT_EQ(rig.link->WriteBit(0, 1, 0), snp::WriteResult::Failed);
    EXPECT_EQ(rig.link->WriteWord(1, 1, 3), snp::WriteResult::Failed);
    EXPECT_TRUE(pty.Drain(50).empty());
}

// What a write comes to is decided by the kind of the reply: D4h took it, an
// error reply (D1h, codes at 20 and 21) refused it with the link still up,
// any other kind is no answer to a write.
using HandPlayedWrites = HandPlayedReads;
TEST_F(HandPlayedWrites, OutcomeFollowsTheReplyKind) {
    std::vector<snp::Refusal> refusals;
    rig.link->SetRefusalHook([&](const snp::Refusal& r) { refusals.push_back(r); });
    const auto write = [&](uint8_t kind) {
        auto done = std::async(std::launch::async, [&] { return rig.link->WriteWord(100, 7, 1); });
        ServeMailbox(pty, [kind](const Bytes& req) {
            Bytes reply = MailboxReply(req[8], kind);
            reply[20] = 0x0E;
            reply[21] = 0x33;
            snp::SealRaw(reply.data(), reply.size());
            return reply;
        });
        EXPECT_EQ(pty.Read(2), kAckBytes);
        return done.get();
    };
    EXPECT_EQ(write(snp::kKindInlineReply), snp::WriteResult::Written);
    EXPECT_EQ(rig.flags.linkLost, 0);
    EXPECT_TRUE(refusals.empty());

    EXPECT_EQ(write(snp::kKindErrorReply), snp::WriteResult::Refused);
    EXPECT_EQ(rig.flags.linkLost, 0);
    EXPECT_EQ(rig.context.refusalMajor, 0x0E);
    EXPECT_EQ(rig.context.refusalMinor, 0x33);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].request, snp::Refusal::Request::Write);
    EXPECT_EQ(refusals[0].type, snp::kR);
    EXPECT_EQ(refusals[0].first, 100);
    EXPECT_EQ(refusals[0].major, 0x0E);
    EXPECT_EQ(refusals[0].minor, 0x33);

    EXPECT_EQ(write(snp::kKindTextReply), snp::WriteResult::Failed);
    EXPECT_EQ(rig.flags.linkLost, 1);
    EXPECT_EQ(refusals.size(), 1u);
}

class WithSimulator : public ::testing::Test {
  protected:
    static sim::SimConfig Config() {
        sim::SimConfig config;
        config.t1 = 0;
        return config;
    }
    void SetUp() override {
        ASSERT_TRUE(plc.OpenPty());
        ASSERT_TRUE(plc.Start());
        rig = std::make_unique<SnpRig>(plc.slavePath());
        ASSERT_TRUE(rig->link->LinkSetUp());
        plc.ClearRequests();
    }
    sim::PlcSimulator plc{Config()};
    std::unique_ptr<SnpRig> rig;
};

TEST_F(WithSimulator, PartialBytesUpdateTheirWholeBytes) {
    for (uint16_t a = 1; a <= 24; ++a) plc.SetBit(sim::kAreaM, a, a % 3 == 0);
    ASSERT_TRUE(rig->link->ReadBits(3, 10, 1));
    for (uint16_t a = 1; a <= 16; ++a) EXPECT_EQ(rig->image.bits[1][a], a % 3 == 0) << a;
    EXPECT_EQ(rig->image.bits[1][18], 0) << "byte 3 was not read";
}

TEST_F(WithSimulator, WholeAreasComeThroughTextBuffers) {
    for (uint16_t a = 1; a <= sim::kBitCount; a += 7) plc.SetBit(sim::kAreaQ, a, true);
    for (uint16_t a = 1; a <= sim::kWordCount; ++a) plc.SetWord(sim::kAreaAQ, a, a * 31u);
    ASSERT_TRUE(rig->link->ReadBits(1, sim::kBitCount, 2));
    ASSERT_TRUE(rig->link->ReadWords(1, sim::kWordCount, 2));
    for (uint16_t a = 1; a <= sim::kBitCount; ++a)
        ASSERT_EQ(rig->image.bits[2][a], (a - 1) % 7 == 0) << a;
    for (uint16_t a = 1; a <= sim::kWordCount; ++a)
        ASSERT_EQ(rig->image.words[2][a], static_cast<uint16_t>(a * 31u)) << a;
}

TEST_F(WithSimulator, WritesCarryTheWriteSelectorAndValue) {
    ASSERT_EQ(rig->link->WriteBit(17, 1, 2), snp::WriteResult::Written);
    Bytes frame = plc.lastMailboxRequest();
    ASSERT_EQ(frame.size(), snp::kMailboxFrameSize);
    EXPECT_EQ(Bytes(frame.begin() + 20, frame.begin() + 28),
              Bytes({0x07, 0x48, 0x10, 0x00, 0x01, 0x00, 0xFF, 0x00}));
    EXPECT_TRUE(plc.GetBit(sim::kAreaQ, 17));

    ASSERT_EQ(rig->link->WriteWord(3, 1234, 2), snp::WriteResult::Written);
    frame = plc.lastMailboxRequest();
    ASSERT_EQ(frame.size(), snp::kMailboxFrameSize);
    EXPECT_EQ(Bytes(frame.begin() + 20, frame.begin() + 28),
              Bytes({0x07, 0x0C, 0x02, 0x00, 0x01, 0x00, 0xD2, 0x04}));
    EXPECT_EQ(plc.GetWord(sim::kAreaAQ, 3), 1234);
    EXPECT_EQ(rig->flags.linkLost, 0);
}

TEST_F(WithSimulator, RunStopIsSentOnceAndOnlyToAKnownState) {
    EXPECT_TRUE(rig->link->SendRunStop());  // nothing pending
    EXPECT_TRUE(plc.requests().empty());

    rig->context.runStopCode = snp::kStopIoEnabled;
    rig->context.runStopPending = 1;
    ASSERT_TRUE(rig->link->SendRunStop());
    EXPECT_EQ(rig->context.runStopPending, 0);
    EXPECT_EQ(plc.plcState(), snp::kStopIoEnabled);
    ASSERT_EQ(plc.requests().size(), 1u);
    EXPECT_EQ(plc.requests()[0].serviceCode, 0x23);
    EXPECT_EQ(plc.requests()[0].data[0], snp::kStopIoEnabled);

    plc.ClearRequests();
    rig->context.plcState = snp::kPlcStateUnknown;
    rig->context.runStopCode = snp::kRunIoEnabled;
    rig->context.runStopPending = 1;
    EXPECT_FALSE(rig->link->SendRunStop());
    EXPECT_EQ(rig->context.runStopPending, 0);
    EXPECT_TRUE(plc.requests().empty());
}

TEST_F(WithSimulator, StatusAndKeepAliveExchanges) {
    plc.SetPlcState(2);
    ASSERT_TRUE(rig->link->ReadShortStatus());
    EXPECT_EQ(rig->context.plcState, 2);
    const uint64_t before = plc.stats().intermediates;
    ASSERT_TRUE(rig->link->SendIntermediate());
    EXPECT_EQ(plc.stats().intermediates, before + 1);
}

}  // namespace
}  // namespace tarnlight::test
