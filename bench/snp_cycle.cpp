// One full cycle's SNP traffic against the simulator over a pty with the
// line speed emulated: Run/Stop (nothing pending), the bit areas %I %M %Q,
// Run/Stop again, the word areas %AI %R %AQ. Each time is set against the
// wire bound: every byte both ways at 11 bits (8 data bits, odd parity, one
// start and one stop bit) plus the T1 pause before every block of both
// sides. Prints a Markdown table, then the default ranges' cycle without and
// with a line trace, then the round of a line of 1, 2, 4 and 8 controllers at
// 19200 bit/s (each turn: the break, the set-up with the station's SNP ID and
// one cycle of the default ranges) against its wire bound with the breaks.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "serial/line_trace.h"
#include "serial/posix_serial_backend.h"
#include "serial/serial_port.h"
#include "sim/plc_simulator.h"
#include "snp/identity.h"
#include "snp/snp_link.h"
#include "snp/snp_link_context.h"
#include "types/engine_flags.h"
#include "types/link_config.h"
#include "types/notifier.h"

namespace {

using namespace tarnlight;

// The POSIX backend with a count of the traffic. Each read of the master
// takes one whole block of the simulator (acknowledgement, reply or text
// buffer), each write is one block of the master.
class CountingBackend : public PosixSerialBackend {
  public:
    bool Write(const uint8_t* bytes, size_t count) override {
        ++writes;
        written += count;
        return PosixSerialBackend::Write(bytes, count);
    }
    bool Read(uint8_t* destination, size_t count) override {
        ++reads;
        read += count;
        return PosixSerialBackend::Read(destination, count);
    }
    void Reset() { writes = reads = written = read = 0; }

    uint64_t writes = 0, reads = 0, written = 0, read = 0;
};

struct Ranges {
    const char* name;
    uint16_t bitLast;   // %I %M %Q 1..bitLast; 0 disables
    uint16_t wordLast;  // %AI %R %AQ 1..wordLast; 0 disables
};

struct Result {
    double cycleMs;
    double boundMs;
};

constexpr uint16_t kT1 = 5;  // the controller's default T1, adopted at the attach
constexpr int kBitsPerByte = 11;

bool RunCycle(snp::SnpLink& link, const Ranges& ranges) {
    if (!link.SendRunStop()) return false;
    for (int area = 0; ranges.bitLast != 0 && area < 3; ++area) {
        if (!link.ReadBits(1, ranges.bitLast, area)) return false;
    }
    if (!link.SendRunStop()) return false;
    for (int area = 0; ranges.wordLast != 0 && area < 3; ++area) {
        if (!link.ReadWords(1, ranges.wordLast, area)) return false;
    }
    return true;
}

// The master's side on the simulator's pty: the port counts the traffic,
// and WireMs gives the line time of what it counted.
struct BenchLink {
    BenchLink(const std::string& device, int baudIndex, bool breakFree) {
        config.breakFree = breakFree;
        config.baudRate = baudIndex;
        config.T1 = kT1;
        config.T4 = 150;
        config.Td = 0;
        context.t1 = config.T1;
        auto counting = std::make_unique<CountingBackend>();
        counter = counting.get();
        port = std::make_unique<SerialPort>(notifier, context.t1, std::move(counting));
        opened = port->OpenDevice(device, baudIndex, 0, 0);
        link = std::make_unique<snp::SnpLink>(*port, context, config, image, flags);
    }
    // Every byte counted at 11 bits, and T1 before every block.
    double WireMs(uint32_t baud) const {
        return 1000.0 * kBitsPerByte * static_cast<double>(counter->written + counter->read) /
                   baud +
               static_cast<double>(context.t1) *
                   static_cast<double>(counter->writes + counter->reads);
    }

