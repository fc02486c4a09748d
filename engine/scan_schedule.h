#pragma once
// Which memory area the full cycle reads next, and in what pieces.
//
// An area with a scan period (LinkConfig::scanMs not 0) is a fast area: it
// falls due when its period has passed since its last complete read began,
// and is then read whole. An area left at 0 is a slow area: it is read once
// per round, one part per pass, and a new round begins when every slow area
// has completed its read in the current one. While any enabled area has a
// period, a read longer than LinkConfig::maxReadBytes data bytes goes out in
// parts of at most that size, so the worker can put the fast areas that have
// fallen due between them. With every period 0 nothing is split and every
// pass reads every enabled area once, whole: the cycle as it always was.
//
// Pure bookkeeping: the worker sends the requests and tells the schedule the
// times, so the schedule itself never waits and never touches the line.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "types/link_config.h"

namespace tarnlight {

// One read request: the first and last address, inclusive.
struct ReadPart {
    uint16_t from;
    uint16_t to;
    bool operator==(const ReadPart&) const = default;
};

// from..to of the area type cut into requests of at most maxBytes data bytes,
// counted as the SNP reads count them: a bit area in whole bytes (a part
// starts and ends on a byte boundary, except at from and to), a word area two
// bytes per word. One part when the range fits, or when maxBytes is 0. A
// 32-bit tag of the area among tags stays within one part, so its two words
// are read by the same request and never torn.
std::vector<ReadPart> SplitRead(int type, uint16_t from, uint16_t to, unsigned maxBytes,
                                const std::vector<TagDefinition>& tags = {});

class ScanSchedule {
  public:
    using Clock = std::chrono::steady_clock;

    // Takes the enabled areas with their ranges and periods; then Restart.
    void Configure(const LinkConfig& config);
    // Any enabled area has a period: long reads are split.
    bool splitting() const { return splitting_; }
    // Reads in progress are dropped, a new round begins and every fast area
    // is due at once: for a new link, or a transmission started again, where
    // parts read before would be as old as the pause.
    void Restart();
    // At the start of each full pass: the next round begins when every slow
    // area has completed its read in this one.
    void BeginPass();

    bool HasPeriod(int type) const { return areas_[type].enabled && areas_[type].periodMs != 0; }
    bool InProgress(int type) const { return areas_[type].next != 0; }
    // A fast area not in progress whose period has run out (or that was
    // never read), and, when there are slow areas, with a slow part read
    // since its last read began: a fast area whose read takes longer than
    // its period must not shut the slow ones out. A slow area that has not
    // completed its read in this round.
    bool Due(int type, Clock::time_point now) const;
    // The request the area's read goes on with.
    ReadPart NextPart(int type) const { return areas_[type].parts[areas_[type].next]; }
    // The area's next part went out at sent and its reply has arrived at
    // now. True when it was the last: the read is complete.
    bool PartRead(int type, Clock::time_point sent, Clock::time_point now);
    // How long the area's last complete read took, from its first request to
    // its last reply (the reads between its parts included).
    Clock::duration LastReadTook(int type) const { return areas_[type].lastTook; }
    // How long the pass may wait before anything is due: until the first fast
    // area falls due when every enabled area has a period, else zero.
    Clock::duration IdleTime(Clock::time_point now) const;

  private:
    struct Area {
        bool enabled = false;
        uint32_t periodMs = 0;
        std::vector<ReadPart> parts;
        size_t next = 0;  // index of the next part; 0 also when no read is in progress
        bool readSinceRestart = false;  // fast areas: due at once until read
        bool doneThisRound = false;     // slow areas
        Clock::time_point began{};      // first request of the read in progress
        Clock::time_point lastBegan{};  // first request of the last complete read
        Clock::duration lastTook{};
        uint64_t slowPartsAtBegin = 0;  // fast areas: slowPartsRead_ when the last read began
    };
    std::array<Area, kAreaCount> areas_{};
    bool splitting_ = false;
    bool hasSlowAreas_ = false;
    uint64_t slowPartsRead_ = 0;
};

}  // namespace tarnlight
