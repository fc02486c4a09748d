#include "sim/sim_station.h"

#include <algorithm>
#include <cstring>

#include "sim/sim_line.h"
#include "snp/bcc.h"
#include "snp/frames.h"

namespace tarnlight::sim {

namespace {

using namespace tarnlight::snp;

// How long the rest of an acknowledgement may take once its first byte has arrived.
constexpr int kFrameTimeoutMs = 500;
constexpr size_t kMaxLoggedRequests = 100000;

const char* StateName(uint8_t state) {
    static const char* const kNames[] = {
        "Run, I/O Enabled", "Run, I/O Disabled", "Stop, I/O Disabled", "CPU Stop Faulted",
        "CPU Halted",       "CPU Suspended",     "Stop, I/O Enabled"};
    return state < 7 ? kNames[state] : "unknown";
}

// Takes one from a fault counter if it is positive.
bool TakeOne(std::atomic<int>& counter) {
    int v = counter.load();
    while (v > 0) {
        if (counter.compare_exchange_weak(v, v - 1)) return true;
    }
    return false;
}

}  // namespace

SimStation::SimStation(SimConfig config)
    : config_(std::move(config)), state_(config_.plcState), sweepTime_(config_.sweepTime) {
    if (config_.textBufferData < 2) config_.textBufferData = 2;
    config_.textBufferData = std::min<size_t>(config_.textBufferData & ~size_t{1},
                                              kReceiveBufferSize - kTextFrameOverhead);
    if (config_.ackWaitMs < 1) config_.ackWaitMs = 1;
    memory_.SetSize(config_.bitMemory, config_.wordMemory);
}

void SimStation::AddStat(uint64_t SimStats::*field, uint64_t n) {
    std::lock_guard lock(mutex_);
    stats_.*field += n;
}

void SimStation::LiveTick() {
    if (!config_.liveProcess) return;
    const auto now = Clock::now();
    if (now - lastLiveTick_ < std::chrono::milliseconds(100)) return;
    lastLiveTick_ = now;
    memory_.AdvanceLiveProcess();
}

void SimStation::CountServed() {
    int v = dropAfter_.load();
    while (v > 0) {
        if (dropAfter_.compare_exchange_weak(v, v - 1)) {
            if (v == 1) {
                dropped_.store(true);
                dropAfter_.store(-1);
            }
            return;
        }
    }
}

void SimStation::Log(const uint8_t* frame) {
    SimRequest r{};
    r.frameType = frame[1];
    if (frame[1] != kTypeAttach) {
        r.serviceCode = frame[kMbServiceCode];
        std::memcpy(r.data.data(), frame + kMbData, r.data.size());
        r.sequence = frame[kMbSequence];
    }
    std::lock_guard lock(mutex_);
    if (requests_.size() >= kMaxLoggedRequests) {
        requests_.erase(requests_.begin(), requests_.begin() + kMaxLoggedRequests / 2);
    }
    requests_.push_back(r);
}

bool SimStation::SendBlock(SimLine& line, const uint8_t* bytes, size_t count) {
    if (activeT1_ > 0 && !line.SleepMs(activeT1_)) return false;
    return line.Write(bytes, count);
}

bool SimStation::SendReply(SimLine& line, uint8_t* frame, size_t count, bool hexCheck) {
    if (hexCheck) {
        SealHex(frame, count);
    } else {
        SealRaw(frame, count);
    }
    if (TakeOne(corruptBcc_)) frame[count - 1] ^= 0x01;
    return SendBlock(line, frame, count);
}

bool SimStation::WaitAck(SimLine& line) {
    if (!line.WaitInput(config_.ackWaitMs)) return false;
    const auto arrived = Clock::now();
    uint8_t ack[kAckSize] = {};
    const size_t got = line.Read(ack, kAckSize, kFrameTimeoutMs);
    if (got == kAckSize && ack[0] == kAck) {
        if (!line.SleepUntil(arrived + line.WireTime(kAckSize - 1))) return false;
        AddStat(&SimStats::acksReceived);
        return true;
    }
    // Something else came instead (a new request after the master gave up):
    // hand it back to the frame parser.
    if (got > 0 && ack[0] != kAck) line.Unread(ack, got);
    return false;
}

void SimStation::SeeAttach(const uint8_t* frame) {
    std::lock_guard lock(mutex_);
    lastAttach_.assign(frame, frame + kAttachFrameSize);
}

void SimStation::Attach(SimLine& line, const uint8_t* frame, const std::string& id) {
    // A break cannot be seen on a pty, so every attach starts the link afresh.
    activeT1_ = config_.t1 > 255 ? 255 : config_.t1;
    granted_ = kFreshLinkPrivilege;
    AddStat(&SimStats::attaches);
    Log(frame);
    CountServed();

    const std::string own = config_.cpuId.substr(0, kAttachIdSize);
    uint8_t reply[kAttachFrameSize] = {};
    reply[0] = kEsc;
    reply[1] = kTypeAttach;
    std::memcpy(reply + kAttachIdOffset, own.data(), own.size());
    reply[kAttachT1Offset] = static_cast<uint8_t>(HexDigit(static_cast<uint8_t>(activeT1_ >> 4)));
    reply[kAttachT1Offset + 1] = static_cast<uint8_t>(HexDigit(activeT1_ & 0x0F));
    std::memcpy(reply + 12, "000   ", 6);
    reply[kAttachEtbOffset] = kEtb;
    if (config_.turnaroundMs > 0 && !line.SleepMs(config_.turnaroundMs)) return;
    SendReply(line, reply, sizeof reply, true);
    Event("attach" + (id.empty() ? std::string() : " to ID \"" + id + "\""));
}

void SimStation::HandleIntermediate(SimLine& line, const uint8_t* frame) {
    AddStat(&SimStats::intermediates);
    {
        std::lock_guard lock(mutex_);
        lastMailbox_.assign(frame, frame + kMailboxFrameSize);
    }
    Log(frame);
    CountServed();
    if (TakeOne(failAcks_)) return;
    if (config_.turnaroundMs > 0 && !line.SleepMs(config_.turnaroundMs)) return;
    const uint8_t ack[kAckSize] = {kAck, 0};
    if (!SendBlock(line, ack, sizeof ack)) return;
    MailboxFrame reply{};
    reply[0] = kEsc;
    reply[1] = kTypeIntermediate;
    reply[kMbEtb] = kEtb;
    if (!SendReply(line, reply.data(), reply.size(), false)) return;
    WaitAck(line);
}

void SimStation::HandleMailbox(SimLine& line, const uint8_t* frame) {
    AddStat(&SimStats::mailboxRequests);
    {
        std::lock_guard lock(mutex_);
        lastMailbox_.assign(frame, frame + kMailboxFrameSize);
    }
    Log(frame);
    CountServed();
    const uint8_t service = frame[kMbServiceCode];
    if (TakeOne(failAcks_)) return;
    if (service == 0x07 && TakeOne(ignoreWrites_)) return;

    MailboxFrame reply{};
    reply[0] = kEsc;
    reply[1] = kTypeMailbox;
    reply[kMbKind] = kKindInlineReply;
    reply[kMbEtb] = kEtb;
    std::vector<uint8_t> data;  // read data for text buffers
    bool controllerType = false;
    std::string event;
    const auto refuse = [&](SimErrorCodes codes, const std::string& what) {
        reply[kMbKind] = kKindErrorReply;
        reply[kMbErrorMajor] = codes.major;
        reply[kMbErrorMinor] = codes.minor;
        event = "refused " + what;
    };

    const bool refused = service == refuseServiceCode_.load() && TakeOne(refuseService_);
    switch (refused ? -1 : service) {
        case -1:
            refuse(kErrorRefused, "service " + std::to_string(service));
            break;
        case 0x00:
            if (frame[14] == 0x10 && frame[15] == 0x3E) {  // timer exchange
                if (config_.echoTimers) {
                    std::memcpy(reply.data() + kMbInlineData, frame + kMbInlineData, 4);
                } else {
                    reply[22] = static_cast<uint8_t>(config_.t2Reply % 255);
                    reply[23] = static_cast<uint8_t>(config_.t2Reply / 255);
                    reply[24] = static_cast<uint8_t>(config_.t3bReply % 255);
                    reply[25] = static_cast<uint8_t>(config_.t3bReply / 255);
                }
            }
            break;
        case 0x43:  // controller type and ID: a 48-byte text buffer follows
            controllerType = true;
            reply[kMbKind] = kKindTextReply;
            reply[kMbNextType] = kTypeText;
            PutLe16(reply.data() + kMbNextLength, kControllerTypeFrameSize);
            break;
        case 0x21: {
            const char* sent = reinterpret_cast<const char*>(frame + 22);
            const std::string password(sent, ::strnlen(sent, 8));
            if (!config_.password.empty() && password != config_.password) {
                refuse(kErrorRefused, "privilege: wrong password");
                break;
            }
            granted_ = config_.privilegeLevel;
            break;
        }
        case 0x04: {
            const uint16_t first = GetLe16(frame + 22);
            const uint16_t count = GetLe16(frame + 24);
            if (!memory_.Read(frame[kMbData], first, count, data)) {
                data.clear();
                refuse(kErrorNoSuchMemory,
                       "read of " + std::to_string(count) + " from index " + std::to_string(first));
            } else if (data.size() <= kMaxInlineDataBytes) {
                std::copy(data.begin(), data.end(), reply.begin() + kMbInlineData);
                data.clear();
            } else {
                reply[kMbKind] = kKindTextReply;
                reply[kMbNextType] = kTypeText;
                const size_t firstLength =
                    std::min(data.size(), config_.textBufferData) + kTextFrameOverhead;
                PutLe16(reply.data() + kMbNextLength, static_cast<uint16_t>(firstLength));
            }
            break;
        }
        case 0x07: {
            int area = 0;
            bool isWord = false;
            const uint16_t index = GetLe16(frame + 22);
            const uint16_t length = GetLe16(frame + 24);
            if (TakeOne(refuseWrites_)) {
                refuse(kErrorRefused, "write at index " + std::to_string(index));
            } else if (memory_.Write(frame[kMbData], index, length, frame + 26, area, isWord)) {
                AddStat(&SimStats::writes);
                event = std::string("write ") + AreaName(area, isWord) + std::to_string(index + 1) +
                        " =";
                for (uint16_t i = 0; i < (isWord ? length : 1); ++i)
                    event += " " + std::to_string(isWord ? GetLe16(frame + 26 + 2 * i)
                                                         : (frame[26] != 0 ? 1u : 0u));
            } else {
                refuse(kErrorNoSuchMemory, "write at index " + std::to_string(index));
            }
            break;
        }
        case 0x23: {
            if (TakeOne(refuseRunStop_)) {
                refuse(kErrorRefused, "run/stop");
                break;
            }
            const uint8_t next = frame[kMbData] & 0x0F;
            state_.store(next);
            event = "run/stop: " + std::to_string(next) + " \"" + StateName(next) + "\"";
            break;
        }
        default:
            break;
    }

    // Short status: privilege, sweep time (only while running), state nibble.
    const uint8_t s = state_.load();
    reply[kMbPrivilege] = granted_;
    PutLe16(reply.data() + kMbSweepTime, (s == 0 || s == 1) ? sweepTime_.load() : 0);
    reply[kMbStatusWord + 1] = static_cast<uint8_t>((s & 0x0F) << 4);
    reply[kMbSequence] = frame[kMbSequence];
    if (TakeOne(wrongSeq_)) reply[kMbSequence] = static_cast<uint8_t>(frame[kMbSequence] + 1);

    if (!event.empty()) Event(event);
    if (config_.turnaroundMs > 0 && !line.SleepMs(config_.turnaroundMs)) return;
    const uint8_t ack[kAckSize] = {kAck, 0};
    if (!SendBlock(line, ack, sizeof ack)) return;
    if (!SendReply(line, reply.data(), reply.size(), false)) return;
    if (!WaitAck(line)) return;

    if (controllerType) {
        uint8_t tb[kControllerTypeFrameSize] = {};
        tb[0] = kEsc;
        tb[1] = kTypeText;
        const std::string id = config_.cpuId.substr(0, kAttachIdSize);
        std::memcpy(tb + 2, id.data(), id.size());
        tb[10] = config_.familyCode;
        tb[11] = config_.modelCode;
        tb[kControllerTypeFrameSize - 6] = kEtb;
        SealRaw(tb, sizeof tb);
        if (SendBlock(line, tb, sizeof tb)) WaitAck(line);
    } else if (!data.empty()) {
        SendTextBuffers(line, data);
    }
}

void SimStation::SendTextBuffers(SimLine& line, const std::vector<uint8_t>& data) {
    const size_t per = config_.textBufferData;
    std::vector<uint8_t> tb;
    for (size_t at = 0; at < data.size(); at += per) {
        const size_t n = std::min(per, data.size() - at);
        const size_t rest = data.size() - at - n;
        tb.assign(n + kTextFrameOverhead, 0);
        tb[0] = kEsc;
        tb[1] = kTypeText;
        std::memcpy(tb.data() + 2, data.data() + at, n);
        const size_t end = tb.size();
        tb[end - 6] = kEtb;
        if (rest > 0) {
            tb[end - 5] = kTypeText;
            PutLe16(tb.data() + end - 4,
                    static_cast<uint16_t>(std::min(rest, per) + kTextFrameOverhead));
        }
        SealRaw(tb.data(), tb.size());
        if (!SendBlock(line, tb.data(), tb.size())) return;
        if (!WaitAck(line)) return;
    }
}

void SimStation::RefuseService(uint8_t serviceCode, int count) {
    refuseServiceCode_.store(serviceCode);
    Arm(refuseService_, count);
}

void SimStation::DropLineAfter(int exchanges) {
    if (exchanges < 0) {
        dropAfter_.store(-1);
    } else if (exchanges == 0) {
        dropAfter_.store(-1);
        dropped_.store(true);
    } else {
        dropAfter_.store(exchanges);
    }
}

void SimStation::RestoreLine() {
    dropAfter_.store(-1);
    dropped_.store(false);
}

SimStats SimStation::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

std::vector<SimRequest> SimStation::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void SimStation::ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

std::vector<uint8_t> SimStation::lastAttachRequest() const {
    std::lock_guard lock(mutex_);
    return lastAttach_;
}

std::vector<uint8_t> SimStation::lastMailboxRequest() const {
    std::lock_guard lock(mutex_);
    return lastMailbox_;
}

}  // namespace tarnlight::sim
