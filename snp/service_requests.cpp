// The service requests of a link that is up: short status, keep-alive,
// Run/Stop, memory reads into the image and single-cell writes.
#include <algorithm>

#include "snp/snp_link.h"

namespace tarnlight::snp {

namespace {

constexpr uint8_t kServiceShortStatus = 0x00;
constexpr uint8_t kServiceRunStop = 0x23;
constexpr uint8_t kServiceRead = 0x04;
constexpr uint8_t kServiceWrite = 0x07;

constexpr size_t kSelectorOffset = 21;
constexpr size_t kAddressOffset = 22;  // 16-bit
constexpr size_t kCountOffset = 24;    // 16-bit
constexpr size_t kValueOffset = 26;

constexpr uint8_t kBitOn = 0xFF;
constexpr uint8_t kBitOff = 0x00;

bool ValidGroupArea(int area) {
    return area >= 0 && area <= 2;
}

// A range the image can hold: 1 <= first <= last <= max.
bool ValidRange(uint16_t first, uint16_t last, uint16_t max) {
    return first >= 1 && first <= last && last <= max;
}

MailboxFrame MemoryRequest(uint8_t service, uint8_t selector, uint16_t address, uint16_t count) {
    MailboxFrame request = MailboxRequestTemplate(service);
    request[kSelectorOffset] = selector;
    PutLe16(&request[kAddressOffset], address);
    PutLe16(&request[kCountOffset], count);
    return request;
}

// The write selector, address - 1 and the length in cells.
MailboxFrame WriteRequest(int type, uint16_t address, uint16_t length = 1) {
    return MemoryRequest(kServiceWrite, WriteSelector(type), static_cast<uint16_t>(address - 1),
                         length);
}

// A reply whose data follows in text buffers: kind 94h and next frame 'T'.
bool AnnouncesTextBuffers(const uint8_t* reply) {
    return reply[kMbKind] == kKindTextReply && reply[kMbNextType] == kTypeText;
}

}  // namespace

bool SnpLink::ReadShortStatus() {
    MailboxFrame request = MailboxRequestTemplate(kServiceShortStatus);
    return MailboxExchange(request);
}

bool SnpLink::SendIntermediate() {
    return ExchangeIntermediate();
}

bool SnpLink::SendRunStop() {
    if (!context_.runStopPending.load()) return true;
    // A command is sent at most once, whatever the outcome.
    context_.runStopPending.store(0);
    // With the controller state unknown the link is not trusted for a command.
    if (context_.plcState.load() >= kPlcStateUnknown) return false;
    const uint8_t code = context_.runStopCode.load();
    MailboxFrame request = MailboxRequestTemplate(kServiceRunStop);
    request[kSelectorOffset] = code;
    return Outcome(MailboxExchange(request), Refusal::RunStop(code)) != WriteResult::Failed;
}

bool SnpLink::TakeRefusal(Refusal refusal) {
    const uint8_t* reply = context_.receiveBuffer.data();
    if (reply[kMbKind] != kKindErrorReply) return false;
    context_.refusalMajor = refusal.major = reply[kMbErrorMajor];
    context_.refusalMinor = refusal.minor = reply[kMbErrorMinor];
    if (refusalHook_) refusalHook_(refusal);
    return true;
}

WriteResult SnpLink::Outcome(bool exchanged, const Refusal& ifRefused) {
    if (!exchanged) return WriteResult::Failed;
    if (context_.receiveBuffer[kMbKind] == kKindInlineReply) return WriteResult::Written;
    return TakeRefusal(ifRefused) ? WriteResult::Refused : WriteResult::Failed;
}

bool SnpLink::ReadBits(uint16_t first, uint16_t last, int area) {
    bool ok = ValidGroupArea(area) && ValidRange(first, last, kMaxBitAddress);
    if (ok) {
        // Whole bytes are read: the addresses sharing a byte with first or
        // last are updated too.
        const uint16_t firstByte = static_cast<uint16_t>((first - 1) / 8);
        const uint16_t lastByte = static_cast<uint16_t>((last - 1) / 8);
        const size_t count = lastByte - firstByte + 1u;
        MailboxFrame request = MemoryRequest(kServiceRead, ReadSelector(kI + area), firstByte,
                                             static_cast<uint16_t>(count));
        ok = MailboxExchange(request) && !TakeRefusal(Refusal::Read(kI + area, first, last));

        auto& bits = image_.bits[static_cast<size_t>(area)];
        size_t stored = 0;  // data bytes taken so far; more than count are ignored
        auto store = [&](const uint8_t* data, size_t length) {
            for (size_t i = 0; i < length && stored < count; ++i, ++stored) {
                const size_t base = 8u * (firstByte + stored) + 1;
                for (unsigned b = 0; b < 8; ++b) bits[base + b] = (data[i] >> b) & 1u;
            }
        };
        ok = ok && ReceiveReadData(count, store);
        // A reply that carries fewer bytes than asked for would leave stale
        // values looking fresh.
        ok = ok && stored == count;
    }
    flags_.linkLost.store(ok ? 0 : 1);
    return ok;
}

bool SnpLink::ReceiveReadData(size_t byteCount,
                              const std::function<void(const uint8_t*, size_t)>& store) {
    const uint8_t* reply = context_.receiveBuffer.data();
    if (reply[kMbKind] == kKindInlineReply) {
        // Inline data ends where the short status starts.
        if (byteCount > kMaxInlineDataBytes) return false;
        store(reply + kMbInlineData, byteCount);
        return true;
    }
    if (AnnouncesTextBuffers(reply)) return ReadTextBuffers(store);
    return false;  // any other reply kind carries no data
}

bool SnpLink::ReadWords(uint16_t first, uint16_t last, int area) {
    bool ok = ValidGroupArea(area) && ValidRange(first, last, kMaxWordAddress);
    if (ok) {
        const size_t count = last - first + 1u;
        MailboxFrame request =
            MemoryRequest(kServiceRead, ReadSelector(kAI + area), static_cast<uint16_t>(first - 1),
                          static_cast<uint16_t>(count));
        ok = MailboxExchange(request) && !TakeRefusal(Refusal::Read(kAI + area, first, last));

        auto& words = image_.words[static_cast<size_t>(area)];
        size_t stored = 0;  // words taken so far; more than count are ignored
        // Each buffer carries whole words, low byte first; an odd trailing
        // byte is not part of a word.
        auto store = [&](const uint8_t* data, size_t length) {
            for (size_t i = 0; i + 1 < length && stored < count; i += 2, ++stored) {
                words[first + stored] = GetLe16(data + i);
            }
        };
        ok = ok && ReceiveReadData(count * 2, store);
        ok = ok && stored == count;
    }
    flags_.linkLost.store(ok ? 0 : 1);
    return ok;
}

WriteResult SnpLink::WriteCell(MailboxFrame& request, bool valid, int type, uint16_t address) {
    WriteResult result = WriteResult::Failed;
    if (valid) result = Outcome(MailboxExchange(request), Refusal::Write(type, address));
    flags_.linkLost.store(result == WriteResult::Failed ? 1 : 0);
    return result;
}

WriteResult SnpLink::WriteBit(uint16_t address, uint8_t value, int area) {
    MailboxFrame request = WriteRequest(kI + area, address);
    request[kValueOffset] = value != 0 ? kBitOn : kBitOff;
    return WriteCell(request, ValidGroupArea(area) && address >= 1, kI + area, address);
}

WriteResult SnpLink::WriteWord(uint16_t address, uint16_t value, int area) {
    MailboxFrame request = WriteRequest(kAI + area, address);
    PutLe16(&request[kValueOffset], value);
    return WriteCell(request, ValidGroupArea(area) && address >= 1, kAI + area, address);
}

WriteResult SnpLink::WriteWords(uint16_t address, const uint16_t* words, int count, int area) {
    const bool valid = count >= 1 && count <= kMaxWordsPerWrite;
    MailboxFrame request =
        WriteRequest(kAI + area, address, static_cast<uint16_t>(valid ? count : 1));
    for (int i = 0; valid && i < count; ++i)
        PutLe16(&request[kValueOffset + 2 * static_cast<size_t>(i)], words[i]);
    return WriteCell(request, valid && ValidGroupArea(area) && address >= 1, kAI + area, address);
}

}  // namespace tarnlight::snp
