#include "sim/plc_simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "settings/settings_directory.h"
#include "sim/sim_line.h"
#include "sim/sim_memory.h"
#include "snp/bcc.h"
#include "snp/frames.h"

namespace tarnlight::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace tarnlight::snp;

// How long the rest of a frame may take once its ESC has arrived.
constexpr int kFrameTimeoutMs = 500;
// The level every fresh link starts with, until a privilege request.
constexpr uint8_t kDefaultPrivilege = 1;
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

struct PlcSimulator::Impl {
    explicit Impl(SimConfig c) : config(std::move(c)), state(config.plcState) {
        sweepTime = config.sweepTime;
        if (config.textBufferData < 2) config.textBufferData = 2;
        config.textBufferData = std::min<size_t>(config.textBufferData & ~size_t{1},
                                                 kReceiveBufferSize - kTextFrameOverhead);
        if (config.ackWaitMs < 1) config.ackWaitMs = 1;
        line.SetStopFlag(&stopFlag);
        line.SetLineSpeed(config.lineBaud, config.parity);
        line.SetIdleHook([this] { LiveTick(); });
        memory.SetSize(config.bitMemory, config.wordMemory);
    }

    SimConfig config;
    SimMemory memory;
    SimLine line;
    std::string linkPath;
    std::thread thread;
    std::atomic<bool> stopFlag{false};
    std::atomic<uint8_t> state;
    std::atomic<uint16_t> sweepTime;

    std::atomic<bool> dead{false};
    std::atomic<bool> dropped{false};
    std::atomic<int> failAcks{0}, corruptBcc{0}, wrongSeq{0}, ignoreWrites{0};
    std::atomic<int> refuseWrites{0}, refuseRunStop{0};
    std::atomic<int> refuseServiceCode{-1}, refuseService{0};
    std::atomic<int> dropAfter{-1};

    mutable std::mutex mutex;  // guards the fields below
    SimStats stats;
    std::vector<Request> requests;
    std::vector<uint8_t> lastAttach, lastMailbox;

    EventSink sink = nullptr;
    void* sinkContext = nullptr;

    // Serving thread only.
    uint16_t activeT1 = 0;  // no pause until the first attach
    uint8_t granted = kDefaultPrivilege;
    Clock::time_point lastLiveTick = Clock::now();

    void Serve();
    void HandleAttach(const uint8_t* frame);
    void HandleMailbox(const uint8_t* frame);
    void HandleIntermediate(const uint8_t* frame);
    void CountServed();
    bool SendBlock(const uint8_t* bytes, size_t count);
    bool SendReply(uint8_t* frame, size_t count, bool hexCheck);
    bool WaitAck();
    void SendTextBuffers(const std::vector<uint8_t>& data);
    void Log(const uint8_t* frame);
    void Event(const std::string& text) {
        if (sink != nullptr) sink(sinkContext, text);
    }
    void AddStat(uint64_t SimStats::*field, uint64_t n = 1) {
        std::lock_guard lock(mutex);
        stats.*field += n;
    }
    void LiveTick() {
        if (!config.liveProcess) return;
        const auto now = Clock::now();
        if (now - lastLiveTick < std::chrono::milliseconds(100)) return;
        lastLiveTick = now;
        memory.AdvanceLiveProcess();
    }
};

void PlcSimulator::Impl::Serve() {
    uint8_t frame[kMailboxFrameSize];
    while (!stopFlag.load()) {
        if (!line.WaitInput(100)) continue;
        if (dead.load() || dropped.load()) {
            line.DiscardPending();
            continue;
        }
        uint8_t first = 0;
        line.Read(&first, 1, 0);
        if (first != kEsc) {
            AddStat(&SimStats::garbageBytes);
            continue;
        }
        const auto arrived = Clock::now();
        uint8_t type = 0;
        if (line.Read(&type, 1, kFrameTimeoutMs) != 1) {
            AddStat(&SimStats::garbageBytes);
            continue;
        }
        const size_t length = type == kTypeAttach ? kAttachFrameSize
                              : (type == kTypeMailbox || type == kTypeIntermediate)
                                  ? kMailboxFrameSize
                                  : 0;
        if (length == 0) {
            // Not a frame start; the type byte itself may be the next ESC.
            AddStat(&SimStats::garbageBytes);
            line.Unread(&type, 1);
            continue;
        }
        frame[0] = kEsc;
        frame[1] = type;
        const size_t got = line.Read(frame + 2, length - 2, kFrameTimeoutMs);
        if (got != length - 2) {
            AddStat(&SimStats::garbageBytes, 2 + got);
            continue;
        }
        // The frame is complete only when its last byte would have crossed the wire.
        if (!line.SleepUntil(arrived + line.WireTime(length - 1))) break;
        if (dead.load() || dropped.load()) continue;
        if (type == kTypeAttach) {
            if (!CheckHex(frame, length)) {
                AddStat(&SimStats::bccErrors);
                continue;
            }
            HandleAttach(frame);
        } else {
            if (!CheckRaw(frame, length)) {
                AddStat(&SimStats::bccErrors);
                continue;
            }
            if (type == kTypeMailbox) {
                HandleMailbox(frame);
            } else {
                HandleIntermediate(frame);
            }
        }
    }
}

