#pragma once
// SNP frame layouts: control bytes, sizes and field offsets. Multi-byte
// numbers inside frames are little-endian unless a field is ASCII hex.
#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnlight::snp {

inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kEtb = 0x17;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kTypeAttach = 'A';
inline constexpr uint8_t kTypeMailbox = 'M';
inline constexpr uint8_t kTypeIntermediate = 'I';
inline constexpr uint8_t kTypeText = 'T';

inline constexpr size_t kAttachFrameSize = 24;
inline constexpr size_t kMailboxFrameSize = 40;
inline constexpr size_t kControllerTypeFrameSize = 48;
inline constexpr size_t kAckSize = 2;
inline constexpr size_t kReceiveBufferSize = 2048;
// A text buffer is ESC, 'T', data, ETB, next type, next length (2), one spare
// byte and the check code: 8 bytes besides its data.
inline constexpr size_t kTextFrameOverhead = 8;

// Attach frame offsets.
inline constexpr size_t kAttachIdOffset = 2;  // 8 bytes, zero padded
inline constexpr size_t kAttachIdSize = 8;
inline constexpr size_t kAttachT1Offset = 10;  // two uppercase hex digits
inline constexpr size_t kAttachEtbOffset = 18;

// Mailbox frame offsets.
inline constexpr size_t kMbSequence = 8;
inline constexpr size_t kMbKind = 9;
inline constexpr size_t kMbServiceCode = 20;
inline constexpr size_t kMbErrorMajor = 20;  // error reply: the controller's error codes
inline constexpr size_t kMbErrorMinor = 21;
inline constexpr size_t kMbData = 21;        // request data 21..33
inline constexpr size_t kMbInlineData = 22;  // inline reply data of a D4h reply
inline constexpr size_t kMbPrivilege = 29;
inline constexpr size_t kMbSweepTime = 30;   // 2 bytes, tenths of a millisecond
inline constexpr size_t kMbStatusWord = 32;  // 2 bytes; state in bits 12..15
inline constexpr size_t kMbEtb = 34;
inline constexpr size_t kMbNextType = 35;
inline constexpr size_t kMbNextLength = 36;  // 2 bytes
inline constexpr size_t kMbBcc = 39;
// Inline data of a D4h reply ends where the short status starts (offset 28).
inline constexpr size_t kMaxInlineDataBytes = 6;

inline constexpr uint8_t kKindRequest = 0xC0;
inline constexpr uint8_t kKindInlineReply = 0xD4;
inline constexpr uint8_t kKindTextReply = 0x94;
// The controller refused the request; its error codes are at 20 and 21.
inline constexpr uint8_t kKindErrorReply = 0xD1;

using MailboxFrame = std::array<uint8_t, kMailboxFrameSize>;

// The common request template: ESC 'M', C0h, 10h 3Ah 00h 00h, 10h 0Ah 00h 00h,
// 01h 01h, the service code, ETB; data, sequence number and check code are
// filled in later.
MailboxFrame MailboxRequestTemplate(uint8_t serviceCode);

// The fixed intermediate frame: 'I', everything zero but ETB, check code 3Dh.
MailboxFrame IntermediateFrame();

inline uint16_t GetLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace tarnlight::snp
