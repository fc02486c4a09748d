// Block check code in its raw and hexadecimal forms.
#include "snp/bcc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "snp/frames.h"

namespace tarnlight::snp {
namespace {

TEST(BlockCheckCode, KnownValues) {
    EXPECT_EQ(ComputeBcc(nullptr, 0), 0x00);
    const uint8_t high = 0x80;
    EXPECT_EQ(ComputeBcc(&high, 1), 0x01);
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(ComputeBcc(abc, 3), 0x44);
    EXPECT_EQ(IntermediateFrame()[kMbBcc], 0x3D);
}

// The attach request for an empty CPU ID and T1 = 5.
std::array<uint8_t, kAttachFrameSize> AttachExample() {
    std::array<uint8_t, kAttachFrameSize> f{};
    f[0] = kEsc;
    f[1] = kTypeAttach;
    std::memcpy(&f[10], "05000   ", 8);
    f[18] = kEtb;
    return f;
}

TEST(BlockCheckCode, HexFormIsUppercaseAndCheckedStrictly) {
    auto frame = AttachExample();
    SealHex(frame.data(), frame.size());
    EXPECT_EQ(frame[22], 'B');
    EXPECT_EQ(frame[23], '9');
    EXPECT_TRUE(CheckHex(frame.data(), frame.size()));

    frame[22] = 'b';
    EXPECT_FALSE(CheckHex(frame.data(), frame.size()));
    frame[22] = 'B';
    frame[23] = '8';
    EXPECT_FALSE(CheckHex(frame.data(), frame.size()));
}

TEST(BlockCheckCode, RawFormFailsOnAnyFlippedBit) {
    MailboxFrame frame = MailboxRequestTemplate(0x00);
    SealRaw(frame.data(), frame.size());
    EXPECT_TRUE(CheckRaw(frame.data(), frame.size()));
    for (int bit = 0; bit < 8; ++bit) {
        MailboxFrame bad = frame;
        bad[kMbBcc] ^= static_cast<uint8_t>(1u << bit);
        EXPECT_FALSE(CheckRaw(bad.data(), bad.size())) << bit;
    }
    MailboxFrame body = frame;
    body[25] ^= 0x01;
    EXPECT_FALSE(CheckRaw(body.data(), body.size()));
}

}  // namespace
}  // namespace tarnlight::snp
