#include "engine/request_schedule.h"

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

void RequestSchedule::Configure(const LinkConfig& config, uint32_t keepAliveMs) {
    scheduled_ = false;
    hasSlow_ = false;
    keepAliveMs_ = keepAliveMs;
    for (int type = 0; type < kAreaCount; ++type) {
        if (!config.areaEnabled[type]) continue;
        (config.scanMs[type] != 0 ? scheduled_ : hasSlow_) = true;
    }
    for (int type = 0; type < kAreaCount; ++type) {
        Area& area = areas_[type];
        area = Area{};
        area.enabled = config.areaEnabled[type];
        area.periodMs = config.scanMs[type];
        if (area.enabled)
            area.parts = SplitRead(type, config.areaFrom[type], config.areaTo[type],
                                   scheduled_ ? config.maxReadBytes : 0, config.tags);
    }
    stretch_ = 1.0;
    partTime_ = {};
    Restart(Clock::now());
}

void RequestSchedule::Restart(Clock::time_point now) {
    for (Area& area : areas_) {
        area.next = 0;
        area.readOnce = false;
        area.doneThisRound = false;
        area.lineTime = {};
    }
    step_ = Step::RunStopBits;
    stepArea_ = snp::kI;
    fastInRow_ = 0;
    writesInRow_ = 0;
    roundBegan_ = now;
    restartAt_ = now;
    lastRequestEnd_ = now;
    roundEnded_ = false;
}

