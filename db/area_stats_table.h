#pragma once
// The table area_stats: one row per enabled memory area, so a reader sees how
// fresh each area is when the areas are read at different rates. Columns:
// area ("%I" ... "%AQ"), scan_ms (its period, 0: every pass), last_read_at
// (when its last complete read ended, DATETIME(3) in UTC on the server's
// clock as in link_stats), `reads` (complete reads since Connect or Reset;
// READS is a reserved word, so the name is always quoted) and read_ms_last
// (the last read's time from its first request to its last reply).
//
// This class only builds the statements; the mirror sends the updates with
// those of link_stats, in the same transaction.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "db/mirror_connection.h"
#include "types/link_config.h"
#include "types/link_stats.h"

namespace tarnlight::db {

class AreaStatsTable {
  public:
    AreaStatsTable(MirrorConnection& connection, const LinkConfig& config)
        : connection_(connection), config_(config) {
        Forget();
    }

    // The figures the rows show; none (no updates) when not set.
    void SetStats(const LinkStats* stats) { stats_ = stats; }

    // CREATE TABLE (its result not examined: a kept table stays), then the
    // rows: those of areas the link does not read are deleted, each enabled
    // area gets one, and a kept row keeps its figures and takes the period.
    void Create();
    // The rows may hold something else than was last written: every row is
    // written again by the next update.
    void Forget();
    // The UPDATEs of the rows whose figures moved since they were written.
    std::vector<std::string> Update();

  private:
    MirrorConnection& connection_;
    const LinkConfig& config_;
    const LinkStats* stats_ = nullptr;
    // What each row holds as far as known; kUnknown: write it again.
    static constexpr uint64_t kUnknown = UINT64_MAX;
    std::array<uint64_t, kAreaCount> writtenReads_{};
    std::array<int64_t, kAreaCount> writtenLastRead_{};
    unsigned long epoch_ = 0;
};

}  // namespace tarnlight::db
