// The request schedule on a line of its own making: every request takes the
// time its bytes take at 19200 bit/s, on a clock the test moves, so the
// figures are the same on any machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "engine/request_schedule.h"
#include "snp/memory.h"

namespace tarnlight {
namespace {

using Clock = RequestSchedule::Clock;
using std::chrono::milliseconds;

struct Sent {
    RequestKind kind;
    int area;
    Clock::time_point at;
    Clock::time_point done;
    bool completed;  // the area's read ended with it
};

class ScheduleLine {
  public:
    explicit ScheduleLine(const LinkConfig& config, uint32_t keepAliveMs = 0) {
        schedule.Configure(config, keepAliveMs);
        schedule.Restart(now);
    }
    // A request's time on the line: 40 ms of frames and pauses plus the data.
    static Clock::duration Duration(const ScheduledRequest& r) {
        unsigned bytes = 0;
        if (r.kind == RequestKind::AreaPart)
            bytes = snp::IsBitArea(r.area) ? (r.part.to - r.part.from) / 8u + 1u
                                           : 2u * (r.part.to - r.part.from + 1u);
        return milliseconds(40) + std::chrono::microseconds(573 * bytes);
    }
    void Run(Clock::duration span) {
        const Clock::time_point end = now + span;
        while (now < end) {
            const WaitingWork waiting{runStop, edit, writes > 0};
            const ScheduledRequest r = schedule.Next(now, waiting);
            if (r.kind == RequestKind::None) {
                now = std::max(now + milliseconds(1), std::min(r.wakeAt, end));
                continue;
            }
            if (r.kind == RequestKind::Write) --writes;
            if (r.kind == RequestKind::RunStop) runStop = false;
            if (r.kind == RequestKind::Edit) edit = false;
            const Clock::time_point at = now;
            now += Duration(r);
            const bool completed = schedule.Done(r, at, now);
            sent.push_back({r.kind, r.area, at, now, completed});
            Clock::duration took;
            if (schedule.TakeRoundEnd(&took)) ++rounds;
        }
    }
    // The longest time between two completed reads of the area.
    Clock::duration LongestGap(int area) const {
        Clock::duration longest{};
        std::optional<Clock::time_point> last;
        for (const Sent& s : sent) {
            if (s.area != area || !s.completed) continue;
            if (last) longest = std::max(longest, s.done - *last);
            last = s.done;
        }
        return longest;
    }
    int Count(RequestKind kind, int area = -1, bool completed = false) const {
        return static_cast<int>(std::count_if(sent.begin(), sent.end(), [&](const Sent& s) {
            return s.kind == kind && (area < 0 || s.area == area) && (!completed || s.completed);
        }));
    }

