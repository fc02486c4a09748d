// The tags of an area whose read has just completed: evaluated from the image
// as that read left it (all its parts, never a mix of two reads) and shown
// when their bits changed. The database's worker evaluates them again from
// the same read for the tags table.
#include <utility>

#include "engine/engine.h"

namespace tarnlight {

void Engine::AreaTags(int type) {
    if (config_.tags.empty()) return;
    SizeShownTags();
    std::vector<TagUpdate> updates;
    for (std::size_t i = 0; i < config_.tags.size(); ++i) {
        const TagDefinition& tag = config_.tags[i];
        if (tag.area != type) continue;
        const uint32_t raw = snp::TagRawFromImage(tag, *image_);
        // Whether the database answers or not: the history's rows go to its
        // journal, stamped with the time the area's read completed.
        if (config_.dbEnabled) mirror_.JournalTag(static_cast<int>(i), raw, readAtMs_[type]);
        // Just read: good, whether or not the bits changed.
        if (shownTags_[i] == raw && shownQuality_[i] == TagQuality::Good) continue;
        shownTags_[i] = raw;
        shownQuality_[i] = TagQuality::Good;
        updates.push_back({static_cast<int>(i), raw, TagValueFromRaw(tag, raw)});
    }
    // On the journal's file before anything shows them.
    if (config_.dbEnabled && !config_.historyDb.empty()) mirror_.WriteJournal();
    if (!updates.empty()) window_.ShowTagValues(std::move(updates));
}

void Engine::SizeShownTags() {
    if (shownTags_.size() == config_.tags.size()) return;
    shownTags_.assign(config_.tags.size(), std::nullopt);
    shownQuality_.assign(config_.tags.size(), TagQuality::None);
}

void Engine::ShowTagQualities(bool reading) {
    if (config_.tags.empty()) return;
    SizeShownTags();
    // The same rule as the tags table's: a value read is good while the link
    // reads and its area is not overdue.
    const int64_t nowMs = NowMs();
    const std::array<AreaFreshness, kAreaCount> areas = AreasFreshness(stats_.Snapshot(), nowMs);
    std::vector<TagUpdate> updates;
    for (std::size_t i = 0; i < config_.tags.size(); ++i) {
        const TagDefinition& tag = config_.tags[i];
        if (!shownTags_[i] || tag.area < 0 || tag.area >= kAreaCount) continue;
        const TagQuality quality =
            DecideTagQuality(true, reading, areas[static_cast<std::size_t>(tag.area)], nowMs);
        if (quality == shownQuality_[i]) continue;
        shownQuality_[i] = quality;
        const uint32_t raw = *shownTags_[i];
        updates.push_back({static_cast<int>(i), raw, TagValueFromRaw(tag, raw), quality});
    }
    if (!updates.empty()) window_.ShowTagValues(std::move(updates));
}

}  // namespace tarnlight
