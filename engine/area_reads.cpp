// The reads of a full pass: the areas that are due, in parts when the
// schedule splits them, and each area's values to the window and the mirror
// once its last part has arrived.
#include <chrono>
#include <vector>

#include "engine/engine.h"

namespace tarnlight {

bool Engine::ReadAreas() {
    schedule_.BeginPass();
    if (!link_.SendRunStop()) return false;
    for (int type = snp::kI; type <= snp::kQ; ++type) {
        if (!ReadScheduledArea(type)) return false;
    }
    if (!link_.SendRunStop()) return false;
    for (int type = snp::kAI; type <= snp::kAQ; ++type) {
        if (!ReadScheduledArea(type)) return false;
    }
    return true;
}

bool Engine::ReadScheduledArea(int type) {
    if (!schedule_.Due(type, std::chrono::steady_clock::now())) return true;
    if (schedule_.HasPeriod(type)) return ReadWholeArea(type);
    // A slow area goes on by one part, behind the fast areas that are due.
    // With every period 0 there are none, and the one part is the whole
    // range: the request the cycle has always sent.
    return ReadDueFastAreas() && ReadAreaPart(type);
}

bool Engine::ReadWholeArea(int type) {
    if (!ReadAreaPart(type)) return false;
    while (schedule_.InProgress(type)) {
        if (!ReadDueFastAreas() || !ReadAreaPart(type)) return false;
    }
    return true;
}

bool Engine::ReadDueFastAreas() {
    if (!schedule_.splitting()) return true;
    for (int type = snp::kI; type <= snp::kAQ; ++type) {
        // An area in progress is not due, so this ends: each level of the
        // nesting has one more area under way.
        if (schedule_.HasPeriod(type) && schedule_.Due(type, std::chrono::steady_clock::now()) &&
            !ReadWholeArea(type))
            return false;
    }
    return true;
}

bool Engine::ReadAreaPart(int type) {
    const ReadPart part = schedule_.NextPart(type);
    const bool bitArea = snp::IsBitArea(type);
    const int area = bitArea ? type : type - snp::kAI;  // index among the areas of its kind
    SleepMs(config_.Td);
    const auto sent = std::chrono::steady_clock::now();
    if (!(bitArea ? link_.ReadBits(part.from, part.to, area)
                  : link_.ReadWords(part.from, part.to, area)))
        return false;
    ShowSequence();
    if (schedule_.PartRead(type, sent, std::chrono::steady_clock::now())) ShowAreaRead(type);
    return true;
}

void Engine::ShowAreaRead(int type) {
    // The whole range from the image, so the grid and the mirror take the
    // area's parts as one.
    const uint16_t from = config_.areaFrom[type];
    const uint16_t to = config_.areaTo[type];
    const bool mirror = config_.dbEnabled && flags_.dbAlive;
    if (snp::IsBitArea(type)) {
        const auto& bits = image_->bits[type];
        window_.ShowBitArea(type, from, to, std::vector<uint8_t>(&bits[from], &bits[to] + 1));
        for (uint32_t a = from; mirror && a <= to; ++a)
            mirror_.MirrorBitValue(type, static_cast<uint16_t>(a), bits[a] != 0 ? 1 : 0);
    } else {
        const int area = type - snp::kAI;
        const auto& words = image_->words[area];
        window_.ShowWordArea(type, from, to, std::vector<uint16_t>(&words[from], &words[to] + 1));
        for (uint32_t a = from; mirror && a <= to; ++a)
            mirror_.MirrorWordValue(area, static_cast<uint16_t>(a), static_cast<int16_t>(words[a]));
    }
    areasRead_[static_cast<size_t>(type)] = true;
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(schedule_.LastReadTook(type));
    stats_.MarkAreaRead(type, static_cast<uint64_t>(took.count()));
}

}  // namespace tarnlight
