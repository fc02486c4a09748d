// tarnlight-gateway: connects with the settings of a settings file and runs
// the read/mirror cycle headless until SIGINT or SIGTERM. Every change the
// engine makes to its "window" is printed as one time-stamped line, and so
// are the link's counters: every --stats seconds, at once on SIGUSR1, and
// once more when it stops. --trace FILE writes the bytes on the line as well.
#include <signal.h>
#include <time.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "engine/engine.h"
#include "engine/window_port.h"
#include "serial/line_trace.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "settings/settings_line.h"
#include "snp/memory.h"

namespace {

using namespace tarnlight;

// Exit codes.
constexpr int kExitStopped = 0;        // stopped by a signal
constexpr int kExitConnectFailed = 1;  // Connect refused or failed
constexpr int kExitUsage = 2;          // bad option, settings file missing, trace file unwritable
constexpr int kExitGaveUp = 3;         // connection attempts used up (E22)

const char* const kUsage =
    "Usage: tarnlight-gateway [options]\n"
    "Links to the PLC with the settings of a settings file and mirrors its memory\n"
    "into the database until SIGINT or SIGTERM.\n"
    "\n"
    "  --settings PATH  settings file (default: <settings directory>/tarnlight.ini);\n"
    "                   with [RS232] stations=..., the first file of a line of\n"
    "                   several PLCs, served in turn on its port\n"
    "  --break-free     no line break before the attach (Break-Free SNP)\n"
    "  --halted         do not start transmission: keep the link alive only\n"
    "  --values         print the values of every area read, and name=value for\n"
    "                   every tag whose value changed\n"
    "  --stats SECONDS  print the link's counters every SECONDS (also at once on\n"
    "                   SIGUSR1, and when the gateway stops)\n"
    "  --trace FILE     write every block, receive, break and purge on the line\n"
    "                   to FILE (renamed to FILE.1 at 10 MiB)\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 stopped by a signal, 1 Connect failed, 2 usage, settings\n"
    "file or trace file error, 3 the PLC (every PLC of a line) could not be\n"
    "reached (E22).\n"
    "\n"
    "With Password empty in [MySQL], the database password is the first line of\n"
    "$CREDENTIALS_DIRECTORY/dbPassword when that exists (systemd's LoadCredential=).\n";

std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    struct tm local {};
    localtime_r(&seconds, &local);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(ms));
    return text;
}

// The gateway's window: prints status changes, messages and (on request)
// values; it has no Edit page, so no manual write is ever pending.
// One station of a line prints its lines after its name ("line2: ").
class GatewayWindow : public WindowPort {
  public:
    explicit GatewayWindow(bool values, std::string station = "")
        : values_(values), prefix_(station.empty() ? "" : station + ": ") {}

