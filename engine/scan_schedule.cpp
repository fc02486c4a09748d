#include "engine/scan_schedule.h"

#include <algorithm>

#include "snp/memory.h"

namespace tarnlight {

namespace {

// A 32-bit tag of the area begins at address: a part must not end there.
bool TagStraddles(int type, unsigned address, const std::vector<TagDefinition>& tags) {
    return std::any_of(tags.begin(), tags.end(), [&](const TagDefinition& tag) {
        return tag.area == type && tag.address == address && TagWordCount(tag.type) == 2;
    });
}

}  // namespace

std::vector<ReadPart> SplitRead(int type, uint16_t from, uint16_t to, unsigned maxBytes,
                                const std::vector<TagDefinition>& tags) {
    std::vector<ReadPart> parts;
    if (snp::IsBitArea(type)) {
        // ReadBits asks for the bytes holding from..to; each part asks for
        // whole bytes of its own, so together they ask for the same bytes.
        const unsigned firstByte = (from - 1u) / 8u;
        const unsigned lastByte = (to - 1u) / 8u;
        const unsigned step = maxBytes == 0 ? lastByte - firstByte + 1u : maxBytes;
        for (unsigned byte = firstByte; byte <= lastByte; byte += step) {
            const unsigned endByte = std::min(lastByte, byte + step - 1u);
            parts.push_back({static_cast<uint16_t>(std::max<unsigned>(from, 8u * byte + 1u)),
                             static_cast<uint16_t>(std::min<unsigned>(to, 8u * endByte + 8u))});
        }
        return parts;
    }
    const unsigned count = to - from + 1u;
    const unsigned step = maxBytes == 0 ? count : std::max(1u, maxBytes / 2u);
    for (unsigned first = from; first <= to;) {
        unsigned last = std::min<unsigned>(to, first + step - 1u);
        // Shorter by a word or so, never empty: a part holds 32 words at least.
        while (last < to && last > first && TagStraddles(type, last, tags)) --last;
        parts.push_back({static_cast<uint16_t>(first), static_cast<uint16_t>(last)});
        first = last + 1u;
    }
    return parts;
}

void ScanSchedule::Configure(const LinkConfig& config) {
    splitting_ = false;
    hasSlowAreas_ = false;
    for (int type = 0; type < kAreaCount; ++type) {
        if (!config.areaEnabled[type]) continue;
        (config.scanMs[type] != 0 ? splitting_ : hasSlowAreas_) = true;
    }
    for (int type = 0; type < kAreaCount; ++type) {
        Area& area = areas_[type];
        area = Area{};
        area.enabled = config.areaEnabled[type];
        area.periodMs = config.scanMs[type];
        if (area.enabled)
            area.parts = SplitRead(type, config.areaFrom[type], config.areaTo[type],
                                   splitting_ ? config.maxReadBytes : 0, config.tags);
    }
    Restart();
}

void ScanSchedule::Restart() {
    for (Area& area : areas_) {
        area.next = 0;
        area.readSinceRestart = false;
        area.doneThisRound = false;
    }
}

void ScanSchedule::BeginPass() {
    for (const Area& area : areas_) {
        if (area.enabled && area.periodMs == 0 && !area.doneThisRound) return;
    }
    for (Area& area : areas_) area.doneThisRound = false;
}

bool ScanSchedule::Due(int type, Clock::time_point now) const {
    const Area& area = areas_[type];
    if (!area.enabled) return false;
    if (area.periodMs == 0) return !area.doneThisRound;
    if (area.next != 0) return false;
    if (!area.readSinceRestart) return true;
    if (hasSlowAreas_ && slowPartsRead_ == area.slowPartsAtBegin) return false;
    return now - area.lastBegan >= std::chrono::milliseconds(area.periodMs);
}

bool ScanSchedule::PartRead(int type, Clock::time_point sent, Clock::time_point now) {
    Area& area = areas_[type];
    if (area.periodMs == 0) ++slowPartsRead_;
    if (area.next == 0) {
        area.began = sent;
        area.slowPartsAtBegin = slowPartsRead_;
    }
    if (++area.next < area.parts.size()) return false;
    area.next = 0;
    area.lastBegan = area.began;
    area.lastTook = now - area.began;
    area.readSinceRestart = true;
    if (area.periodMs == 0) area.doneThisRound = true;
    return true;
}

ScanSchedule::Clock::duration ScanSchedule::IdleTime(Clock::time_point now) const {
    Clock::duration idle = Clock::duration::max();
    for (const Area& area : areas_) {
        if (!area.enabled) continue;
        // A slow area always has a part to read: a new round begins at once.
        if (area.periodMs == 0 || !area.readSinceRestart) return Clock::duration::zero();
        const auto dueAt = area.lastBegan + std::chrono::milliseconds(area.periodMs);
        idle = std::min(idle, std::max(Clock::duration::zero(), dueAt - now));
    }
    return idle == Clock::duration::max() ? Clock::duration::zero() : idle;
}

}  // namespace tarnlight
