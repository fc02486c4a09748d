#include "sim/plc_simulator.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "settings/settings_directory.h"
#include "sim/sim_line.h"
#include "snp/bcc.h"
#include "snp/frames.h"

namespace tarnlight::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace tarnlight::snp;

// How long the rest of a frame may take once its ESC has arrived.
constexpr int kFrameTimeoutMs = 500;

std::string AttachId(const uint8_t* frame) {
    const char* start = reinterpret_cast<const char*>(frame + kAttachIdOffset);
    return std::string(start, strnlen(start, kAttachIdSize));
}

}  // namespace

// The line: reads frames and hands each to the station it is meant for. One
// thread serves every station, so one station answers at a time, as on a
// real multidrop pair.
struct PlcSimulator::Impl {
    explicit Impl(SimConfig c) {
        line.SetStopFlag(&stopFlag);
        line.SetLineSpeed(c.lineBaud, c.parity);
        line.SetIdleHook([this] {
            for (auto& s : stations) s->LiveTick();
        });
        stations.push_back(std::make_unique<SimStation>(std::move(c)));
    }

    std::vector<std::unique_ptr<SimStation>> stations;  // fixed while serving
    SimLine line;
    std::string linkPath;
    std::thread thread;
    std::atomic<bool> stopFlag{false};
    // The station the last attach selected; -1 none. Always 0 with one
    // station, which answers without an attach as it always did.
    std::atomic<int> attached{0};

    EventSink sink = nullptr;
    void* sinkContext = nullptr;

    bool several() const { return stations.size() > 1; }
    SimStation& Current() { return *stations[std::max(attached.load(), 0)]; }
    bool AllSilent() const {
        return std::all_of(stations.begin(), stations.end(),
                           [](const auto& s) { return s->silent(); });
    }
    void Serve();
    void DispatchAttach(const uint8_t* frame);
    void Break();
    void ConnectEvents();
};

void PlcSimulator::Impl::ConnectEvents() {
    for (auto& s : stations) {
        const std::string prefix = several() ? s->cpuId() + ": " : std::string();
        s->SetEventSink([this, prefix](const std::string& text) {
            if (sink != nullptr) sink(sinkContext, prefix + text);
        });
    }
}

// A break resets every controller's SNP port to wait for an attach.
void PlcSimulator::Impl::Break() {
    for (auto& s : stations) s->Detach();
    if (several()) attached.store(-1);
}

void PlcSimulator::Impl::DispatchAttach(const uint8_t* frame) {
    const std::string id = AttachId(frame);
    int target = -1;
    for (size_t i = 0; i < stations.size(); ++i) {
        SimStation& s = *stations[i];
        s.SeeAttach(frame);
        const bool named = id == s.cpuId().substr(0, kAttachIdSize);
        if (named || (!several() && id.empty())) target = static_cast<int>(i);
    }
    if (several()) {
        // Every controller not named drops its link, as after a break.
        for (size_t i = 0; i < stations.size(); ++i) {
            if (static_cast<int>(i) != target) stations[i]->Detach();
        }
        attached.store(target);
    }
    if (target >= 0 && !stations[target]->silent()) {
        stations[target]->Attach(line, frame, id);
    }
}

void PlcSimulator::Impl::Serve() {
    uint8_t frame[kMailboxFrameSize];
    while (!stopFlag.load()) {
        if (line.TakeBreak()) Break();
        if (!line.WaitInput(100)) continue;
        if (AllSilent()) {
            line.DiscardPending();
            continue;
        }
        uint8_t first = 0;
        line.Read(&first, 1, 0);
        if (first != kEsc) {
            Current().AddStat(&SimStats::garbageBytes);
            continue;
        }
        const auto arrived = Clock::now();
        uint8_t type = 0;
        if (line.Read(&type, 1, kFrameTimeoutMs) != 1) {
            Current().AddStat(&SimStats::garbageBytes);
            continue;
        }
        const size_t length = type == kTypeAttach ? kAttachFrameSize
                              : (type == kTypeMailbox || type == kTypeIntermediate)
                                  ? kMailboxFrameSize
                                  : 0;
        if (length == 0) {
            // Not a frame start; the type byte itself may be the next ESC.
            Current().AddStat(&SimStats::garbageBytes);
            line.Unread(&type, 1);
            continue;
        }
        frame[0] = kEsc;
        frame[1] = type;
        const size_t got = line.Read(frame + 2, length - 2, kFrameTimeoutMs);
        if (got != length - 2) {
            Current().AddStat(&SimStats::garbageBytes, 2 + got);
            continue;
        }
        // The frame is complete only when its last byte would have crossed the wire.
        if (!line.SleepUntil(arrived + line.WireTime(length - 1))) break;
        if (type == kTypeAttach) {
            if (AllSilent()) continue;
            if (!CheckHex(frame, length)) {
                Current().AddStat(&SimStats::bccErrors);
                continue;
            }
            DispatchAttach(frame);
            continue;
        }
        // Mailbox and intermediate frames go to the attached station only.
        if (attached.load() < 0) continue;
        SimStation& station = Current();
        if (station.silent()) continue;
        if (!CheckRaw(frame, length)) {
            station.AddStat(&SimStats::bccErrors);
            continue;
        }
        if (type == kTypeMailbox) {
            station.HandleMailbox(line, frame);
        } else {
            station.HandleIntermediate(line, frame);
        }
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
    return impl_->line.OpenDevice(path, baud, impl_->stations[0]->config().parity);
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
    impl_->ConnectEvents();
    impl_->thread = std::thread([this] { impl_->Serve(); });
    return true;
}

void PlcSimulator::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopFlag.store(true);
    impl_->thread.join();
    impl_->stopFlag.store(false);
}

