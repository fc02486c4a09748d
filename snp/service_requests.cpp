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
    MailboxFrame request = MailboxRequestTemplate(kServiceRunStop);
    request[kSelectorOffset] = context_.runStopCode.load();
    return MailboxExchange(request);
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
        ok = MailboxExchange(request);

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
        ok = MailboxExchange(request);

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

bool SnpLink::WriteBit(uint16_t address, uint8_t value, int area) {
    bool ok = ValidGroupArea(area) && address >= 1 && address <= kMaxBitAddress;
    if (ok) {
        MailboxFrame request = MemoryRequest(kServiceWrite, WriteSelector(kI + area),
                                             static_cast<uint16_t>(address - 1), 1);
        request[kValueOffset] = value != 0 ? kBitOn : kBitOff;
        ok = MailboxExchange(request);
    }
    flags_.linkLost.store(ok ? 0 : 1);
    return ok;
}

bool SnpLink::WriteWord(uint16_t address, uint16_t value, int area) {
    bool ok = ValidGroupArea(area) && address >= 1 && address <= kMaxWordAddress;
    if (ok) {
        MailboxFrame request = MemoryRequest(kServiceWrite, WriteSelector(kAI + area),
                                             static_cast<uint16_t>(address - 1), 1);
        PutLe16(&request[kValueOffset], value);
        ok = MailboxExchange(request);
    }
    flags_.linkLost.store(ok ? 0 : 1);
    return ok;
}

}  // namespace tarnlight::snp
