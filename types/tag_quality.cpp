#include "types/tag_quality.h"

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
    if (area.periodMs == 0) return area.readLastPass ? TagQuality::Good : TagQuality::Stale;
    // Three periods: one late read is no reason to doubt a value, a missed
    // one and a late one are.
    const bool fresh =
        area.lastReadMs != 0 && nowMs - area.lastReadMs <= 3 * int64_t{area.periodMs};
    return fresh ? TagQuality::Good : TagQuality::Stale;
}

}  // namespace tarnlight
