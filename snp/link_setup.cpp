// The connection attempt: wake the controller's SNP port with a line break,
// attach, agree on the timers, learn the controller's type, ask for the
// privilege level and complete the set-up.
#include <algorithm>

#include "snp/bcc.h"
#include "snp/identity.h"
#include "snp/snp_link.h"

namespace tarnlight::snp {

namespace {

constexpr size_t kMaxCpuIdChars = 7;
constexpr size_t kMaxPasswordChars = 8;
constexpr uint16_t kMaxT1 = 255;

// The timer values travel split by 255, not 256, and come back the same way.
constexpr uint16_t kTimerRadix = 255;
constexpr uint16_t kDefaultAckWaitSteps = 40;
constexpr uint16_t kDefaultReplyWaitSteps = 100;

constexpr uint8_t kServiceTimers = 0x00;
constexpr uint8_t kServiceControllerType = 0x43;
constexpr uint8_t kServicePrivilege = 0x21;
constexpr uint8_t kServiceCompleteSetUp = 0x20;

// Controller type frame: family and model codes at bytes 10 and 11.
constexpr size_t kFamilyCodeOffset = 10;
constexpr size_t kModelCodeOffset = 11;

constexpr uint8_t kSeries9070 = 1;

}  // namespace

void SnpLink::SendLinkBreak() {
    port_.PurgePort();
    if (config_.breakFree) return;
    // Both pauses end early when the port is aborted (a closing program).
    port_.SetBreak();
    port_.Pause(BreakDurationMs(config_.baudRate));
    port_.ClearBreak();
    port_.PurgePort();
    port_.Pause(config_.T4);
}

bool SnpLink::Attach() {
    uint8_t frame[kAttachFrameSize] = {};
    frame[0] = kEsc;
    frame[1] = kTypeAttach;
    const size_t idLength = std::min(config_.CPU_ID.size(), kMaxCpuIdChars);
    std::copy_n(config_.CPU_ID.begin(), idLength, frame + kAttachIdOffset);
    const uint8_t t1 = static_cast<uint8_t>(std::min(context_.t1, kMaxT1));
    frame[kAttachT1Offset] = static_cast<uint8_t>(HexDigit(t1 >> 4));
    frame[kAttachT1Offset + 1] = static_cast<uint8_t>(HexDigit(t1 & 0x0F));
    constexpr char kFiller[] = "000   ";
    std::copy_n(kFiller, 6, frame + kAttachT1Offset + 2);
    frame[kAttachEtbOffset] = kEtb;
    SealHex(frame, kAttachFrameSize);

    // A block that did not go out shows up as a missing reply; failing at
    // once would let an unplugged adapter spin the attempts without a pause.
    port_.WritePort(frame, kAttachFrameSize);
    if (!WaitAttachReply()) return false;

    const uint8_t* reply = context_.receiveBuffer.data();
    // The controller's T1 replaces ours; characters that are not uppercase
    // hexadecimal digits give no value, so the T1 in force stays.
    const int high = HexValue(reply[kAttachT1Offset]);
    const int low = HexValue(reply[kAttachT1Offset + 1]);
    if (high >= 0 && low >= 0) context_.t1 = static_cast<uint16_t>(16 * high + low);

    const uint8_t* id = reply + kAttachIdOffset;
    const uint8_t* idEnd = std::find(id, id + kAttachIdSize, 0);
    context_.reportedCpuId.assign(id, idEnd);
    return true;
}

bool SnpLink::NegotiateTimers() {
    MailboxFrame request = MailboxRequestTemplate(kServiceTimers);
    request[15] = 0x3E;
    request[22] = static_cast<uint8_t>(context_.t2 % kTimerRadix);
    request[23] = static_cast<uint8_t>(context_.t2 / kTimerRadix);
    request[24] = static_cast<uint8_t>(context_.t3b % kTimerRadix);
    request[25] = static_cast<uint8_t>(context_.t3b / kTimerRadix);
    request[26] = 0xE8;
    request[27] = 0x03;
    request[28] = 0x01;
    request[29] = 0x00;
    // The timer reply carries no short status.
    if (!MailboxExchange(request, false) || RefusedReply()) return false;

    const uint8_t* reply = context_.receiveBuffer.data();
    context_.t2 = static_cast<uint16_t>(reply[23] * kTimerRadix + reply[22]);
    context_.t3b = static_cast<uint16_t>(reply[25] * kTimerRadix + reply[24]);
    const uint16_t ackSteps = context_.t2 / kWaitStepMs;
    const uint16_t replySteps = context_.t3b / kWaitStepMs;
    context_.ackWaitSteps = ackSteps != 0 ? ackSteps : kDefaultAckWaitSteps;
    context_.replyWaitSteps = replySteps != 0 ? replySteps : kDefaultReplyWaitSteps;
    return true;
}

bool SnpLink::ReadControllerType() {
    MailboxFrame request = MailboxRequestTemplate(kServiceControllerType);
    if (!MailboxExchange(request) || RefusedReply()) return false;
    // The type and ID come in one 48-byte frame, whatever the reply announced.
    if (!WaitFrame(kControllerTypeFrameSize)) return false;
    SendAck();
    const uint8_t familyCode = context_.receiveBuffer[kFamilyCodeOffset];
    const uint8_t modelCode = context_.receiveBuffer[kModelCodeOffset];
    // An unknown family code leaves family and model as they were.
    DecodeControllerType(familyCode, modelCode, context_.plcFamily, context_.plcModel);
    return true;
}

bool SnpLink::RequestPrivilege() {
    MailboxFrame request = MailboxRequestTemplate(kServicePrivilege);
    request[21] = 0x04;
    const size_t length = std::min(config_.cpuPassword.size(), kMaxPasswordChars);
    std::copy_n(config_.cpuPassword.begin(), length, request.begin() + 22);
    if (!MailboxExchange(request)) return false;
    // A wrong password leaves the link up at the level the controller
    // keeps; an error reply's bytes are no level, the next reply's status
    // carries it (CompleteLinkSetUp).
    if (TakeRefusal(Refusal::Privilege())) {
        privilegeRefused_ = true;
        return true;
    }
    context_.privilegeLevel = context_.receiveBuffer[kMbPrivilege];
    return true;
}

bool SnpLink::CompleteLinkSetUp() {
    MailboxFrame request = MailboxRequestTemplate(kServiceCompleteSetUp);
    request[21] = 0x02;
    if (context_.plcFamily == kSeries9070) request[31] = 0x30;
    if (!MailboxExchange(request) || RefusedReply()) return false;
    if (privilegeRefused_) context_.privilegeLevel = context_.receiveBuffer[kMbPrivilege];
    return true;
}

bool SnpLink::LinkSetUp(const std::function<void(SetUpStep)>& stepDone) {
    privilegeRefused_ = false;
    SendLinkBreak();
    const auto step = [&](bool ok, SetUpStep done) {
        if (ok && stepDone) stepDone(done);
        return ok;
    };
    return step(Attach(), SetUpStep::Attach) && step(NegotiateTimers(), SetUpStep::Timers) &&
           step(ReadControllerType(), SetUpStep::ControllerType) &&
           step(RequestPrivilege(), SetUpStep::Privilege) &&
           step(CompleteLinkSetUp(), SetUpStep::Complete);
}

}  // namespace tarnlight::snp
