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
        // Whether the database answers or not: the history's rows go to its
        // journal, stamped with the time the area's read completed.
        if (config_.dbEnabled) mirror_.JournalTag(static_cast<int>(i), raw, readAtMs_[type]);
        if (shownTags_[i] == raw) continue;
        shownTags_[i] = raw;
        updates.push_back({static_cast<int>(i), raw, TagValueFromRaw(tag, raw)});
    }
    // On the journal's file before anything shows them.
    if (config_.dbEnabled && !config_.historyDb.empty()) mirror_.WriteJournal();
    if (!updates.empty()) window_.ShowTagValues(std::move(updates));
}

}  // namespace tarnlight
