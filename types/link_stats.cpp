#include "types/link_stats.h"

#include <chrono>

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
    lastReadMs_.store(0);
    std::lock_guard<std::mutex> lock(textMutex_);
    lastMessage_.clear();
    databaseTls_.clear();
}

void LinkStats::ResetCounters() {
    ForEachCounter([](const char*, std::atomic<uint64_t>& counter) { counter.store(0); }, counters);
    counters.cycle_ms_min.store(0);
    counters.cycle_ms_total.store(0);
}

void LinkStats::SetState(LinkState state) {
    if (state == LinkState::Online && state_.load() != LinkState::Online)
        onlineSinceMs_.store(NowMs());
    state_.store(state);
}

void LinkStats::MarkValuesRead() {
    lastReadMs_.store(NowMs());
}

void LinkStats::CountCycle(uint64_t durationMs) {
    // Only the worker counts cycles: the reads and stores need no exchange.
    const bool first = counters.cycles.load() == 0;
    counters.cycle_ms_last.store(durationMs);
    if (durationMs > counters.cycle_ms_max.load()) counters.cycle_ms_max.store(durationMs);
    if (first || durationMs < counters.cycle_ms_min.load()) counters.cycle_ms_min.store(durationMs);
    counters.cycle_ms_total.fetch_add(durationMs);
    ++counters.cycles;
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
    snapshot.lastReadMs = lastReadMs_.load();
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
