// The request schedule under settings that ask much of it, with the mirror
// database on: the engine's own cycle against the simulator with the line
// speed emulated at 19200 bit/s (T1 5 ms, Td 0, maxReadBytes 64) and a
// private MariaDB server. Cases:
//   - two large fast areas: %I 1..8192 and %R 1..4096, both every 100 ms;
//   - a small fast area beside a large fast one: %I 1..8 every 100 ms, %R
//     1..4096 every 30 s, %M 1..8 slow;
//   - a burst of 200 flagged %R rows beside %I 1..8 every 100 ms, %M 1..8
//     and %R 1..256 slow.
// For each it reports every fast area's largest age (time between two
// complete reads) against its period plus its read time, the slow refresh,
// the write latency (flag set to flag 0 seen, median and largest) and the
// largest step of link_stats.updated_at. Prints a Markdown table.
//
//   tarnlight-bench-pace DIR   (DIR: a server of scripts/mariadb-private)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/private_server.h"
#include "apps/temp_config_home.h"
#include "bench/timing_window.h"
#include "db/mirror_connection.h"
#include "engine/engine.h"
#include "settings/settings.h"
#include "sim/plc_simulator.h"

namespace {

using namespace tarnlight;
using Clock = std::chrono::steady_clock;

using bench::TimingWindow;

struct Area {
    int type;
    uint16_t last;
    int scanMs;
};

struct Case {
    const char* name;
    std::vector<Area> areas;
    int writes;   // rows flagged at once
    int singles;  // rows flagged one at a time, 2 s apart
    int seconds;  // how long it runs
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double LargestGap(const std::vector<Clock::time_point>& times) {
    double largest = 0;
    for (size_t i = 1; i < times.size(); ++i)
        largest = std::max(largest, Seconds(times[i] - times[i - 1]));
    return largest;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void Run(const Case& c, const std::string& dir) {
    tools::TempConfigHome home("tl-bench-pace");
    sim::SimConfig simConfig;
    simConfig.cpuId = "BENCH";
    simConfig.t1 = 5;
    simConfig.lineBaud = 19200;
    sim::PlcSimulator simulator(simConfig);
    const db::ConnectionParams server = tools::PrivateServerParams(dir);
    db::MirrorConnection other;
    if (!home.ok() || !simulator.OpenPty() || !simulator.CreateDeviceLink(0) ||
        !simulator.Start() || !other.Open(server)) {
        std::printf("| %s | failed to start | | | | |\n", c.name);
        return;
    }
    Settings settings = DefaultSettings();
    settings.port = 0;
    settings.baudRate = 6;
    settings.cpuId = "BENCH";
    settings.T4 = 10;
    settings.dbEnabled = true;
    settings.addressIP = server.host;
    settings.portNum = std::to_string(server.port);
    settings.username = server.user;
    settings.dbPassword = server.password;
    settings.dbName = "bench_pace";
    settings.areaEnabled = {};
    for (const Area& a : c.areas) {
        settings.areaEnabled[a.type] = true;
        settings.areaFrom[a.type] = 1;
        settings.areaTo[a.type] = a.last;
        settings.scanMs[a.type] = a.scanMs;
    }
    settings.maxReadBytes = 64;

    TimingWindow window;
    Engine engine(window);
    if (!engine.Connect(settings, true) ||
        !WaitUntil([&] { return window.linkState() == "Online"; }, std::chrono::seconds(30))) {
        std::printf("| %s | failed to connect | | | | |\n", c.name);
        return;
    }
    engine.StartTransmission();

    // link_stats.updated_at, polled by another program every 50 ms.
    std::atomic<bool> polling{true};
    std::string lastSeen;
    Clock::time_point lastChange = Clock::now();
    double largestStep = 0;
    std::thread poller([&] {
        db::MirrorConnection reader;
        if (!reader.Open(server)) return;
        while (polling) {
            db::Rows rows;
            if (reader.FetchRows("SELECT updated_at FROM bench_pace.link_stats", rows) &&
                !rows.empty() && rows[0][0] != lastSeen) {
                const Clock::time_point now = Clock::now();
                if (!lastSeen.empty())
                    largestStep = std::max(largestStep, Seconds(now - lastChange));
                lastSeen = rows[0][0];
                lastChange = now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });

    std::vector<double> latencies;
    const auto flagged = [&](int from, int count) {
        db::Rows rows;
        return other.FetchRows(
                   "SELECT COUNT(*) FROM bench_pace.new_r WHERE flag <> 0 AND id "
                   "BETWEEN " +
                       std::to_string(from) + " AND " + std::to_string(from + count - 1),
                   rows) &&
               !rows.empty() && rows[0][0] != "0";
    };
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(c.seconds / 3));
    if (c.writes > 0) {
        // One statement flags them all; each row's latency is when the
        // last flag was seen back at 0 for the burst as a whole, and the
        // median from the share written at each poll.
        const Clock::time_point flaggedAt = Clock::now();
        other.Query("UPDATE bench_pace.new_r SET value = id, flag = 1 WHERE id BETWEEN 1 AND " +
                    std::to_string(c.writes));
        int left = c.writes;
        while (left > 0 && Clock::now() - flaggedAt < std::chrono::seconds(120)) {
            db::Rows rows;
            if (other.FetchRows("SELECT COUNT(*) FROM bench_pace.new_r WHERE flag <> 0", rows) &&
                !rows.empty()) {
                const int now = std::stoi(rows[0][0]);
                for (int i = now; i < left; ++i)
                    latencies.push_back(Seconds(Clock::now() - flaggedAt));
                left = now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    for (int i = 0; i < c.singles; ++i) {
        const int id = 100 + i;
        const Clock::time_point flaggedAt = Clock::now();
        other.Query("UPDATE bench_pace.new_r SET value = 7, flag = 1 WHERE id = " +
                    std::to_string(id));
        if (WaitUntil([&] { return !flagged(id, 1); }, std::chrono::seconds(120)))
            latencies.push_back(Seconds(Clock::now() - flaggedAt));
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    while (Clock::now() - start < std::chrono::seconds(c.seconds))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    polling = false;
    poller.join();
    const LinkStatsSnapshot stats = engine.Statistics();
    std::fprintf(stderr, "%s: %s\n", c.name, StatsLine(stats).c_str());
    engine.Shutdown();
    other.Query("DROP DATABASE bench_pace");

    std::string ages, slow;
    for (const Area& a : c.areas) {
        const std::vector<Clock::time_point> times = window.Times(a.type);
        const double readS = static_cast<double>(stats.areas[a.type].readMsLast) / 1000.0;
        char text[160];
        if (a.scanMs != 0) {
            std::snprintf(text, sizeof text, "%s%s %.2f s (%.2f + %.2f s; %zu reads)",
                          ages.empty() ? "" : "; ", std::string(snp::AreaSymbol(a.type)).c_str(),
                          LargestGap(times), a.scanMs / 1000.0, readS, times.size());
            ages += text;
        } else {
            std::snprintf(text, sizeof text, "%s%s %.2f s", slow.empty() ? "" : "; ",
                          std::string(snp::AreaSymbol(a.type)).c_str(), LargestGap(times));
            slow += text;
        }
    }
    std::sort(latencies.begin(), latencies.end());
    char latency[64] = "none";
    if (!latencies.empty())
        std::snprintf(latency, sizeof latency, "%.2f s / %.2f s", latencies[latencies.size() / 2],
                      latencies.back());
    std::printf("| %s | %s | %s | %s | %.2f s | %s |\n", c.name, ages.c_str(),
                slow.empty() ? "none" : slow.c_str(), latency, largestStep,
                window.overAsked().empty() ? "none" : window.overAsked().c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarnlight-bench-pace DIR\n");
        return 2;
    }
    const Case cases[] = {
        {"two large fast areas", {{snp::kI, 8192, 100}, {snp::kR, 4096, 100}}, 0, 5, 120},
        {"small fast beside large fast",
         {{snp::kI, 8, 100}, {snp::kM, 8, 0}, {snp::kR, 4096, 30000}},
         0,
         5,
         100},
        {"burst of 200 writes",
         {{snp::kI, 8, 100}, {snp::kM, 8, 0}, {snp::kR, 256, 0}},
         200,
         0,
         45},
    };
    std::printf(
        "| case | fast areas: largest age (period + read time) | slow refresh, largest | write "
        "latency, median / largest | updated_at, largest step | message |\n");
    std::printf("|---|---|---|---|---|---|\n");
    // A second argument runs only the case whose name starts with it.
    for (const Case& c : cases)
        if (argc < 3 || std::string(c.name).rfind(argv[2], 0) == 0) Run(c, argv[1]);
    return 0;
}