RequestSchedule::Clock::duration RequestSchedule::Period(int type) const {
    const auto ms = static_cast<double>(areas_[type].periodMs) * stretch_;
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

RequestSchedule::Clock::time_point RequestSchedule::Deadline(int type, bool wasRead,
                                                             Clock::time_point anchor) const {
    // Due one period after the last read began (at once after a restart),
    // to be read by one period later. Counted with the period as stretched
    // now, so a read under way follows the stretch as it is learnt.
    return anchor + (wasRead ? 2 : 1) * Period(type);
}

bool RequestSchedule::FastReady(int type, Clock::time_point now,
                                Clock::time_point* deadline) const {
    const Area& area = areas_[type];
    if (!Fast(type)) return false;
    if (area.next != 0) {
        *deadline = Deadline(type, area.anchorWasRead, area.anchor);
        return true;
    }
    if (!area.readOnce) {
        // Due since the restart: a large area never read must not hold up a
        // short one's periods, so it too is to be read within its period.
        *deadline = Deadline(type, false, restartAt_);
        return true;
    }
    if (now < area.lastBegan + Period(type)) return false;
    *deadline = Deadline(type, true, area.lastBegan);
    return true;
}

int RequestSchedule::SlowAreaToRead() const {
    for (int type = 0; type < kAreaCount; ++type)
        if (Slow(type) && areas_[type].next != 0) return type;  // the read under way first
    for (int type = 0; type < kAreaCount; ++type)
        if (Slow(type) && !areas_[type].doneThisRound) return type;
    return -1;
}

ScheduledRequest RequestSchedule::Part(int type) const {
    ScheduledRequest request;
    request.kind = RequestKind::AreaPart;
    request.area = type;
    request.part = areas_[type].parts[areas_[type].next];
    return request;
}

ScheduledRequest RequestSchedule::Next(Clock::time_point now, const WaitingWork& waiting) {
    return scheduled_ ? NextScheduled(now, waiting) : NextPassStep(waiting);
}

ScheduledRequest RequestSchedule::NextPassStep(const WaitingWork& waiting) {
    // The pass as it always was; steps with nothing to send are skipped.
    for (;;) {
        switch (step_) {
            case Step::RunStopBits:
            case Step::RunStopWords:
                if (waiting.runStop) return {RequestKind::RunStop};
                step_ = step_ == Step::RunStopBits ? Step::Areas : Step::WordAreas;
                stepArea_ = step_ == Step::Areas ? snp::kI : snp::kAI;
                break;
            case Step::Areas:
            case Step::WordAreas: {
                const int last = step_ == Step::Areas ? snp::kQ : snp::kAQ;
                while (stepArea_ <= last && !areas_[stepArea_].enabled) ++stepArea_;
                if (stepArea_ <= last) return Part(stepArea_);
                step_ = step_ == Step::Areas ? Step::RunStopWords : Step::Writes;
                break;
            }
            case Step::Writes:
                if (waiting.writes) return {RequestKind::Write};
                step_ = Step::Edit;
                break;
            case Step::Edit:
                if (waiting.edit) return {RequestKind::Edit};
                // Nothing to write: the pass ends here. The next Next begins
                // the next pass.
                EndRound(lastRequestEnd_);
                step_ = Step::RunStopBits;
                break;
        }
    }
}

ScheduledRequest RequestSchedule::NextScheduled(Clock::time_point now, const WaitingWork& waiting) {
    if (waiting.runStop) return {RequestKind::RunStop};
    int fast = -1;
    Clock::time_point earliest{};
    for (int type = 0; type < kAreaCount; ++type) {
        Clock::time_point deadline;
        if (!FastReady(type, now, &deadline)) continue;
        if (fast < 0 || deadline < earliest) {
            fast = type;
            earliest = deadline;
        }
    }
    const int slow = SlowAreaToRead();
    const bool restWaits = waiting.edit || waiting.writes || slow >= 0;
    if (fast >= 0 && (!restWaits || fastInRow_ < kShareEvery - 1)) {
        fastInRow_ = restWaits ? fastInRow_ + 1 : 0;
        Area& area = areas_[fast];
        if (area.next == 0) {
            area.anchorWasRead = area.readOnce;
            area.anchor = area.readOnce ? area.lastBegan : restartAt_;
        }
        return Part(fast);
    }
    fastInRow_ = 0;
    if (waiting.edit) return {RequestKind::Edit};
    if (waiting.writes && (slow < 0 || writesInRow_ < kShareEvery - 1)) {
        writesInRow_ = slow >= 0 ? writesInRow_ + 1 : 0;
        return {RequestKind::Write};
    }
    writesInRow_ = 0;
    if (slow >= 0) return Part(slow);
    if (keepAliveMs_ != 0 && now - lastRequestEnd_ >= std::chrono::milliseconds(keepAliveMs_))
        return {RequestKind::KeepAlive};

    // Nothing due: wake for the first fast area to fall due, or to keep the
    // link alive.
    ScheduledRequest idle;
    idle.wakeAt = Clock::time_point::max();
    for (int type = 0; type < kAreaCount; ++type)
        if (Fast(type)) idle.wakeAt = std::min(idle.wakeAt, areas_[type].lastBegan + Period(type));
    if (keepAliveMs_ != 0)
        idle.wakeAt =
            std::min(idle.wakeAt, lastRequestEnd_ + std::chrono::milliseconds(keepAliveMs_));
    return idle;
}

bool RequestSchedule::Done(const ScheduledRequest& request, Clock::time_point sent,
                           Clock::time_point now) {
    lastRequestEnd_ = now;
    if (request.kind == RequestKind::Edit && !scheduled_) {
        // The Edit page's write ends the pass.
        EndRound(now);
        step_ = Step::RunStopBits;
        return false;
    }
    if (request.kind == RequestKind::RunStop && !scheduled_) {
        step_ = step_ == Step::RunStopBits ? Step::Areas : Step::WordAreas;
        stepArea_ = step_ == Step::Areas ? snp::kI : snp::kAI;
        return false;
    }
    if (request.kind != RequestKind::AreaPart) return false;
    Area& area = areas_[request.area];
    if (area.next == 0) {
        area.began = sent;
        area.lineTime = {};
    }
    area.lineTime += now - sent;
    // What one part takes on this line, for the areas not measured yet.
    partTime_ =
        partTime_ == Clock::duration::zero() ? now - sent : (3 * partTime_ + (now - sent)) / 4;
    if (Fast(request.area)) Restretch();
    if (++area.next < area.parts.size()) return false;
    area.next = 0;
    AreaCompleted(request.area, now);
    if (!scheduled_) ++stepArea_;
    return true;
}

void RequestSchedule::AreaCompleted(int type, Clock::time_point now) {
    Area& area = areas_[type];
    area.lastBegan = area.began;
    area.lastTook = now - area.began;
    // Averaged over the last few reads: one read slowed down (a retry, a
    // busy controller) does not stretch every period.
    area.lastLineTime = area.measured ? (3 * area.lastLineTime + area.lineTime) / 4 : area.lineTime;
    area.measured = true;
    area.readOnce = true;
    area.doneThisRound = true;
    if (!scheduled_) return;
    // A round ends when every slow area has completed its read in it; with
    // none, when every fast area has.
    for (int t = 0; t < kAreaCount; ++t)
        if ((hasSlow_ ? Slow(t) : Fast(t)) && !areas_[t].doneThisRound) return;
    EndRound(now);
}

void RequestSchedule::EndRound(Clock::time_point now) {
    for (Area& area : areas_) area.doneThisRound = false;
    roundEnded_ = true;
    roundTook_ = now - roundBegan_;
    roundBegan_ = now;
}

bool RequestSchedule::TakeRoundEnd(Clock::duration* took) {
    if (!roundEnded_) return false;
    roundEnded_ = false;
    if (took != nullptr) *took = roundTook_;
    return true;
}

void RequestSchedule::Restretch() {
    // What the fast areas ask of the line: each one's own line time per
    // period, summed. An area not read completely yet counts with what its
    // parts so far took, or with the line's usual part time: the stretch is
    // known after a few parts, before a large area's first read ends.
    double asked = 0.0;
    for (int type = 0; type < kAreaCount; ++type) {
        if (!Fast(type)) continue;
        const Area& area = areas_[type];
        const double parts = static_cast<double>(area.parts.size());
        double lineMs = 0.0;
        if (area.measured)
            lineMs = std::chrono::duration<double, std::milli>(area.lastLineTime).count();
        else if (area.next != 0)
            lineMs = std::chrono::duration<double, std::milli>(area.lineTime).count() * parts /
                     static_cast<double>(area.next);
        else
            lineMs = std::chrono::duration<double, std::milli>(partTime_).count() * parts;
        asked += lineMs / static_cast<double>(area.periodMs);
    }
    // With slow areas the fast ones carry at most their share of the line.
    const double share = hasSlow_ ? double(kShareEvery - 1) / kShareEvery : 1.0;
    stretch_ = std::max(1.0, asked / share);
}

}  // namespace tarnlight
