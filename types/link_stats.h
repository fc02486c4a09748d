#pragma once
// The health of the current connection: its state, when it came up and last
// read the controller, the last message shown, and the counters that tell why
// a link fails. The worker writes them as things happen; the window, the
// gateway and the link_stats table read them at any time. The counters are
// atomics, so a reader never waits for the worker; the texts sit behind a
// mutex that is held only to copy them.
//
// The counters' names are the same in the code, in the columns of link_stats
// and in the gateway's "stats:" lines; ForEachCounter lists them once.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "types/link_config.h"

namespace tarnlight {

enum class LinkState : uint8_t { Offline, Connecting, Online };

// "Offline", "Connecting", "Online".
const char* LinkStateName(LinkState state);

template <class Value>
struct CounterSet {
    Value cycles{};           // rounds of the full cycle completed (see RequestSchedule)
    Value cycle_ms_last{};    // duration of the last round
    Value cycle_ms_max{};     // and of the longest one
    Value requests{};         // mailbox exchanges started
    Value no_ack{};           // acknowledgements that did not come
    Value reply_timeouts{};   // replies that did not arrive complete in time
    Value bad_bcc{};          // complete frames with a wrong block check code
    Value wrong_sequence{};   // replies with a wrong sequence number
    Value refused{};          // error replies
    Value links_lost{};       // each E21
    Value attach_attempts{};  // connection attempts
    Value db_written{};       // database requests written (flag back to 0)
    Value db_rejected{};      // given flag 2
    Value db_refused{};       // given flag 3
    // The history's journal, set by its writer: rows and bytes on disk and
    // queued, rows not yet in tag_history, rows the server refused (set
    // aside), rows not journalled because it was full.
    Value journal_rows{};
    Value journal_bytes{};
    Value history_waiting{};
    Value history_set_aside{};
    Value history_dropped{};
    // Not in the table or the lines: for the page's minimum and mean.
    Value cycle_ms_min{};
    Value cycle_ms_total{};
};

// Calls visit(name, counter of each set...) for each counter of the list
// above, in its order; cycle_ms_min and cycle_ms_total are not part of it.
// Given two sets, visit sees the same counter of both side by side.
template <class Visit, class... Sets>
void ForEachCounter(Visit&& visit, Sets&&... sets) {
    visit("cycles", sets.cycles...);
    visit("cycle_ms_last", sets.cycle_ms_last...);
    visit("cycle_ms_max", sets.cycle_ms_max...);
    visit("requests", sets.requests...);
    visit("no_ack", sets.no_ack...);
    visit("reply_timeouts", sets.reply_timeouts...);
    visit("bad_bcc", sets.bad_bcc...);
    visit("wrong_sequence", sets.wrong_sequence...);
    visit("refused", sets.refused...);
    visit("links_lost", sets.links_lost...);
    visit("attach_attempts", sets.attach_attempts...);
    visit("db_written", sets.db_written...);
    visit("db_rejected", sets.db_rejected...);
    visit("db_refused", sets.db_refused...);
    visit("journal_rows", sets.journal_rows...);
    visit("journal_bytes", sets.journal_bytes...);
    visit("history_waiting", sets.history_waiting...);
    visit("history_set_aside", sets.history_set_aside...);
    visit("history_dropped", sets.history_dropped...);
}

using LinkCounters = CounterSet<std::atomic<uint64_t>>;
using CounterValues = CounterSet<uint64_t>;

// One memory area's reads, as the area_stats row shows them.
struct AreaReadFigures {
    bool enabled = false;
    uint32_t scanMs = 0;      // its scan period; 0: every pass
    int64_t lastReadMs = 0;   // system clock: when its last complete read ended; 0: never
    uint64_t reads = 0;       // complete reads (a counter: Reset zeroes it)
    uint64_t readMsLast = 0;  // the last one's time from its first request to its last reply
    // The same of the reads whose values the mirror database has stored:
    // what the tables describe. A read that could not be stored (the
    // database away) does not count.
    int64_t storedReadMs = 0;
    uint64_t storedReads = 0;
    uint64_t storedReadMsLast = 0;
};

// Everything a reader shows, copied at one moment.
struct LinkStatsSnapshot {
    LinkState state = LinkState::Offline;
    int64_t onlineSinceMs = 0;  // system clock, ms since 1970; 0: never
    // The oldest of the enabled areas' last complete reads: by then every
    // one had been read at least once. 0 while one has never been.
    int64_t lastReadMs = 0;
    // The same of the reads the mirror database has stored.
    int64_t lastStoredReadMs = 0;
    // When the round under way began (system clock); 0: none yet.
    int64_t roundBeganMs = 0;
    std::array<AreaReadFigures, kAreaCount> areas;  // by MemoryType
    CounterValues counters;
    std::string lastMessage;
    std::string databaseTls;  // the database connection's protection; empty without one
};

class LinkStats {
  public:
    LinkCounters counters;

    // Connect: counters, times and texts zeroed, state Offline.
    void Clear();
    // The page's Reset: the counters only. Called while the worker counts,
    // a count that lands meanwhile may survive.
    void ResetCounters();

    // Online also stamps the time the link came up.
    void SetState(LinkState state);
    LinkState state() const { return state_.load(); }
    // Connect, after Clear: the areas the link reads and their periods.
    void SetAreas(const std::array<bool, kAreaCount>& enabled,
                  const std::array<uint32_t, kAreaCount>& scanMs);
    // The area's read has completed at atMs, durationMs after its first
    // request.
    void MarkAreaRead(int type, int64_t atMs, uint64_t durationMs);
    // The mirror database has stored the values of the area's read that
    // completed at atMs.
    void MarkAreaStored(int type, int64_t atMs, uint64_t durationMs);
    // When the area's last complete read ended (system clock); 0: never.
    int64_t AreaReadAtMs(int type) const {
        return type >= 0 && type < kAreaCount ? areas_[type].lastReadMs.load() : 0;
    }
    // One round of durationMs has completed.
    void CountCycle(uint64_t durationMs);
    void SetLastMessage(const std::string& text);
    void SetDatabaseTls(const std::string& text);

    LinkStatsSnapshot Snapshot() const;

  private:
    std::atomic<LinkState> state_{LinkState::Offline};
    std::atomic<int64_t> onlineSinceMs_{0};
    std::atomic<int64_t> roundBeganMs_{0};
    struct AreaReads {
        std::atomic<bool> enabled{false};
        std::atomic<uint32_t> scanMs{0};
        std::atomic<int64_t> lastReadMs{0};
        std::atomic<uint64_t> reads{0};
        std::atomic<uint64_t> readMsLast{0};
        std::atomic<int64_t> storedReadMs{0};
        std::atomic<uint64_t> storedReads{0};
        std::atomic<uint64_t> storedReadMsLast{0};
    };
    std::array<AreaReads, kAreaCount> areas_;
    mutable std::mutex textMutex_;
    std::string lastMessage_;  // guarded by textMutex_
    std::string databaseTls_;  // guarded by textMutex_
};

// The system clock now, ms since 1970.
int64_t NowMs();

// "stats: cycles=12 cycle_ms_last=30 ... db_refused=0 link_state=Online".
std::string StatsLine(const LinkStatsSnapshot& stats);

}  // namespace tarnlight
