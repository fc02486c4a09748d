// How fresh the areas stay with scan periods: the engine's own full cycle
// against the simulator with the line speed emulated, all six areas at their
// largest ranges (3 x 8192 bits, 3 x 4096 words), Td 0. For each case it
// notes when each area's read completed (its grid call) and reports:
//   - the age of %I when read: the time since its previous complete read,
//     median and maximum;
//   - the slow areas' full refresh: the time between two complete reads of
//     %AQ, the last of them in every pass or round.
// Cases: every period 0 (the cycle as it always was) and %I_scan=500 with
// maxReadBytes 512, at 19200 and 115200 bit/s; at 19200 also %I 1..256
// without and with the period, and with maxReadBytes 1024. Prints a
// Markdown table.
//
//   tarnlight-bench-scan [BAUD]   (only the cases at that bit rate)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/temp_config_home.h"
#include "bench/timing_window.h"
#include "engine/engine.h"
#include "settings/settings.h"
#include "sim/plc_simulator.h"

namespace {

using namespace tarnlight;
using Clock = std::chrono::steady_clock;

using bench::TimingWindow;

struct Case {
    uint32_t baud;
    int baudIndex;
    uint16_t iLast;  // %I 1..iLast
    uint32_t iScanMs;
    int maxReadBytes = kMaxReadBytesDefault;
};

struct Figures {
    double ageMedianS = 0, ageMaxS = 0;
    double refreshS = 0;
    size_t ages = 0, refreshes = 0;
};

std::vector<double> Intervals(const std::vector<Clock::time_point>& times) {
    std::vector<double> seconds;
    for (size_t i = 1; i < times.size(); ++i)
        seconds.push_back(std::chrono::duration<double>(times[i] - times[i - 1]).count());
    return seconds;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool Measure(const Case& c, Figures& figures) {
    tools::TempConfigHome home("tl-bench-scan");
    sim::SimConfig simConfig;
    simConfig.cpuId = "BENCH";
    simConfig.t1 = 5;
    simConfig.lineBaud = c.baud;
    simConfig.parity = true;
    sim::PlcSimulator simulator(simConfig);
    if (!home.ok() || !simulator.OpenPty() || !simulator.CreateDeviceLink(0) || !simulator.Start())
        return false;

    Settings settings = DefaultSettings();
    settings.port = 0;
    settings.baudRate = c.baudIndex;
    settings.parity = 0;
    settings.cpuId = "BENCH";
    settings.T4 = 10;
    settings.Td = 0;
    settings.dbEnabled = false;
    settings.areaEnabled = {true, true, true, true, true, true};
    settings.areaFrom = {1, 1, 1, 1, 1, 1};
    settings.areaTo = {c.iLast, 8192, 8192, 4096, 4096, 4096};
    settings.scanMs[snp::kI] = static_cast<int>(c.iScanMs);
    settings.maxReadBytes = c.maxReadBytes;

    TimingWindow window;
    Engine engine(window);
    if (!engine.Connect(settings, /*breakFree=*/true)) return false;
    if (!WaitUntil([&] { return window.linkState() == "Online"; }, std::chrono::seconds(30)))
        return false;
    engine.StartTransmission();
    // Three reads of %I at least (two ages) and a full refresh of the slow
    // areas after the first.
    const bool done =
        WaitUntil([&] { return window.Completed(snp::kAQ) >= 2 && window.Completed(snp::kI) >= 3; },
                  std::chrono::seconds(600));
    engine.Shutdown();
    if (!done) return false;

    std::vector<double> ages = Intervals(window.Times(snp::kI));
    std::sort(ages.begin(), ages.end());
    figures.ages = ages.size();
    figures.ageMedianS = ages[ages.size() / 2];
    figures.ageMaxS = ages.back();
    const std::vector<double> refreshes = Intervals(window.Times(snp::kAQ));
    figures.refreshes = refreshes.size();
    for (double s : refreshes) figures.refreshS += s / static_cast<double>(refreshes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A bit rate as the argument runs only its cases.
    const unsigned long only = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 0;
    const Case cases[] = {
        {19200, 6, 8192, 0},    {19200, 6, 8192, 500},      {19200, 6, 256, 0},
        {19200, 6, 256, 500},   {19200, 6, 256, 500, 1024}, {115200, 9, 8192, 0},
        {115200, 9, 8192, 500},
    };
    std::printf(
        "| bit/s | %%I range | %%I_scan | maxReadBytes | %%I age median | %%I age max | slow "
        "refresh | samples "
        "(ages/refreshes) |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    int failures = 0;
    for (const Case& c : cases) {
        if (only != 0 && c.baud != only) continue;
        Figures f;
        if (!Measure(c, f)) {
            std::printf("| %u | 1..%u | %u | %d | failed | | | |\n", c.baud, c.iLast, c.iScanMs,
                        c.maxReadBytes);
            ++failures;
            continue;
        }
        std::printf("| %u | 1..%u | %u | %d | %.2f s | %.2f s | %.2f s | %zu/%zu |\n", c.baud,
                    c.iLast, c.iScanMs, c.maxReadBytes, f.ageMedianS, f.ageMaxS, f.refreshS, f.ages,
                    f.refreshes);
        std::fflush(stdout);
    }
    std::printf(
        "\nAll six areas enabled, %%M %%Q 1..8192, %%AI %%R %%AQ 1..4096, every other period 0, "
        "Td 0, T1 5 ms, the simulator's line emulated at 11 bits per byte.\n");
    return failures == 0 ? 0 : 1;
}