    RequestSchedule schedule;
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
    std::vector<Sent> sent;
    bool runStop = false;
    bool edit = false;
    int writes = 0;
    int rounds = 0;
};

LinkConfig Areas(std::vector<std::tuple<int, uint16_t, uint32_t>> areas, uint16_t maxReadBytes) {
    LinkConfig config;
    for (const auto& [type, to, scanMs] : areas) {
        config.areaEnabled[type] = true;
        config.areaFrom[type] = 1;
        config.areaTo[type] = to;
        config.scanMs[type] = scanMs;
    }
    config.maxReadBytes = maxReadBytes;
    return config;
}

// A small fast area beside a large fast one and a slow one: read within its
// period plus its own time plus one request, the large one as its period
// asks, and the slow area keeps its share; a burst of 200 writes delays a
// due %I part by one request at most and shares the rest with the slow area.
TEST(RequestSchedule, SmallFastAreasKeepTheirPeriodBesideLargeReadsAndWriteBursts) {
    ScheduleLine line(Areas({{snp::kI, 8, 100}, {snp::kM, 8, 0}, {snp::kR, 4096, 30000}}, 64));
    line.Run(std::chrono::seconds(65));
    const auto oneRequest = ScheduleLine::Duration({RequestKind::AreaPart, snp::kR, {1, 32}});
    EXPECT_LE(line.LongestGap(snp::kI), milliseconds(100) + 2 * oneRequest);
    EXPECT_DOUBLE_EQ(line.schedule.OverAsked(), 1.0);
    EXPECT_LE(line.LongestGap(snp::kR), milliseconds(30000) + line.schedule.LastReadTook(snp::kR));
    EXPECT_GE(line.Count(RequestKind::AreaPart, snp::kM), static_cast<int>(line.sent.size()) / 8);
    EXPECT_EQ(line.rounds, line.Count(RequestKind::AreaPart, snp::kM, true));

    line.sent.clear();
    line.writes = 200;
    line.Run(std::chrono::seconds(30));
    EXPECT_EQ(line.writes, 0);
    EXPECT_LE(line.LongestGap(snp::kI), milliseconds(100) + 2 * oneRequest);
    EXPECT_GE(line.Count(RequestKind::AreaPart, snp::kM), 200 / 3);
}

// Two large fast areas whose periods ask far more than the line carries:
// both are read in turn, each period stretched by the same factor, and a
// write waits for three fast parts at most.
TEST(RequestSchedule, FastAreasAskingTooMuchShareTheLineInProportion) {
    ScheduleLine line(Areas({{snp::kI, 8192, 100}, {snp::kR, 4096, 100}}, 64));
    line.Run(std::chrono::seconds(60));
    EXPECT_GT(line.schedule.OverAsked(), 50.0);
    EXPECT_GE(line.Count(RequestKind::AreaPart, snp::kI, true), 3);
    EXPECT_GE(line.Count(RequestKind::AreaPart, snp::kR, true), 3);
    EXPECT_EQ(line.rounds, std::min(line.Count(RequestKind::AreaPart, snp::kI, true),
                                    line.Count(RequestKind::AreaPart, snp::kR, true)));
    line.writes = 5;
    const size_t from = line.sent.size();
    line.Run(std::chrono::seconds(2));
    EXPECT_EQ(line.writes, 0);
    EXPECT_LE(std::find_if(line.sent.begin() + from, line.sent.end(),
                           [](const Sent& s) { return s.kind == RequestKind::Write; }) -
                  (line.sent.begin() + from),
              3);
}

// Every area fast with a long period: between its reads the line carries a
// keep-alive at least every half T3', and nothing else.
TEST(RequestSchedule, AnIdleLineIsKeptAlive) {
    ScheduleLine line(Areas({{snp::kR, 64, 20000}}, 512), 2500);
    line.Run(std::chrono::seconds(45));
    EXPECT_EQ(line.Count(RequestKind::AreaPart, snp::kR, true), 3);
    EXPECT_EQ(line.rounds, 3);
    Clock::time_point last = line.sent.front().at;
    for (const Sent& s : line.sent) {
        EXPECT_LE(s.at - last, milliseconds(2500) + milliseconds(1));
        last = s.done;
    }
    EXPECT_GE(line.Count(RequestKind::KeepAlive), 15);
}

// Every period 0: the pass as it always was, Run/Stop before each kind of
// area, the writes and the Edit page's write after the reads.
TEST(RequestSchedule, EveryPeriodZeroKeepsThePass) {
    ScheduleLine line(Areas({{snp::kI, 48, 0}, {snp::kQ, 48, 0}, {snp::kR, 16, 0}}, 64));
    line.runStop = true;
    line.writes = 2;
    line.edit = true;
    line.Run(milliseconds(700));
    std::vector<std::pair<RequestKind, int>> order;
    for (const Sent& s : line.sent) order.emplace_back(s.kind, s.area);
    using K = RequestKind;
    const std::vector<std::pair<RequestKind, int>> pass = {
        {K::RunStop, -1}, {K::AreaPart, snp::kI}, {K::AreaPart, snp::kQ}, {K::AreaPart, snp::kR},
        {K::Write, -1},   {K::Write, -1},         {K::Edit, -1},          {K::AreaPart, snp::kI}};
    ASSERT_GE(order.size(), pass.size());
    order.resize(pass.size());
    EXPECT_EQ(order, pass);
    EXPECT_GE(line.rounds, 1);
    EXPECT_FALSE(line.schedule.scheduled());
}

}  // namespace
}  // namespace tarnlight