void PlcSimulator::Impl::CountServed() {
    int v = dropAfter.load();
    while (v > 0) {
        if (dropAfter.compare_exchange_weak(v, v - 1)) {
            if (v == 1) {
                dropped.store(true);
                dropAfter.store(-1);
            }
            return;
        }
    }
}

void PlcSimulator::Impl::Log(const uint8_t* frame) {
    Request r{};
    r.frameType = frame[1];
    if (frame[1] != kTypeAttach) {
        r.serviceCode = frame[kMbServiceCode];
        std::memcpy(r.data.data(), frame + kMbData, r.data.size());
        r.sequence = frame[kMbSequence];
    }
    std::lock_guard lock(mutex);
    if (requests.size() >= kMaxLoggedRequests) {
        requests.erase(requests.begin(), requests.begin() + kMaxLoggedRequests / 2);
    }
    requests.push_back(r);
}

bool PlcSimulator::Impl::SendBlock(const uint8_t* bytes, size_t count) {
    if (activeT1 > 0 && !line.SleepMs(activeT1)) return false;
    return line.Write(bytes, count);
}

bool PlcSimulator::Impl::SendReply(uint8_t* frame, size_t count, bool hexCheck) {
    if (hexCheck) {
        SealHex(frame, count);
    } else {
        SealRaw(frame, count);
    }
    if (TakeOne(corruptBcc)) frame[count - 1] ^= 0x01;
    return SendBlock(frame, count);
}

