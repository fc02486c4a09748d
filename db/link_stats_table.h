#pragma once
// The table link_stats: one row (id = 1) that tells other programs whether
// the mirrored values are live. Columns, in order: id, link_state,
// online_since, last_read_at, the counters of link_stats.h, last_message,
// updated_at. The times are DATETIME(3) in UTC on the server's own clock
// (UTC_TIMESTAMP(3)), so a reader compares them with the clock it reads.
//
// This class only builds the statements; the mirror sends them: the row's
// update at most once a second inside the cycle's transaction, and at once
// when the link's state changes.
#include <chrono>
#include <cstdint>
#include <string>

#include "db/mirror_connection.h"
#include "types/link_stats.h"

namespace tarnlight::db {

// A moment of the local system clock (ms since 1970) as an expression of
// the server's clock at nowMs: its age taken from the server's now, so a row
// never mixes the two clocks.
std::string ServerTime(int64_t atMs, int64_t nowMs);

class LinkStatsTable {
  public:
    explicit LinkStatsTable(MirrorConnection& connection) : connection_(connection) {}

    // The statistics the row shows; none (no statements) when not set.
    void SetStats(const LinkStats* stats) { stats_ = stats; }
    const LinkStats* stats() const { return stats_; }

    // CREATE TABLE and INSERT of the row, as the other tables are built:
    // results not examined, so a kept table keeps its row.
    void Create();
    // The row may hold something else than was last written (a table built
    // again): the next update is due at once and writes the times again.
    void Forget();

    // The UPDATE of the row from the statistics now. Empty when there are no
    // statistics, or, unless now is set, when the last update is less than
    // kInterval old.
    std::string Update(bool now);

    static constexpr std::chrono::milliseconds kInterval{1000};

  private:
    MirrorConnection& connection_;
    const LinkStats* stats_ = nullptr;
    bool written_ = false;  // an update has been built since the last Forget
    std::chrono::steady_clock::time_point lastUpdate_{};
    // The times as the row holds them (ms since 1970, 0: not written), and
    // the connection epoch they were written in: a failure or a new session
    // since may have lost them.
    int64_t writtenOnlineSince_ = 0;
    int64_t writtenLastRead_ = 0;
    unsigned long epoch_ = 0;
};

}  // namespace tarnlight::db
