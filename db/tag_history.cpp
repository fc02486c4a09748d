#include "db/tag_history.h"

#include <algorithm>
#include <cmath>

namespace tarnlight::db {

TagHistory::TagHistory(const LinkConfig& config, HistoryJournal& journal)
    : config_(config), journal_(journal) {}

void TagHistory::Size() {
    if (journalled_.size() != config_.tags.size()) journalled_.assign(config_.tags.size(), {});
}

void TagHistory::Start(const std::vector<std::string>& redefined) {
    journalled_.assign(config_.tags.size(), {});
    gapSinceMs_ = 0;
    fullWarning_ = false;
    for (const std::string& name : redefined) {
        const int index = FindTag(config_.tags, name);
        if (index >= 0) journalled_[static_cast<std::size_t>(index)].redefined = true;
    }
}

bool TagHistory::Due(const TagDefinition& tag, const Journalled& j,
                     const std::optional<double>& value) const {
    if (!value) return j.last == Last::Value;  // the value went away: NaN or infinity
    if (j.last != Last::Value) return true;
    if (tag.deadband > 0) return std::fabs(*value - j.value) > tag.deadband;
    return *value != j.value;
}

bool TagHistory::Append(std::size_t index, std::optional<double> value, int64_t atMs) {
    if (!journal_.Append(atMs, config_.tags[index].name, value)) {
        if (gapSinceMs_ == 0) {
            gapSinceMs_ = atMs;
            fullWarning_ = true;
        }
        return false;
    }
    Journalled& j = journalled_[index];
    j.last = value ? Last::Value : Last::NoData;
    j.value = value.value_or(0.0);
    return true;
}

bool TagHistory::CloseGap() {
    if (gapSinceMs_ == 0) return true;
    std::size_t open = 0;
    std::size_t longest = 0;
    for (std::size_t i = 0; i < journalled_.size(); ++i) {
        if (journalled_[i].last != Last::Value) continue;
        ++open;
        longest = std::max(longest, config_.tags[i].name.size());
    }
    // All of the gap or nothing, with room for the row that comes after it.
    if (!journal_.HasRoom(open + 1, std::max(longest, kTagNameMaxLength))) {
        journal_.CountDropped();
        return false;
    }
    const int64_t at = gapSinceMs_;
    gapSinceMs_ = 0;
    for (std::size_t i = 0; i < journalled_.size(); ++i)
        if (journalled_[i].last == Last::Value && !Append(i, std::nullopt, at)) return false;
    return true;
}

void TagHistory::Hold(int index, std::optional<double> value, int64_t readAtMs) {
    if (!Enabled() || !journal_.IsOpen()) return;
    Size();
    if (index < 0 || static_cast<std::size_t>(index) >= journalled_.size()) return;
    const auto i = static_cast<std::size_t>(index);
    const TagDefinition& tag = config_.tags[i];
    if (!tag.history) return;
    journal_.NoteCycle(readAtMs);
    if (!Due(tag, journalled_[i], value)) return;
    if (!CloseGap()) return;
    Journalled& j = journalled_[i];
    // Due again when the gap closed: its last row is now a NULL.
    if (!Due(tag, j, value)) return;
    if (j.redefined && value) {
        // Not compared with values read under the old definition.
        if (!Append(i, std::nullopt, readAtMs)) return;
        j.redefined = false;
    }
    Append(i, value, readAtMs);
}

void TagHistory::LinkDown(int64_t atMs) {
    if (!Enabled() || !journal_.IsOpen()) return;
    Size();
    journal_.NoteCycle(atMs);
    // A gap already open covers the time from its start: its NULL rows come
    // when there is room.
    if (gapSinceMs_ != 0) return;
    for (std::size_t i = 0; i < journalled_.size(); ++i)
        if (journalled_[i].last == Last::Value) Append(i, std::nullopt, atMs);
}

bool TagHistory::TakeFullWarning() {
    const bool due = fullWarning_;
    fullWarning_ = false;
    return due;
}

}  // namespace tarnlight::db
