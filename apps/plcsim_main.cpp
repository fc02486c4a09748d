// tarnlight-plcsim: a simulated controller, or several sharing one line, on a
// pseudo-terminal (or a real serial port) for the demo and for trying the
// program without a PLC. It links the pty into the device map as COMn so the
// program opens it by name.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <sys/time.h>

#include "serial/port_names.h"
#include "sim/plc_simulator.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

void PrintLine(const std::string& text) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm local{};
    localtime_r(&tv.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::printf("%s.%03ld %s\n", stamp, static_cast<long>(tv.tv_usec / 1000), text.c_str());
    std::fflush(stdout);
}

void OnEvent(void*, const std::string& line) {
    PrintLine(line);
}

void Usage(std::FILE* out) {
    std::fputs(
        "Usage: tarnlight-plcsim [options] [--station ID [options]]...\n"
        "Simulated PLC answering SNP on a pseudo-terminal until SIGINT or SIGTERM.\n"
        "Several PLCs on one line: each --station ID adds a controller with that SNP ID\n"
        "and its own memory; the controller options after it, up to the next --station,\n"
        "are its own, and those before the first --station are every station's\n"
        "defaults. A station answers only an attach naming its ID and goes back to\n"
        "waiting for one after a break or an attach naming another ID.\n"
        "Line options (anywhere):\n"
        "  --com N            link the pty as COMN in the device map (default 1)\n"
        "  --device PATH      serve a real serial port instead of a pty\n"
        "  --baud RATE        speed of --device (default 19200)\n"
        "  --line-speed BAUD  emulate the wire time of every byte at that speed\n"
        "  --no-parity        10 bits per byte for --line-speed and --device (default 11)\n"
        "  --station ID       add a controller with SNP ID ID (1 to 7 characters)\n"
        "  --dead-station ID  the same with --dead: on the line, never answering\n"
        "Controller options:\n"
        "  --cpu-id ID        SNP ID of the only controller, at most 7 characters (default\n"
        "                     none: it answers any attach); not with --station\n"
        "  --family CODE      controller family code (default 16)\n"
        "  --model CODE       CPU model code (default 30)\n"
        "  --privilege N      privilege level granted (default 2)\n"
        "  --password TEXT    grant the privilege change only with this password (at most 8\n"
        "                     characters); another is refused (05h/01h)\n"
        "  --t1 MS            T1 returned in the attach reply, 0..255 (default 5)\n"
        "  --state N          controller state 0..15 (default 0, Run, I/O Enabled)\n"
        "  --sweep TENTHS     sweep time in tenths of a millisecond (default 123)\n"
        "  --text-buffer N    data bytes per text buffer, even, 2..2040 (default 256)\n"
        "  --turnaround MS    extra delay before each reply\n"
        "  --live             count %R1 and rotate %I1..%I8 every 100 ms\n"
        "  --bit-memory N     addresses per bit area, 1..8192 (default 8192)\n"
        "  --word-memory N    addresses per word area, 1..4096 (default 4096)\n"
        "                     reads and writes beyond them get an error reply (04h/02h)\n"
        "Faults (controller options too):\n"
        "  --dead             never answer\n"
        "  --no-ack N         ignore the next N requests\n"
        "  --bad-bcc N        wrong check code on the next N replies\n"
        "  --wrong-seq N      wrong sequence number on the next N mailbox replies\n"
        "  --ignore-writes N  ignore the next N write requests\n"
        "  --refuse-writes N  error reply (05h/01h) to the next N write requests\n"
        "  --refuse-run-stop N  error reply (05h/01h) to the next N Run/Stop requests\n"
        "  --drop-after K     go silent after K requests, as a pulled cable\n"
        "  --help             this text\n",
        out);
}

