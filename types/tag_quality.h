#pragma once
// How far a tag's value can be trusted, beside the value (tags.quality, the
// Tags page, tarnlight-gateway --values):
//   good   the link reads, and the tag's area was read completely within
//          three times its period (for an area read once per round: three
//          times the round's length, a second at the least)
//   stale  the value is the last one read, but the link is lost or halted,
//          or the area is overdue
//   none   no value was read since Connect
#include <array>
#include <cstdint>

#include "types/link_stats.h"

namespace tarnlight {

enum class TagQuality : uint8_t { None, Good, Stale };

// "none", "good", "stale".
const char* TagQualityName(TagQuality quality);

// What the engine knows of one area's reads.
struct AreaFreshness {
    uint32_t periodMs = 0;   // its scan period; 0: every pass
    int64_t lastReadMs = 0;  // system clock: when its last complete read ended; 0: never
    // An area without a period: the length of the last round, or of the one
    // under way when that is longer.
    int64_t roundMs = 0;
};

// everRead: the tag has a value read since Connect; reading: the link is
// online and transmitting.
TagQuality DecideTagQuality(bool everRead, bool reading, const AreaFreshness& area, int64_t nowMs);

// What the statistics say of every area at nowMs: its period, its last
// complete read and the length of the rounds.
std::array<AreaFreshness, kAreaCount> AreasFreshness(const LinkStatsSnapshot& stats, int64_t nowMs);

}  // namespace tarnlight