int PlcSimulator::AddStation(SimConfig config) {
    if (impl_->thread.joinable() || config.cpuId.empty()) return -1;
    if (impl_->stations[0]->cpuId().empty() || FindStation(config.cpuId) >= 0) return -1;
    impl_->stations.push_back(std::make_unique<SimStation>(std::move(config)));
    // From now on a station answers only after an attach that names it.
    impl_->attached.store(-1);
    return static_cast<int>(impl_->stations.size()) - 1;
}

int PlcSimulator::stationCount() const {
    return static_cast<int>(impl_->stations.size());
}

int PlcSimulator::FindStation(const std::string& cpuId) const {
    const std::string id = cpuId.substr(0, kAttachIdSize);
    for (size_t i = 0; i < impl_->stations.size(); ++i) {
        if (impl_->stations[i]->cpuId().substr(0, kAttachIdSize) == id) return static_cast<int>(i);
    }
    return -1;
}

SimStation& PlcSimulator::station(int index) {
    return *impl_->stations.at(static_cast<size_t>(index));
}

const SimStation& PlcSimulator::station(int index) const {
    return *impl_->stations.at(static_cast<size_t>(index));
}

int PlcSimulator::attachedStation() const {
    return impl_->attached.load();
}

void PlcSimulator::SetBit(int area, uint16_t address, bool value) {
    station(0).SetBit(area, address, value);
}
bool PlcSimulator::GetBit(int area, uint16_t address) const {
    return station(0).GetBit(area, address);
}
void PlcSimulator::SetWord(int area, uint16_t address, uint16_t value) {
    station(0).SetWord(area, address, value);
}
uint16_t PlcSimulator::GetWord(int area, uint16_t address) const {
    return station(0).GetWord(area, address);
}
void PlcSimulator::SetPlcState(uint8_t state) {
    station(0).SetPlcState(state);
}
uint8_t PlcSimulator::plcState() const {
    return station(0).plcState();
}
void PlcSimulator::SetSweepTime(uint16_t tenthsMs) {
    station(0).SetSweepTime(tenthsMs);
}
void PlcSimulator::SetMemorySize(uint32_t bits, uint32_t words) {
    station(0).SetMemorySize(bits, words);
}
void PlcSimulator::SetDead(bool dead) {
    station(0).SetDead(dead);
}
void PlcSimulator::FailAcks(int count) {
    station(0).FailAcks(count);
}
void PlcSimulator::CorruptBcc(int count) {
    station(0).CorruptBcc(count);
}
void PlcSimulator::WrongSequence(int count) {
    station(0).WrongSequence(count);
}
void PlcSimulator::IgnoreWrites(int count) {
    station(0).IgnoreWrites(count);
}
void PlcSimulator::RefuseWrites(int count) {
    station(0).RefuseWrites(count);
}
void PlcSimulator::RefuseRunStop(int count) {
    station(0).RefuseRunStop(count);
}
void PlcSimulator::RefuseService(uint8_t serviceCode, int count) {
    station(0).RefuseService(serviceCode, count);
}
void PlcSimulator::DropLineAfter(int exchanges) {
    station(0).DropLineAfter(exchanges);
}
void PlcSimulator::RestoreLine() {
    station(0).RestoreLine();
}
SimStats PlcSimulator::stats() const {
    return station(0).stats();
}
std::vector<PlcSimulator::Request> PlcSimulator::requests() const {
    return station(0).requests();
}
void PlcSimulator::ClearRequests() {
    station(0).ClearRequests();
}
std::vector<uint8_t> PlcSimulator::lastAttachRequest() const {
    return station(0).lastAttachRequest();
}
std::vector<uint8_t> PlcSimulator::lastMailboxRequest() const {
    return station(0).lastMailboxRequest();
}

void PlcSimulator::SetEventSink(EventSink sink, void* context) {
    impl_->sink = sink;
    impl_->sinkContext = context;
}

}  // namespace tarnlight::sim
