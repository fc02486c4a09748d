// Frame level of the SNP master: acknowledgements, frame waits, the mailbox
// exchange with its sequence check, text buffers and the intermediate frame.
#include "snp/bcc.h"
#include "snp/frames.h"
#include "snp/snp_link.h"

namespace tarnlight::snp {

namespace {

// A text buffer must hold its 8 bytes of framing and fit the receive buffer.
bool TextLengthValid(size_t length) {
    return length >= kTextFrameOverhead && length <= kReceiveBufferSize;
}

}  // namespace

SnpLink::SnpLink(SerialPort& port, SnpLinkContext& context, const LinkConfig& config,
                 MemoryImage& image, EngineFlags& flags)
    : port_(port), context_(context), config_(config), image_(image), flags_(flags) {}

bool SnpLink::Fault(Counter counter) {
    if (!port_.IsAborted()) Count(counter);
    return false;
}

bool SnpLink::WaitAck() {
    uint8_t* buffer = context_.receiveBuffer.data();
    // Two bytes that are not an acknowledgement are no acknowledgement either.
    if (!port_.WaitForInput(buffer, kAckSize, context_.ackWaitSteps) || buffer[0] != kAck)
        return Fault(&LinkCounters::no_ack);
    return true;  // the second byte is not examined
}

// A frame that did not come whole in time and one that came whole with a
// wrong check code fail alike; they are told apart for the counters only
// (a dead line or a wrong speed against parity or noise).
bool SnpLink::WaitFrame(size_t length) {
    if (length == 0 || length > kReceiveBufferSize) return false;
    uint8_t* buffer = context_.receiveBuffer.data();
    if (!port_.WaitForInput(buffer, length, context_.replyWaitSteps))
        return Fault(&LinkCounters::reply_timeouts);
    if (!CheckRaw(buffer, length)) return Fault(&LinkCounters::bad_bcc);
    return true;
}

bool SnpLink::WaitAttachReply() {
    uint8_t* buffer = context_.receiveBuffer.data();
    if (!port_.WaitForInput(buffer, kAttachFrameSize, context_.replyWaitSteps))
        return Fault(&LinkCounters::reply_timeouts);
    if (!CheckHex(buffer, kAttachFrameSize)) return Fault(&LinkCounters::bad_bcc);
    return true;
}

void SnpLink::SendAck() {
    static constexpr uint8_t kAckFrame[kAckSize] = {kAck, 0x00};
    port_.WritePort(kAckFrame, kAckSize);
}

void SnpLink::DecodeShortStatus(const uint8_t* reply) {
    context_.sweepTime.store(
        static_cast<uint16_t>(reply[kMbSweepTime] | (reply[kMbSweepTime + 1] << 8)));
    context_.plcState.store(static_cast<uint8_t>(reply[kMbStatusWord + 1] >> 4));
    if (statusHook_) statusHook_();
}

bool SnpLink::MailboxExchange(MailboxFrame& request, bool decodeStatus) {
    Count(&LinkCounters::requests);
    ++context_.sequenceNumber;  // 255 wraps to 0
    request[kMbSequence] = context_.sequenceNumber;
    SealRaw(request.data(), request.size());
    port_.WritePort(request.data(), request.size());
    if (!WaitAck()) return false;
    if (!WaitFrame(kMailboxFrameSize)) return false;
    const uint8_t* reply = context_.receiveBuffer.data();
    // The status is taken before the sequence check: even a stale reply
    // carries the controller's current state.
    if (decodeStatus) DecodeShortStatus(reply);
    if (reply[kMbSequence] != context_.sequenceNumber) return Fault(&LinkCounters::wrong_sequence);
    SendAck();
    // Counted here for every request, set-up ones included; what a refusal
    // means is for the request to say.
    if (reply[kMbKind] == kKindErrorReply) Count(&LinkCounters::refused);
    return true;
}

bool SnpLink::ReadTextBuffers(const std::function<void(const uint8_t* data, size_t count)>& sink) {
    const uint8_t* buffer = context_.receiveBuffer.data();
    size_t length = GetLe16(buffer + kMbNextLength);
    uint8_t nextType = kTypeText;
    // No read needs more data than this; a slave that keeps announcing text
    // buffers must not hold the worker (and Disconnect) forever.
    constexpr size_t kMaxTextData = 64 * 1024;
    size_t received = 0;
    // A length the receive buffer cannot hold, or too short for the framing,
    // would read past the buffer or underflow the data count: the read fails.
    while (nextType == kTypeText) {
        if (!TextLengthValid(length)) return false;
        received += length - kTextFrameOverhead;
        if (received > kMaxTextData) return false;
        if (!WaitFrame(length)) return false;
        SendAck();
        // The sink sees the data before the next receive overwrites the
        // buffer; the next type and length are taken out of it first.
        nextType = buffer[length - 5];
        const size_t nextLength = GetLe16(buffer + length - 4);
        if (sink) sink(buffer + 2, length - kTextFrameOverhead);
        length = nextLength;
    }
    return true;
}

bool SnpLink::ExchangeIntermediate() {
    const MailboxFrame frame = IntermediateFrame();
    port_.WritePort(frame.data(), frame.size());
    if (!WaitAck()) return false;
    if (!WaitFrame(kMailboxFrameSize)) return false;
    SendAck();
    return true;
}

}  // namespace tarnlight::snp
