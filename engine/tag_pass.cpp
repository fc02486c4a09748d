// The tags after a pass's reads: evaluated from the memory image for the
// areas read in the pass only (an area not read holds older values), handed
// to the mirror every pass and to the window when their bits changed.
#include <utility>

#include "engine/engine.h"

namespace tarnlight {

void Engine::PassTags() {
    if (config_.tags.empty()) return;
    if (shownTags_.size() != config_.tags.size())
        shownTags_.assign(config_.tags.size(), std::nullopt);
    // Whether the database answers or not: the history's rows go to its
    // journal, stamped with the time their area's read completed.
    const bool mirror = config_.dbEnabled;
    std::vector<TagUpdate> updates;
    for (std::size_t i = 0; i < config_.tags.size(); ++i) {
        const TagDefinition& tag = config_.tags[i];
        if (!snp::TagRead(tag, areasRead_)) continue;
        const uint32_t raw = snp::TagRawFromImage(tag, *image_);
        const int index = static_cast<int>(i);
        if (mirror) mirror_.MirrorTag(index, raw, stats_.AreaReadAtMs(tag.area));
        if (shownTags_[i] == raw) continue;
        shownTags_[i] = raw;
        updates.push_back({index, raw, TagValueFromRaw(tag, raw)});
    }
    if (!updates.empty()) window_.ShowTagValues(std::move(updates));
}

}  // namespace tarnlight
