// The full cycle, one request at a time: the schedule names the request, the
// worker sends it and tells the schedule when it went out and when its answer
// came. An area's values reach the image, the window, the tags and the
// database together once its last part has arrived.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "engine/engine.h"
#include "engine/grid_format.h"

namespace tarnlight {

WaitingWork Engine::Waiting() const {
    WaitingWork waiting;
    waiting.runStop = context_.runStopPending.load() != 0;
    waiting.edit = flags_.pendingEdit.load() != 0;
    waiting.writes = config_.dbEnabled && mirrorWorker_.HasWrites();
    return waiting;
}

bool Engine::PerformRequest(const ScheduledRequest& request) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point sent = Clock::now();
    bool ok = true;
    switch (request.kind) {
        case RequestKind::None:
            return true;
        case RequestKind::RunStop:
            ok = link_.SendRunStop();
            ShowSequence();
            break;
        case RequestKind::AreaPart:
            return ReadAreaPart(request.area, request.part);
        case RequestKind::Write:
            ok = ServeWriteRequest();
            break;
        case RequestKind::Edit:
            ok = PerformPendingEdit();
            break;
        case RequestKind::KeepAlive:
            // What the halted cycle sends: the controller drops a link that
            // stays silent for T3'.
            if (!PauseBeforeRequest()) return true;
            ok = link_.ReadShortStatus();
            ShowSequence();
            break;
    }
    if (ok) schedule_.Done(request, sent, Clock::now());
    return ok;
}

bool Engine::ReadAreaPart(int type, const ReadPart& part) {
    using Clock = std::chrono::steady_clock;
    const bool bitArea = snp::IsBitArea(type);
    const int area = bitArea ? type : type - snp::kAI;  // index among the areas of its kind
    if (!PauseBeforeRequest()) return true;
    const Clock::time_point sent = Clock::now();
    const uint64_t stamp = ledger_.Next();
    if (!(bitArea ? link_.ReadBits(part.from, part.to, area)
                  : link_.ReadWords(part.from, part.to, area)))
        return false;
    ShowSequence();
    ScheduledRequest request{RequestKind::AreaPart, type, part};
    // The read's first part: later writes to its addresses make its values
    // say nothing of the controller's memory.
    if (!schedule_.ReadUnderWay(type)) readStamp_[type] = stamp;
    if (schedule_.Done(request, sent, Clock::now())) CompleteArea(type);
    return true;
}

bool Engine::ServeWriteRequest() {
    // Rows decided without the line (malformed, or the value known to be
    // held) cost no request: go on to the next until one is written.
    while (std::optional<db::WriteRequest> request = mirrorWorker_.TakeWrite()) {
        const db::ServedRequest served = mirror_.Serve(*request);
        mirrorWorker_.Served(served);
        if (served.outcome == db::RequestOutcome::Failed) return false;
        if (!db::DecidedWithoutWrite(served.outcome)) return true;
    }
    return true;
}

void Engine::CompleteArea(int type) {
    const uint16_t from = config_.areaFrom[type];
    const uint16_t to = config_.areaTo[type];
    const int64_t atMs = NowMs();
    if (snp::IsBitArea(type)) {
        auto& bits = image_->bits[type];
        std::copy(&staging_->bits[type][from], &staging_->bits[type][to] + 1, &bits[from]);
        window_.ShowBitArea(type, from, to, std::vector<uint8_t>(&bits[from], &bits[to] + 1));
    } else {
        const int area = type - snp::kAI;
        auto& words = image_->words[area];
        std::copy(&staging_->words[area][from], &staging_->words[area][to] + 1, &words[from]);
        window_.ShowWordArea(type, from, to, std::vector<uint16_t>(&words[from], &words[to] + 1));
    }
    ledger_.ReadCompleted(type, readStamp_[type]);
    readAtMs_[type] = atMs;
    const auto took = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(schedule_.LastReadTook(type))
            .count());
    stats_.MarkAreaRead(type, atMs, took);
    AreaTags(type);
    if (config_.dbEnabled) mirrorWorker_.AreaRead(type, *image_, atMs, took);
    // Said once the fast areas have asked too much for three reads in a
    // row: one read slowed down is no reason to warn.
    const double overAsked = schedule_.OverAsked();
    overAskedReads_ = overAsked >= 1.05 ? overAskedReads_ + 1 : 0;
    if (!overAskShown_ && overAskedReads_ >= 3) {
        // Once per Connect: the fast areas share the line, each read that
        // many times more slowly than its period asks.
        overAskShown_ = true;
        char factor[16];
        std::snprintf(factor, sizeof factor, "%.1f", overAsked);
        ShowMessage(std::string("W27: Scan periods ask ") + factor +
                    " x what the line carries: fast areas are read every " + factor +
                    " x their period");
    }
}

bool Engine::CountRound() {
    std::chrono::steady_clock::duration took{};
    if (!schedule_.TakeRoundEnd(&took)) return false;
    ShowHistoryWarning();
    ShowTagQualities(true);
    const uint8_t shown = cycleCounter_.load();
    window_.SetPanelText(kCycleCountPanel, HexByteText(shown));
    cycleCounter_.store(static_cast<uint8_t>(shown + 1));
    stats_.CountCycle(
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    return true;
}

void Engine::ShowHistoryWarning() {
    // What befell the history's rows (a full journal, a table made again),
    // once per round at most.
    if (!config_.dbEnabled) return;
    const std::string warning = mirror_.TakeHistoryWarning();
    if (!warning.empty()) ShowMessage(warning);
}

}  // namespace tarnlight