// Parses a whole decimal number within [low, high].
bool ParseNumber(const char* text, long low, long high, long& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

// One controller's options: its SimConfig and the faults it starts with.
struct StationOptions {
    tarnlight::sim::SimConfig config;
    bool dead = false;
    long noAck = 0, badBcc = 0, wrongSeq = 0, ignoreWrites = 0, refuseWrites = 0, refuseRunStop = 0,
         dropAfter = -1;
};

void ApplyFaults(tarnlight::sim::SimStation& station, const StationOptions& o) {
    station.SetDead(o.dead);
    station.FailAcks(static_cast<int>(o.noAck));
    station.CorruptBcc(static_cast<int>(o.badBcc));
    station.WrongSequence(static_cast<int>(o.wrongSeq));
    station.IgnoreWrites(static_cast<int>(o.ignoreWrites));
    station.RefuseWrites(static_cast<int>(o.refuseWrites));
    station.RefuseRunStop(static_cast<int>(o.refuseRunStop));
    if (o.dropAfter >= 0) station.DropLineAfter(static_cast<int>(o.dropAfter));
}

std::string Summary(const tarnlight::sim::SimStats& s) {
    return std::to_string(s.attaches) + " attaches, " + std::to_string(s.mailboxRequests) +
           " mailbox requests, " + std::to_string(s.writes) + " writes";
}

}  // namespace