    void Print(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::printf("%s %s%s\n", Timestamp().c_str(), prefix_.c_str(), what.c_str());
        std::fflush(stdout);
    }

    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        Print("Box [" + caption + "]: " + text);
    }
    void SetPanelText(int index, const std::string& text) override {
        // The sequence and cycle panels change with every request; only the
        // state panels and messages make a readable log.
        if (index == kSequencePanel || index == kCycleCountPanel) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::string& last = panels_[static_cast<size_t>(index) % panels_.size()];
            if (last == text) return;
            last = text;
        }
        Print(std::string(PanelName(index)) + ": " + (text.empty() ? "(empty)" : text));
    }
    void SetEnabled(Control, bool) override {}
    void SetIoStatusSelection(int) override {}
    void SetInfoLabel(InfoLabel label, const std::string& text) override {
        Print(std::string("Info ") + InfoLabelName(label) + ": " + text);
    }
    void SetIconIndex(int index) override {
        static const char* const kMeanings[] = {"no connection", "online", "connecting failed",
                                                "connection lost"};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (index == icon_) return;
            icon_ = index;
        }
        Print("Icon: " + std::to_string(index) + " (" +
              (index >= 0 && index < 4 ? kMeanings[index] : "?") + ")");
    }
    void LayOutMemoryMenu(const std::array<bool, kAreaCount>&) override {}
    void SetUpMemoryGrids(const LinkConfig& config) override {
        std::lock_guard<std::mutex> lock(mutex_);
        tags_ = config.tags;
    }
    void ShowBitArea(int type, uint16_t from, uint16_t to, std::vector<uint8_t> bits) override {
        if (!values_) return;
        std::string line = std::string(snp::AreaSymbol(type)) + " " + std::to_string(from) + ".." +
                           std::to_string(to) + ": ";
        for (uint8_t bit : bits) line += bit ? '1' : '0';
        Print(line);
    }
    void ShowWordArea(int type, uint16_t from, uint16_t to, std::vector<uint16_t> words) override {
        if (!values_) return;
        std::string line = std::string(snp::AreaSymbol(type)) + " " + std::to_string(from) + ".." +
                           std::to_string(to) + ":";
        for (uint16_t word : words) line += " " + std::to_string(static_cast<int16_t>(word));
        Print(line);
    }
    // One "name=value" line per tag whose bits changed ("name=value stale"
    // when only its quality did); an empty value for a REAL that is NaN or
    // infinite.
    void ShowTagValues(std::vector<TagUpdate> updates) override {
        if (!values_) return;
        std::vector<std::string> lines;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const TagUpdate& update : updates) {
                if (update.index < 0 || static_cast<size_t>(update.index) >= tags_.size()) continue;
                const TagDefinition& tag = tags_[static_cast<size_t>(update.index)];
                // The quality only when the value is not a fresh one.
                std::string line = tag.name + "=" + TagValueText(tag, update.value);
                if (update.quality != TagQuality::Good)
                    line += std::string(" ") + TagQualityName(update.quality);
                lines.push_back(std::move(line));
            }
        }
        for (const std::string& line : lines) Print(line);
    }
    EditInputs ReadEditInputs() override { return {}; }

  private:
    const bool values_;
    const std::string prefix_;
    std::mutex mutex_;
    std::vector<TagDefinition> tags_;  // guarded by mutex_
    std::array<std::string, 9> panels_;
    int icon_ = -1;
};

struct Options {
    std::string settingsPath;
    std::string tracePath;  // empty: no trace
    bool breakFree = false;
    bool halted = false;
    bool values = false;
    unsigned statsSeconds = 0;  // 0: only on SIGUSR1 and at the end
};

// A whole number of seconds, 1..86400.
bool ParseSeconds(const char* text, unsigned& seconds) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 86400) return false;
    seconds = static_cast<unsigned>(value);
    return true;
}

