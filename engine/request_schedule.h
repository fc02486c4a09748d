#pragma once
// The full cycle as a schedule of single requests: after each request on the
// line the schedule names the next one. Pure bookkeeping: the worker sends
// the requests and tells the schedule when each went out and when its answer
// came, so the schedule never waits and never touches the line (one station,
// one schedule: a line of several controllers keeps one per station).
//
// With every scan period 0 the schedule keeps the cycle as it always was: a
// pass reads every enabled area whole, one request each in area order (a
// pending Run/Stop before the bit areas and before the word areas), then the
// database's write requests, then the Edit page's write.
//
// Once any area has a period, reads go out in parts of at most maxReadBytes
// and each step picks, in this order:
//   1. a pending Run/Stop;
//   2. the next part of a fast area (one with a period) that is due or under
//      way, earliest deadline first: an area falls due its period after its
//      last complete read began, and should be read by one period later;
//   3. otherwise the waiting work of the rest: the Edit page's write, the
//      database's write requests, the next part of a slow area (period 0).
// The rest keeps a share of the line: when it waits, at most kShareEvery - 1
// fast parts go out in a row before one of its requests does, and between
// writes and slow parts the same holds the other way. When the fast areas ask
// more of the line than their share carries, every fast period is stretched
// by the same factor (OverAsked), so they share the line in proportion.
// Slow areas are read once per round; the next round begins when every slow
// area has completed its read in this one. With nothing due the line would
// fall silent: a keep-alive request goes out once half of T3' has passed
// since the last one.
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

enum class RequestKind : uint8_t {
    None,       // nothing to send before wakeAt (or an earlier wake)
    RunStop,    // the pending Run/Stop command
    AreaPart,   // the next part of area's read
    Write,      // the next database write request
    Edit,       // the Edit page's write
    KeepAlive,  // a status request, so the controller does not drop the link
};

struct ScheduledRequest {
    RequestKind kind = RequestKind::None;
    int area = -1;  // AreaPart
    ReadPart part{};
    std::chrono::steady_clock::time_point wakeAt{};  // None
};

// Work outside the reads that waits for the line.
struct WaitingWork {
    bool runStop = false;
    bool edit = false;
    bool writes = false;
};

class RequestSchedule {
  public:
    using Clock = std::chrono::steady_clock;
    // When the rest waits, at least one request in this many is its.
    static constexpr int kShareEvery = 4;

    // Takes the enabled areas with their ranges and periods; keepAliveMs is
    // the longest silence allowed on the line (half of T3'; 0: none). Then
    // Restart.
    void Configure(const LinkConfig& config, uint32_t keepAliveMs);
    // Any enabled area has a period.
    bool scheduled() const { return scheduled_; }
    // Reads in progress are dropped, a new round begins, every fast area is
    // due at once: for a new link or a transmission started again.
    void Restart(Clock::time_point now);

    // The request to send now.
    ScheduledRequest Next(Clock::time_point now, const WaitingWork& waiting);
    // The request went out at sent and its answer arrived at now. For an
    // area part, true when it was the area's last: the read is complete.
    bool Done(const ScheduledRequest& request, Clock::time_point sent, Clock::time_point now);

    // Some part of the area's read has arrived, the rest has not.
    bool ReadUnderWay(int type) const { return areas_[type].next != 0; }
    // A round ended with the last Done: every slow area (with none, every
    // fast area) completed a read since the round began; with every period
    // 0, the pass with its writes and the Edit page's write. Cleared by the
    // call; the round's length in *took.
    bool TakeRoundEnd(Clock::duration* took);
    // The area's last complete read, from its first request to its last
    // reply, and the line time of its own requests in it.
    Clock::duration LastReadTook(int type) const { return areas_[type].lastTook; }
    // The factor by which the fast periods are stretched: 1 while the fast
    // areas' own line times fit their share of the line; else how many
    // times over they ask it.
    double OverAsked() const { return stretch_; }

  private:
    struct Area {
        bool enabled = false;
        uint32_t periodMs = 0;
        std::vector<ReadPart> parts;
        size_t next = 0;                // next part; 0 also when no read is under way
        bool readOnce = false;          // fast: completed a read since Restart
        bool doneThisRound = false;     // completed a read in this round
        Clock::time_point began{};      // first request of the read under way
        Clock::time_point lastBegan{};  // and of the last complete one
        // The read under way counts its deadline from here (see Deadline).
        Clock::time_point anchor{};
        bool anchorWasRead = false;
        Clock::duration lastTook{};
        Clock::duration lineTime{};      // the parts' own times in the read under way
        Clock::duration lastLineTime{};  // and in the last complete ones, averaged
        bool measured = false;
    };
    bool Fast(int type) const { return areas_[type].enabled && areas_[type].periodMs != 0; }
    bool Slow(int type) const { return areas_[type].enabled && areas_[type].periodMs == 0; }
    Clock::duration Period(int type) const;  // stretched
    Clock::time_point Deadline(int type, bool wasRead, Clock::time_point anchor) const;
    // A fast area due or under way; its deadline.
    bool FastReady(int type, Clock::time_point now, Clock::time_point* deadline) const;
    int SlowAreaToRead() const;  // -1: none
    ScheduledRequest NextPassStep(const WaitingWork& waiting);
    ScheduledRequest NextScheduled(Clock::time_point now, const WaitingWork& waiting);
    ScheduledRequest Part(int type) const;
    void AreaCompleted(int type, Clock::time_point now);
    void EndRound(Clock::time_point now);
    void Restretch();

    std::array<Area, kAreaCount> areas_{};
    bool scheduled_ = false;
    bool hasSlow_ = false;
    uint32_t keepAliveMs_ = 0;
    double stretch_ = 1.0;
    Clock::duration partTime_{};  // what a part takes, averaged
    // Every period 0: where the pass stands.
    enum class Step : uint8_t { RunStopBits, Areas, RunStopWords, WordAreas, Writes, Edit };
    Step step_ = Step::RunStopBits;
    int stepArea_ = 0;
    // The share: fast parts in a row while the rest waited, writes in a row
    // while a slow part waited.
    int fastInRow_ = 0;
    int writesInRow_ = 0;
    Clock::time_point restartAt_{};
    Clock::time_point roundBegan_{};
    Clock::time_point lastRequestEnd_{};
    bool roundEnded_ = false;
    Clock::duration roundTook_{};
};

}  // namespace tarnlight