int main(int argc, char** argv) {
    using tarnlight::sim::PlcSimulator;
    // Before the first --station: the only controller, or every station's defaults.
    StationOptions defaults;
    std::vector<StationOptions> stations;
    bool cpuIdGiven = false;
    long com = 1;
    bool comGiven = false;
    std::string device;
    long baud = 19200;
    uint32_t lineBaud = 0;
    bool parity = true;

    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const char* arg = i + 1 < argc ? argv[i + 1] : nullptr;
        StationOptions& o = stations.empty() ? defaults : stations.back();
        tarnlight::sim::SimConfig& config = o.config;
        long v = 0;
        auto number = [&](long low, long high) {
            if (!ParseNumber(arg, low, high, v)) {
                std::fprintf(stderr, "tarnlight-plcsim: %s needs a number from %ld to %ld\n",
                             opt.c_str(), low, high);
                std::exit(2);
            }
            ++i;
            return v;
        };
        if (opt == "--help" || opt == "-h") {
            Usage(stdout);
            return 0;
        } else if ((opt == "--station" || opt == "--dead-station") && arg != nullptr) {
            const std::string id = arg;
            if (id.empty() || id.size() > 7) {
                std::fprintf(stderr, "tarnlight-plcsim: %s takes an SNP ID of 1 to 7 characters\n",
                             opt.c_str());
                return 2;
            }
            for (const StationOptions& other : stations) {
                if (other.config.cpuId == id) {
                    std::fprintf(stderr, "tarnlight-plcsim: the SNP ID %s is on the line twice\n",
                                 arg);
                    return 2;
                }
            }
            stations.push_back(defaults);
            stations.back().config.cpuId = id;
            if (opt == "--dead-station") stations.back().dead = true;
            ++i;
        } else if (opt == "--com") {
            com = number(1, 32);
            comGiven = true;
        } else if (opt == "--device" && arg != nullptr) {
            device = arg;
            ++i;
        } else if (opt == "--baud") {
            baud = number(300, 115200);
            if (!std::count(tarnlight::baudRateTable.begin(), tarnlight::baudRateTable.end(),
                            baud)) {
                std::fprintf(stderr,
                             "tarnlight-plcsim: --baud takes 300, 600, 1200, 2400, 4800, 9600, "
                             "19200, 38400, 57600 or 115200\n");
                return 2;
            }
        } else if (opt == "--line-speed") {
            lineBaud = static_cast<uint32_t>(number(1, 1000000));
        } else if (opt == "--no-parity") {
            parity = false;
        } else if (opt == "--cpu-id" && arg != nullptr) {
            config.cpuId = arg;
            cpuIdGiven = true;
            if (config.cpuId.size() > 7) {
                std::fprintf(stderr, "tarnlight-plcsim: --cpu-id takes at most 7 characters\n");
                return 2;
            }
            ++i;
        } else if (opt == "--family") {
            config.familyCode = static_cast<uint8_t>(number(0, 255));
        } else if (opt == "--model") {
            config.modelCode = static_cast<uint8_t>(number(0, 255));
        } else if (opt == "--password" && arg != nullptr) {
            config.password = arg;
            if (config.password.size() > 8) {
                std::fprintf(stderr, "tarnlight-plcsim: --password takes at most 8 characters\n");
                return 2;
            }
            ++i;
        } else if (opt == "--privilege") {
            config.privilegeLevel = static_cast<uint8_t>(number(0, 255));
        } else if (opt == "--t1") {
            config.t1 = static_cast<uint16_t>(number(0, 255));
        } else if (opt == "--state") {
            config.plcState = static_cast<uint8_t>(number(0, 15));
        } else if (opt == "--sweep") {
            config.sweepTime = static_cast<uint16_t>(number(0, 65535));
        } else if (opt == "--text-buffer") {
            config.textBufferData = static_cast<size_t>(number(2, 2040));
        } else if (opt == "--turnaround") {
            config.turnaroundMs = static_cast<int>(number(0, 60000));
        } else if (opt == "--live") {
            config.liveProcess = true;
        } else if (opt == "--dead") {
            o.dead = true;
        } else if (opt == "--no-ack") {
            o.noAck = number(0, 1000000);
        } else if (opt == "--bad-bcc") {
            o.badBcc = number(0, 1000000);
        } else if (opt == "--wrong-seq") {
            o.wrongSeq = number(0, 1000000);
        } else if (opt == "--bit-memory") {
            config.bitMemory = static_cast<uint32_t>(number(1, 8192));
        } else if (opt == "--word-memory") {
            config.wordMemory = static_cast<uint32_t>(number(1, 4096));
        } else if (opt == "--ignore-writes") {
            o.ignoreWrites = number(0, 1000000);
        } else if (opt == "--refuse-writes") {
            o.refuseWrites = number(0, 1000000);
        } else if (opt == "--refuse-run-stop") {
            o.refuseRunStop = number(0, 1000000);
        } else if (opt == "--drop-after") {
            o.dropAfter = number(0, 1000000);
        } else {
            std::fprintf(stderr, "tarnlight-plcsim: unknown or incomplete option %s\n",
                         opt.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (cpuIdGiven && !stations.empty()) {
        std::fprintf(stderr,
                     "tarnlight-plcsim: --cpu-id names the only controller; with --station each "
                     "station's ID is given there\n");
        return 2;
    }
    if (stations.empty()) stations.push_back(defaults);
    stations[0].config.lineBaud = lineBaud;
    stations[0].config.parity = parity;

    PlcSimulator sim(stations[0].config);
    for (size_t n = 1; n < stations.size(); ++n) sim.AddStation(stations[n].config);
    if (!device.empty()) {
        if (!sim.OpenDevice(device, static_cast<uint32_t>(baud))) {
            std::fprintf(stderr, "tarnlight-plcsim: cannot open %s at %ld bit/s: %s\n",
                         device.c_str(), baud, std::strerror(errno));
            return 1;
        }
        PrintLine("serving " + device + " at " + std::to_string(baud) + " bit/s");
    } else {
        if (!sim.OpenPty()) {
            std::fprintf(stderr, "tarnlight-plcsim: cannot create a pseudo-terminal: %s\n",
                         std::strerror(errno));
            return 1;
        }
        PrintLine("pty " + sim.slavePath());
    }
    if (device.empty() || comGiven) {
        if (!sim.CreateDeviceLink(static_cast<int>(com - 1))) {
            std::fprintf(stderr, "tarnlight-plcsim: cannot create the COM%ld link: %s\n", com,
                         std::strerror(errno));
            return 1;
        }
        PrintLine("COM" + std::to_string(com) + " -> " + sim.deviceLinkPath());
    }

    for (size_t n = 0; n < stations.size(); ++n) {
        ApplyFaults(sim.station(static_cast<int>(n)), stations[n]);
    }
    sim.SetEventSink(&OnEvent, nullptr);

    struct sigaction sa {};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    if (!sim.Start()) {
        std::fprintf(stderr, "tarnlight-plcsim: cannot start serving\n");
        return 1;
    }
    if (sim.stationCount() > 1) {
        std::string ids;
        for (int n = 0; n < sim.stationCount(); ++n) {
            ids += (n > 0 ? ", " : "") + sim.station(n).cpuId();
            if (sim.station(n).silent()) ids += " (dead)";
        }
        PrintLine("stations " + ids);
    }
    PrintLine("running; Ctrl+C ends");
    while (gStop == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sim.Stop();
    if (sim.stationCount() == 1) {
        PrintLine("stopped: " + Summary(sim.stats()));
    } else {
        PrintLine("stopped");
        for (int n = 0; n < sim.stationCount(); ++n) {
            PrintLine(sim.station(n).cpuId() + ": " + Summary(sim.station(n).stats()));
        }
    }
    return 0;
}