// False with a message for a bad command line; help sets *exitNow.
bool ParseOptions(int argc, char** argv, Options& options, bool* exitNow) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            *exitNow = true;
            return true;
        } else if (arg == "--settings") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarnlight-gateway: --settings needs a path\n");
                return false;
            }
            options.settingsPath = argv[++i];
        } else if (arg == "--trace") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarnlight-gateway: --trace needs a file\n");
                return false;
            }
            options.tracePath = argv[++i];
        } else if (arg == "--break-free") {
            options.breakFree = true;
        } else if (arg == "--halted") {
            options.halted = true;
        } else if (arg == "--values") {
            options.values = true;
        } else if (arg == "--stats") {
            if (i + 1 >= argc || !ParseSeconds(argv[i + 1], options.statsSeconds)) {
                std::fprintf(stderr,
                             "tarnlight-gateway: --stats needs a number of seconds "
                             "(1..86400)\n");
                return false;
            }
            ++i;
        } else {
            std::fprintf(stderr, "tarnlight-gateway: unknown option '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    if (options.settingsPath.empty()) options.settingsPath = SettingsFilePath(kDefaultSettingsName);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool exitNow = false;
    if (!ParseOptions(argc, argv, options, &exitNow)) return kExitUsage;
    if (exitNow) return kExitStopped;

    // First of all, so that a trace that cannot be written ends the start
    // before the settings file, the port or the database are touched. It
    // outlives the engine below, which writes into it.
    LineTrace trace;
    if (!options.tracePath.empty()) {
        std::string error;
        if (!trace.Open(options.tracePath, &error)) {
            std::fprintf(stderr, "tarnlight-gateway: %s\n", error.c_str());
            return kExitUsage;
        }
    }

    // A file whose [RS232] stations names others is a line of several
    // controllers; without the key a line of one, as always.
    std::vector<LineStation> stations;
    std::string problem;
    const LoadResult loaded = LoadLine(options.settingsPath, stations, &problem);
    if (loaded == LoadResult::Invalid) {
        std::fprintf(stderr,
                     "tarnlight-gateway: E31: Cannot load settings from selected .ini file: %s\n"
                     "%s\n",
                     options.settingsPath.c_str(), problem.c_str());
        return kExitUsage;
    }
    if (loaded != LoadResult::Ok) {
        std::fprintf(stderr,
                     "tarnlight-gateway: E31: Cannot load settings from selected .ini file: %s\n"
                     "Every key is described in the example tarnlight.ini.example (installed in "
                     "/usr/share/tarnlight/, in the source tree in docs/); copy it there and "
                     "adapt it (keys left out take their defaults).\n",
                     options.settingsPath.c_str());
        return kExitUsage;
    }

    // The signals are taken by sigtimedwait below; blocked before the worker
    // starts, so it inherits the mask and never runs a handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);  // a stats line now
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // One engine per station; a line of several shares one port, which is
    // opened here once with the first file's line settings.
    const bool shared = stations.size() > 1;
    std::vector<std::unique_ptr<GatewayWindow>> windows;
    for (const LineStation& station : stations)
        windows.push_back(
            std::make_unique<GatewayWindow>(options.values, shared ? station.name : ""));
    GatewayWindow& window = *windows.front();
    window.Print("Settings: " + options.settingsPath);
    LineTurns line(window);
    if (trace.IsOpen()) line.port().SetTrace(&trace);
    if (shared) {
        const Settings& first = stations.front().settings;
        if (!line.port().OpenPort(first.port, first.baudRate, first.parity, first.stopBits)) {
            window.Print("E1-" + std::to_string(line.port().openErrorCode()) +
                         ": Openning COM port error");
            return kExitConnectFailed;
        }
    }
    std::vector<std::unique_ptr<Engine>> engines;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        engines.push_back(shared ? std::make_unique<Engine>(*windows[i], line)
                                 : std::make_unique<Engine>(*windows[i]));
        Engine& engine = *engines.back();
        if (!shared && trace.IsOpen()) engine.SetLineTrace(&trace);
        const Settings& settings = stations[i].settings;
        if (!engine.Connect(settings, options.breakFree)) {
            windows[i]->Print("Connect failed");
            for (auto& started : engines) started->Shutdown();
            return kExitConnectFailed;
        }
        if (settings.dbEnabled) windows[i]->Print("Database: " + engine.DatabaseTls());
        if (!options.halted && !engine.StartTransmission())
            windows[i]->Print("No memory area enabled: transmission stays halted");
    }
    const auto anyRunning = [&] {
        for (const auto& engine : engines)
            if (engine->IsWorkerRunning()) return true;
        return false;
    };

    // One line per station, each after its name.
    const auto printStats = [&] {
        for (std::size_t i = 0; i < engines.size(); ++i)
            windows[i]->Print(StatsLine(engines[i]->Statistics()));
    };
    using Clock = std::chrono::steady_clock;
    const auto statsInterval = std::chrono::seconds(options.statsSeconds);
    auto nextStats = Clock::now() + statsInterval;
    int stopsSeen = 0;
    const timespec poll{0, 200 * 1000 * 1000};
    while (anyRunning()) {
        if (options.statsSeconds != 0 && Clock::now() >= nextStats) {
            printStats();
            // On a steady beat; one that came late does not bring a burst.
            nextStats += statsInterval;
            if (nextStats <= Clock::now()) nextStats = Clock::now() + statsInterval;
        }
        siginfo_t info;
        const int signal = sigtimedwait(&signals, &info, &poll);
        if (signal <= 0) continue;
        if (signal == SIGUSR1) {
            printStats();
            continue;
        }
        ++stopsSeen;
        if (stopsSeen == 1) {
            window.Print(std::string("Stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
            for (auto& engine : engines) engine->Disconnect();
        } else {
            window.Print("Stopping now: pauses cut short");
            for (auto& engine : engines) engine->Shutdown();
        }
    }
    bool allGaveUp = true;
    for (auto& engine : engines) {
        engine->JoinWorker();
        allGaveUp = allGaveUp && engine->lastWorkerEnd() == WorkerEnd::AttemptsUsedUp;
    }
    if (shared) {
        try {
            line.port().ClosePort();
        } catch (const std::system_error&) {
            // A device gone: nothing left to close.
        }
    }
    printStats();  // the figures of the whole run, for the journal
    if (allGaveUp) {
        window.Print(shared ? "Gave up: no PLC of the line can be reached"
                            : "Gave up: the PLC cannot be reached");
        return kExitGaveUp;
    }
    window.Print("Stopped");
    return kExitStopped;
}
