// The tags of an area whose read has just completed: evaluated from the image
// as that read left it (all its parts, never a mix of two reads) and shown
// when their bits changed. The database's worker evaluates them again from
// the same read for the tags table.
#include <utility>

#include "engine/engine.h"

namespace tarnlight {

void Engine::AreaTags(int type) {
    if (config_.tags.empty()) return;
    if (shownTags_.size() != config_.tags.size())
        shownTags_.assign(config_.tags.size(), std::nullopt);
    std::vector<TagUpdate> updates;
    for (std::size_t i = 0; i < config_.tags.size(); ++i) {
        const TagDefinition& tag = config_.tags[i];
        if (tag.area != type) continue;
        const uint32_t raw = snp::TagRawFromImage(tag, *image_);
        if (shownTags_[i] == raw) continue;
        shownTags_[i] = raw;
        updates.push_back({static_cast<int>(i), raw, TagValueFromRaw(tag, raw)});
    }
    if (!updates.empty()) window_.ShowTagValues(std::move(updates));
}

}  // namespace tarnlight