    StreamNotifier notifier;
    snp::SnpLinkContext context;
    LinkConfig config;
    snp::MemoryImage image;
    EngineFlags flags;
    CountingBackend* counter = nullptr;
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<snp::SnpLink> link;
    bool opened = false;
};

// Median cycle time of repetitions cycles, and the wire bound of one cycle.
bool Measure(const Ranges& ranges, uint32_t baud, int baudIndex, WaitMode mode, int repetitions,
             Result& result, LineTrace* trace = nullptr) {
    sim::SimConfig simConfig;
    simConfig.lineBaud = baud;
    simConfig.parity = true;
    simConfig.turnaroundMs = 0;
    simConfig.t1 = kT1;
    sim::PlcSimulator plc(simConfig);
    if (!plc.OpenPty() || !plc.Start()) return false;

    BenchLink master(plc.slavePath(), baudIndex, true);
    if (!master.opened) return false;
    master.port->SetWaitMode(mode);
    master.port->SetTrace(trace);
    if (!master.link->LinkSetUp()) return false;

    std::vector<double> times;
    double bound = 0;
    for (int i = 0; i < repetitions; ++i) {
        master.counter->Reset();
        const auto start = std::chrono::steady_clock::now();
        if (!RunCycle(*master.link, ranges)) return false;
        const auto end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        bound = master.WireMs(baud);
    }
    master.port->ClosePort();
    std::sort(times.begin(), times.end());
    result.cycleMs = times[times.size() / 2];
    result.boundMs = bound;
    return true;
}

const char* ModeName(WaitMode mode) {
    return mode == WaitMode::EventDriven ? "event-driven" : "fixed 25 ms steps";
}

// A line of stations controllers at 19200 bit/s served in turn as the
// gateway serves a line: per turn the break (its length and T4), the set-up
// chain with the station's ID, one cycle of ranges. With one station the link
// stays up: a round is the cycle alone. The round's median, its wire bound,
// and the switch (break and set-up) alone.
struct LineResult {
    double roundMs, boundMs, switchMs, switchBoundMs;
};
bool MeasureLine(int stations, const Ranges& ranges, int rounds, LineResult& result) {
    sim::SimConfig first;
    first.lineBaud = 19200;
    first.t1 = kT1;
    first.cpuId = "ST1";
    sim::PlcSimulator plc(first);
    for (int s = 1; s < stations; ++s) {
        sim::SimConfig next = first;
        next.cpuId = "ST" + std::to_string(s + 1);
        if (plc.AddStation(next) < 0) return false;
    }
    if (!plc.OpenPty() || !plc.Start()) return false;
    BenchLink master(plc.slavePath(), 6, false);
    if (!master.opened) return false;
    snp::SnpLink& link = *master.link;
    LinkConfig& config = master.config;
    const auto bound = [&] { return master.WireMs(19200); };
    const double breakMs = snp::BreakDurationMs(config.baudRate) + config.T4;
    std::vector<double> rounds_, switches;
    result = {};
    config.CPU_ID = "ST1";
    if (!link.LinkSetUp()) return false;
    for (int round = 0; round < rounds; ++round) {
        master.counter->Reset();
        double switchBound = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int s = 0; s < stations; ++s) {
            if (stations > 1) {
                config.CPU_ID = "ST" + std::to_string(s + 1);
                const auto before = std::chrono::steady_clock::now();
                const double bytesBefore = bound();
                if (!link.LinkSetUp()) return false;
                switches.push_back(std::chrono::duration<double, std::milli>(
                                       std::chrono::steady_clock::now() - before)
                                       .count());
                switchBound = bound() - bytesBefore + breakMs;
            }
            if (!RunCycle(link, ranges)) return false;
        }
        rounds_.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        result.boundMs = bound() + (stations > 1 ? stations * breakMs : 0.0);
        result.switchBoundMs = switchBound;
    }
    master.port->ClosePort();
    std::sort(rounds_.begin(), rounds_.end());
    result.roundMs = rounds_[rounds_.size() / 2];
    if (!switches.empty()) {
        std::sort(switches.begin(), switches.end());
        result.switchMs = switches[switches.size() / 2];
    }
    return true;
}

}  // namespace