bool PlcSimulator::Impl::WaitAck() {
    if (!line.WaitInput(config.ackWaitMs)) return false;
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

void PlcSimulator::Impl::HandleAttach(const uint8_t* frame) {
    {
        std::lock_guard lock(mutex);
        lastAttach.assign(frame, frame + kAttachFrameSize);
    }
    const char* idStart = reinterpret_cast<const char*>(frame + kAttachIdOffset);
    const std::string id(idStart, strnlen(idStart, kAttachIdSize));
    const std::string own = config.cpuId.substr(0, kAttachIdSize);
    if (!id.empty() && id != own) return;  // addressed to another controller on the line

    // A break cannot be seen on a pty, so every attach starts the link afresh.
    activeT1 = config.t1 > 255 ? 255 : config.t1;
    granted = kDefaultPrivilege;
    AddStat(&SimStats::attaches);
    Log(frame);
    CountServed();

    uint8_t reply[kAttachFrameSize] = {};
    reply[0] = kEsc;
    reply[1] = kTypeAttach;
    std::memcpy(reply + kAttachIdOffset, own.data(), own.size());
    reply[kAttachT1Offset] = static_cast<uint8_t>(HexDigit(static_cast<uint8_t>(activeT1 >> 4)));
    reply[kAttachT1Offset + 1] = static_cast<uint8_t>(HexDigit(activeT1 & 0x0F));
    std::memcpy(reply + 12, "000   ", 6);
    reply[kAttachEtbOffset] = kEtb;
    if (config.turnaroundMs > 0 && !line.SleepMs(config.turnaroundMs)) return;
    SendReply(reply, sizeof reply, true);
    Event("attach" + (id.empty() ? std::string() : " to ID \"" + id + "\""));
}

void PlcSimulator::Impl::HandleIntermediate(const uint8_t* frame) {
    AddStat(&SimStats::intermediates);
    {
        std::lock_guard lock(mutex);
        lastMailbox.assign(frame, frame + kMailboxFrameSize);
    }
    Log(frame);
    CountServed();
    if (TakeOne(failAcks)) return;
    if (config.turnaroundMs > 0 && !line.SleepMs(config.turnaroundMs)) return;
    const uint8_t ack[kAckSize] = {kAck, 0};
    if (!SendBlock(ack, sizeof ack)) return;
    MailboxFrame reply{};
    reply[0] = kEsc;
    reply[1] = kTypeIntermediate;
    reply[kMbEtb] = kEtb;
    if (!SendReply(reply.data(), reply.size(), false)) return;
    WaitAck();
}

void PlcSimulator::Impl::HandleMailbox(const uint8_t* frame) {
    AddStat(&SimStats::mailboxRequests);
    {
        std::lock_guard lock(mutex);
        lastMailbox.assign(frame, frame + kMailboxFrameSize);
    }
    Log(frame);
    CountServed();
    const uint8_t service = frame[kMbServiceCode];
    if (TakeOne(failAcks)) return;
    if (service == 0x07 && TakeOne(ignoreWrites)) return;

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

    const bool refused = service == refuseServiceCode.load() && TakeOne(refuseService);
    switch (refused ? -1 : service) {
        case -1:
            refuse(kErrorRefused, "service " + std::to_string(service));
            break;
        case 0x00:
            if (frame[14] == 0x10 && frame[15] == 0x3E) {  // timer exchange
                if (config.echoTimers) {
                    std::memcpy(reply.data() + kMbInlineData, frame + kMbInlineData, 4);
                } else {
                    reply[22] = static_cast<uint8_t>(config.t2Reply % 255);
                    reply[23] = static_cast<uint8_t>(config.t2Reply / 255);
                    reply[24] = static_cast<uint8_t>(config.t3bReply % 255);
                    reply[25] = static_cast<uint8_t>(config.t3bReply / 255);
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
            if (!config.password.empty() && password != config.password) {
                refuse(kErrorRefused, "privilege: wrong password");
                break;
            }
            granted = config.privilegeLevel;
            break;
        }
        case 0x04: {
            const uint16_t first = GetLe16(frame + 22);
            const uint16_t count = GetLe16(frame + 24);
            if (!memory.Read(frame[kMbData], first, count, data)) {
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
                    std::min(data.size(), config.textBufferData) + kTextFrameOverhead;
                PutLe16(reply.data() + kMbNextLength, static_cast<uint16_t>(firstLength));
            }
            break;
        }
        case 0x07: {
            int area = 0;
            bool isWord = false;
            const uint16_t index = GetLe16(frame + 22);
            const uint16_t length = GetLe16(frame + 24);
            if (TakeOne(refuseWrites)) {
                refuse(kErrorRefused, "write at index " + std::to_string(index));
            } else if (memory.Write(frame[kMbData], index, length, frame + 26, area, isWord)) {
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
            if (TakeOne(refuseRunStop)) {
                refuse(kErrorRefused, "run/stop");
                break;
            }
            const uint8_t next = frame[kMbData] & 0x0F;
            state.store(next);
            event = "run/stop: " + std::to_string(next) + " \"" + StateName(next) + "\"";
            break;
        }
        default:
            break;
    }

    // Short status: privilege, sweep time (only while running), state nibble.
    const uint8_t s = state.load();
    reply[kMbPrivilege] = granted;
    PutLe16(reply.data() + kMbSweepTime, (s == 0 || s == 1) ? sweepTime.load() : 0);
    reply[kMbStatusWord + 1] = static_cast<uint8_t>((s & 0x0F) << 4);
    reply[kMbSequence] = frame[kMbSequence];
    if (TakeOne(wrongSeq)) reply[kMbSequence] = static_cast<uint8_t>(frame[kMbSequence] + 1);

    if (!event.empty()) Event(event);
    if (config.turnaroundMs > 0 && !line.SleepMs(config.turnaroundMs)) return;
    const uint8_t ack[kAckSize] = {kAck, 0};
    if (!SendBlock(ack, sizeof ack)) return;
    if (!SendReply(reply.data(), reply.size(), false)) return;
    if (!WaitAck()) return;

    if (controllerType) {
        uint8_t tb[kControllerTypeFrameSize] = {};
        tb[0] = kEsc;
        tb[1] = kTypeText;
        const std::string id = config.cpuId.substr(0, kAttachIdSize);
        std::memcpy(tb + 2, id.data(), id.size());
        tb[10] = config.familyCode;
        tb[11] = config.modelCode;
        tb[kControllerTypeFrameSize - 6] = kEtb;
        SealRaw(tb, sizeof tb);
        if (SendBlock(tb, sizeof tb)) WaitAck();
    } else if (!data.empty()) {
        SendTextBuffers(data);
    }
}

void PlcSimulator::Impl::SendTextBuffers(const std::vector<uint8_t>& data) {
    const size_t per = config.textBufferData;
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
        if (!SendBlock(tb.data(), tb.size())) return;
        if (!WaitAck()) return;
    }
}

// ---------------------------------------------------------------------------

PlcSimulator::PlcSimulator(SimConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

PlcSimulator::~PlcSimulator() {
    Stop();
    impl_->line.Close();
    // Remove our device link, but only while it still points at our line.
    if (!impl_->linkPath.empty()) {
        char target[4096];
        const ssize_t n = readlink(impl_->linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == impl_->line.path()) {
            unlink(impl_->linkPath.c_str());
        }
    }
}

bool PlcSimulator::OpenPty() {
    if (impl_->thread.joinable()) return false;
    return impl_->line.OpenPty();
}

bool PlcSimulator::OpenDevice(const std::string& path, uint32_t baud) {
    if (impl_->thread.joinable()) return false;
    return impl_->line.OpenDevice(path, baud, impl_->config.parity);
}

const std::string& PlcSimulator::slavePath() const {
    return impl_->line.path();
}

const std::string& PlcSimulator::deviceLinkPath() const {
    return impl_->linkPath;
}

bool PlcSimulator::CreateDeviceLink(int comIndex) {
    if (comIndex < 0 || !impl_->line.isOpen()) return false;
    if (!EnsureSettingsDirectory()) return false;
    const std::string dir = SettingsDirectory() + "devices";
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    const std::string link = dir + "/COM" + std::to_string(comIndex + 1);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        // Replace an old link, never a real file someone put there.
        if (!S_ISLNK(st.st_mode)) return false;
        if (unlink(link.c_str()) != 0) return false;
    }
    if (symlink(impl_->line.path().c_str(), link.c_str()) != 0) return false;
    impl_->linkPath = link;
    return true;
}

bool PlcSimulator::Start() {
    if (impl_->thread.joinable()) return true;
    if (!impl_->line.isOpen()) return false;
    impl_->stopFlag.store(false);
    impl_->thread = std::thread([this] { impl_->Serve(); });
    return true;
}

void PlcSimulator::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopFlag.store(true);
    impl_->thread.join();
    impl_->stopFlag.store(false);
}

void PlcSimulator::SetBit(int area, uint16_t address, bool value) {
    impl_->memory.SetBit(area, address, value);
}
bool PlcSimulator::GetBit(int area, uint16_t address) const {
    return impl_->memory.GetBit(area, address);
}
void PlcSimulator::SetWord(int area, uint16_t address, uint16_t value) {
    impl_->memory.SetWord(area, address, value);
}
uint16_t PlcSimulator::GetWord(int area, uint16_t address) const {
    return impl_->memory.GetWord(area, address);
}
void PlcSimulator::SetPlcState(uint8_t state) {
    impl_->state.store(state & 0x0F);
}
uint8_t PlcSimulator::plcState() const {
    return impl_->state.load();
}
void PlcSimulator::SetSweepTime(uint16_t tenthsMs) {
    impl_->sweepTime.store(tenthsMs);
}

void PlcSimulator::SetDead(bool dead) {
    impl_->dead.store(dead);
}
void PlcSimulator::FailAcks(int count) {
    impl_->failAcks.store(std::max(count, 0));
}
void PlcSimulator::CorruptBcc(int count) {
    impl_->corruptBcc.store(std::max(count, 0));
}
void PlcSimulator::WrongSequence(int count) {
    impl_->wrongSeq.store(std::max(count, 0));
}
void PlcSimulator::IgnoreWrites(int count) {
    impl_->ignoreWrites.store(std::max(count, 0));
}
void PlcSimulator::RefuseWrites(int count) {
    impl_->refuseWrites.store(std::max(count, 0));
}
void PlcSimulator::RefuseService(uint8_t serviceCode, int count) {
    impl_->refuseServiceCode.store(serviceCode);
    impl_->refuseService.store(std::max(count, 0));
}

void PlcSimulator::RefuseRunStop(int count) {
    impl_->refuseRunStop.store(std::max(count, 0));
}
void PlcSimulator::SetMemorySize(uint32_t bits, uint32_t words) {
    impl_->memory.SetSize(bits, words);
}
void PlcSimulator::DropLineAfter(int exchanges) {
    if (exchanges < 0) {
        impl_->dropAfter.store(-1);
    } else if (exchanges == 0) {
        impl_->dropAfter.store(-1);
        impl_->dropped.store(true);
    } else {
        impl_->dropAfter.store(exchanges);
    }
}
void PlcSimulator::RestoreLine() {
    impl_->dropAfter.store(-1);
    impl_->dropped.store(false);
}

SimStats PlcSimulator::stats() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->stats;
}

std::vector<PlcSimulator::Request> PlcSimulator::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

void PlcSimulator::ClearRequests() {
    std::lock_guard lock(impl_->mutex);
    impl_->requests.clear();
}

std::vector<uint8_t> PlcSimulator::lastAttachRequest() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lastAttach;
}

std::vector<uint8_t> PlcSimulator::lastMailboxRequest() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lastMailbox;
}

void PlcSimulator::SetEventSink(EventSink sink, void* context) {
    impl_->sink = sink;
    impl_->sinkContext = context;
}

}  // namespace tarnlight::sim
