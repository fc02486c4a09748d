#include "types/link_stats.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace tarnlight {

const char* LinkStateName(LinkState state) {
    switch (state) {
        case LinkState::Connecting:
            return "Connecting";
        case LinkState::Online:
            return "Online";
        case LinkState::Offline:
            break;
    }
    return "Offline";
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void LinkStats::Clear() {
    ResetCounters();
    state_.store(LinkState::Offline);
    onlineSinceMs_.store(0);
    roundBeganMs_.store(0);
    for (AreaReads& area : areas_) {
        area.enabled.store(false);
        area.scanMs.store(0);
        area.lastReadMs.store(0);
        area.readMsLast.store(0);
        area.storedReadMs.store(0);
        area.storedReadMsLast.store(0);
    }
    std::lock_guard<std::mutex> lock(textMutex_);
    lastMessage_.clear();
    databaseTls_.clear();
}

void LinkStats::ResetCounters() {
    ForEachCounter([](const char*, std::atomic<uint64_t>& counter) { counter.store(0); }, counters);
    counters.cycle_ms_min.store(0);
    counters.cycle_ms_total.store(0);
    for (AreaReads& area : areas_) {
        area.reads.store(0);
        area.storedReads.store(0);
    }
}

void LinkStats::SetState(LinkState state) {
    if (state == LinkState::Online && state_.load() != LinkState::Online) {
        onlineSinceMs_.store(NowMs());
        roundBeganMs_.store(NowMs());
    }
    state_.store(state);
}

void LinkStats::SetAreas(const std::array<bool, kAreaCount>& enabled,
                         const std::array<uint32_t, kAreaCount>& scanMs) {
    for (int type = 0; type < kAreaCount; ++type) {
        areas_[type].enabled.store(enabled[type]);
        areas_[type].scanMs.store(scanMs[type]);
    }
}

void LinkStats::MarkAreaRead(int type, int64_t atMs, uint64_t durationMs) {
    if (type < 0 || type >= kAreaCount) return;
    AreaReads& area = areas_[type];
    area.readMsLast.store(durationMs);
    area.lastReadMs.store(atMs);
    ++area.reads;
}

void LinkStats::MarkAreaStored(int type, int64_t atMs, uint64_t durationMs) {
    if (type < 0 || type >= kAreaCount) return;
    AreaReads& area = areas_[type];
    area.storedReadMsLast.store(durationMs);
    area.storedReadMs.store(atMs);
    ++area.storedReads;
}

void LinkStats::CountCycle(uint64_t durationMs) {
    // Only the worker counts cycles: the reads and stores need no exchange.
    const bool first = counters.cycles.load() == 0;
    counters.cycle_ms_last.store(durationMs);
    if (durationMs > counters.cycle_ms_max.load()) counters.cycle_ms_max.store(durationMs);
    if (first || durationMs < counters.cycle_ms_min.load()) counters.cycle_ms_min.store(durationMs);
    counters.cycle_ms_total.fetch_add(durationMs);
    ++counters.cycles;
    roundBeganMs_.store(NowMs());
}

void LinkStats::SetLastMessage(const std::string& text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    lastMessage_ = text;
}

void LinkStats::SetDatabaseTls(const std::string& text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    databaseTls_ = text;
}

LinkStatsSnapshot LinkStats::Snapshot() const {
    LinkStatsSnapshot snapshot;
    snapshot.state = state_.load();
    snapshot.onlineSinceMs = onlineSinceMs_.load();
    snapshot.roundBeganMs = roundBeganMs_.load();
    bool anyEnabled = false;
    bool allRead = true;
    bool allStored = true;
    int64_t oldest = INT64_MAX;
    int64_t oldestStored = INT64_MAX;
    for (int type = 0; type < kAreaCount; ++type) {
        const AreaReads& from = areas_[type];
        AreaReadFigures& area = snapshot.areas[type];
        area.enabled = from.enabled.load();
        area.scanMs = from.scanMs.load();
        area.lastReadMs = from.lastReadMs.load();
        area.reads = from.reads.load();
        area.readMsLast = from.readMsLast.load();
        area.storedReadMs = from.storedReadMs.load();
        area.storedReads = from.storedReads.load();
        area.storedReadMsLast = from.storedReadMsLast.load();
        if (!area.enabled) continue;
        anyEnabled = true;
        allRead = allRead && area.lastReadMs != 0;
        oldest = std::min(oldest, area.lastReadMs);
        allStored = allStored && area.storedReadMs != 0;
        oldestStored = std::min(oldestStored, area.storedReadMs);
    }
    snapshot.lastReadMs = anyEnabled && allRead ? oldest : 0;
    snapshot.lastStoredReadMs = anyEnabled && allStored ? oldestStored : 0;
    // The list's counters, then the two the list leaves out.
    CounterValues& values = snapshot.counters;
    ForEachCounter([](const char*, uint64_t& value,
                      const std::atomic<uint64_t>& counter) { value = counter.load(); },
                   values, counters);
    values.cycle_ms_min = counters.cycle_ms_min.load();
    values.cycle_ms_total = counters.cycle_ms_total.load();
    std::lock_guard<std::mutex> lock(textMutex_);
    snapshot.lastMessage = lastMessage_;
    snapshot.databaseTls = databaseTls_;
    return snapshot;
}

std::string StatsLine(const LinkStatsSnapshot& stats) {
    std::string line = "stats:";
    ForEachCounter(
        [&](const char* name, uint64_t value) {
            line += ' ';
            line += name;
            line += '=';
            line += std::to_string(value);
        },
        stats.counters);
    line += " link_state=";
    line += LinkStateName(stats.state);
    return line;
}

}  // namespace tarnlight