int main() {
    const Ranges smallRanges{"%I %M %Q 1..48 (default)", 48, 0};
    const Ranges fullRanges{"3 x 8192 bits + 3 x 4096 words", 8192, 4096};
    struct Rate {
        uint32_t baud;
        int index;
    };
    const Rate rates[] = {{19200, 6}, {115200, 9}};

    std::printf("| ranges | bit/s | wait mode | cycle (median) | wire bound | ratio |\n");
    std::printf("|---|---|---|---|---|---|\n");
    int failures = 0;
    for (const Ranges& ranges : {smallRanges, fullRanges}) {
        for (const Rate& rate : rates) {
            for (const WaitMode mode : {WaitMode::EventDriven, WaitMode::FixedSteps}) {
                const bool full = ranges.wordLast != 0;
                const int repetitions = !full ? 5 : (rate.baud < 100000 ? 1 : 3);
                Result r{};
                if (!Measure(ranges, rate.baud, rate.index, mode, repetitions, r)) {
                    std::printf("| %s | %u | %s | failed | | |\n", ranges.name, rate.baud,
                                ModeName(mode));
                    ++failures;
                    continue;
                }
                std::printf("| %s | %u | %s | %.1f ms | %.1f ms | %.2f |\n", ranges.name, rate.baud,
                            ModeName(mode), r.cycleMs, r.boundMs, r.cycleMs / r.boundMs);
                std::fflush(stdout);
            }
        }
    }
    std::printf(
        "\nWire bound: every byte sent and received at 11 bits per byte (start, 8 data, odd "
        "parity, stop) plus T1 = %u ms before every block of the master and of the simulator; "
        "simulator turnaround 0, Td 0, text buffers of the simulator's default size.\n",
        kT1);

    // The trace must not slow the cycle: both in the same run, within 5 %.
    char dir[] = "/tmp/tl-bench-trace-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    LineTrace trace;
    if (!trace.Open(std::string(dir) + "/line.trace", nullptr)) return 1;
    std::printf("\n| ranges | bit/s | cycle without trace | with trace | difference |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const Rate& rate : rates) {
        Result plain{}, traced{};
        if (!Measure(smallRanges, rate.baud, rate.index, WaitMode::EventDriven, 15, plain) ||
            !Measure(smallRanges, rate.baud, rate.index, WaitMode::EventDriven, 15, traced,
                     &trace)) {
            std::printf("| %s | %u | failed | | |\n", smallRanges.name, rate.baud);
            ++failures;
            continue;
        }
        const double difference = 100.0 * (traced.cycleMs - plain.cycleMs) / plain.cycleMs;
        if (std::fabs(difference) > 5.0) ++failures;
        std::printf("| %s | %u | %.1f ms | %.1f ms | %+.1f %% |\n", smallRanges.name, rate.baud,
                    plain.cycleMs, traced.cycleMs, difference);
        std::fflush(stdout);
    }
    trace.Close();
    std::filesystem::remove_all(dir);

    std::printf(
        "\n| stations on the line | bit/s | round (median) | wire bound | ratio | switch (median) "
        "| switch's wire bound |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const int stations : {1, 2, 4, 8}) {
        LineResult r{};
        if (!MeasureLine(stations, smallRanges, 5, r)) {
            std::printf("| %d | 19200 | failed | | | | |\n", stations);
            ++failures;
            continue;
        }
        if (stations == 1)
            std::printf("| 1 | 19200 | %.1f ms | %.1f ms | %.2f | none | none |\n", r.roundMs,
                        r.boundMs, r.roundMs / r.boundMs);
        else
            std::printf("| %d | 19200 | %.1f ms | %.1f ms | %.2f | %.1f ms | %.1f ms |\n", stations,
                        r.roundMs, r.boundMs, r.roundMs / r.boundMs, r.switchMs, r.switchBoundMs);
        std::fflush(stdout);
    }
    std::printf(
        "\nEach station's turn on a line of several: the break (%u ms at 19200 bit/s) and T4 "
        "(150 ms), the set-up chain with its SNP ID, one cycle of %s; the wire bound counts "
        "the break and T4 as they are.\n",
        snp::BreakDurationMs(6), smallRanges.name);
    return failures == 0 ? 0 : 1;
}
