#include "types/tag_quality.h"

#include <algorithm>

namespace tarnlight {

const char* TagQualityName(TagQuality quality) {
    switch (quality) {
        case TagQuality::Good:
            return "good";
        case TagQuality::Stale:
            return "stale";
        case TagQuality::None:
            break;
    }
    return "none";
}

TagQuality DecideTagQuality(bool everRead, bool reading, const AreaFreshness& area, int64_t nowMs) {
    if (!everRead) return TagQuality::None;
    if (!reading) return TagQuality::Stale;
    // Three periods (or rounds): one late read is no reason to doubt a
    // value, a missed one and a late one are.
    const int64_t period =
        area.periodMs != 0 ? int64_t{area.periodMs} : std::max<int64_t>(area.roundMs, 1000);
    const bool fresh = area.lastReadMs != 0 && nowMs - area.lastReadMs <= 3 * period;
    return fresh ? TagQuality::Good : TagQuality::Stale;
}

std::array<AreaFreshness, kAreaCount> AreasFreshness(const LinkStatsSnapshot& stats,
                                                     int64_t nowMs) {
    const int64_t roundMs =
        std::max<int64_t>(static_cast<int64_t>(stats.counters.cycle_ms_last),
                          stats.roundBeganMs != 0 ? nowMs - stats.roundBeganMs : 0);
    std::array<AreaFreshness, kAreaCount> areas{};
    for (int type = 0; type < kAreaCount; ++type) {
        areas[type].periodMs = stats.areas[type].scanMs;
        areas[type].lastReadMs = stats.areas[type].lastReadMs;
        areas[type].roundMs = roundMs;
    }
    return areas;
}

}  // namespace tarnlight
