// The operator's commands: Connect, Disconnect, Start/Halt Transmision, PLC
// Run/Stop and Apply. They run on the user-interface thread and talk to the
// worker only through the engine flags.
#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>

#include "engine/engine.h"

namespace tarnlight {
namespace {

uint16_t ToU16(int value) {
    return static_cast<uint16_t>(std::clamp(value, 0, 0xFFFF));
}

std::string Trim(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), blank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

}  // namespace

bool Engine::CheckAreaRanges() {
    // A read range is refused rather than guessed at: the grids, the reads and
    // the mirror all need first <= last within the memory image.
    for (int type = snp::kI; type <= snp::kAQ; ++type) {
        if (!config_.areaEnabled[type]) continue;
        const int from = config_.areaFrom[type];
        const int to = config_.areaTo[type];
        const int max = snp::IsBitArea(type) ? snp::kMaxBitAddress : snp::kMaxWordAddress;
        const std::string area(snp::AreaSymbol(type));
        std::string problem;
        if (from > to) {
            problem = "From " + std::to_string(from) + " is above to " + std::to_string(to);
        } else if (from < 1) {
            problem = "From " + std::to_string(from) + " is below 1";
        } else if (to > max) {
            problem = "To " + std::to_string(to) + " is above " + std::to_string(max);
        }
        if (!problem.empty()) {
            window_.ShowMessageBox("Wrong memory range for " + area + ": " + problem, "Error");
            window_.SetPanelText(kLinkStatePanel, "Offline");
            window_.SetPanelText(kMessagePanel, "E23: Wrong memory range");
            return false;
        }
    }
    return true;
}

bool Engine::TakeDatabasePort(const std::string& text) {
    const std::string digits = Trim(text);
    const bool numeric = !digits.empty() && digits.size() <= 5 &&
                         std::all_of(digits.begin(), digits.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; });
    const long value = numeric ? std::stol(digits) : -1;
    if (value < 0 || value > 65535) {
        window_.ShowMessageBox("'" + text + "' is not a valid database port number (0..65535)",
                               "Error");
        window_.SetPanelText(kLinkStatePanel, "Offline");
        window_.SetPanelText(kMessagePanel, "E13: Wrong database port number");
        return false;
    }
    config_.portNum = static_cast<int32_t>(value);
    return true;
}

bool Engine::Connect(const Settings& pages, bool breakFree) {
    if (running_.load()) return false;  // Connect is disabled while a worker runs
    JoinWorker();                       // the thread object of an ended worker

    // 1. Fresh link data.
    stats_.Clear();
    flags_.dbAlive = 1;
    window_.SetIconIndex(kIconNoConnection);
    context_.ackWaitSteps = 40;
    context_.replyWaitSteps = 200;
    context_.privilegeLevel = 0;
    flags_.linkLost = 0;
    // A Disconnect that raced with the end of the last worker must not end
    // the next one at once.
    flags_.stopRequested = 0;
    // Undoes a Shutdown's abort.
    connection_.ClearAbort();

    // 2. Lost-connection policy; k as its spin edit allows it.
    config_.breakFree = breakFree;
    config_.giveUp = false;
    ApplyLostConnectionPolicy(config_, pages.lostconn, std::clamp(pages.k, 1, 255));

    // 3. Serial line.
    config_.port = pages.port;
    config_.baudRate = pages.baudRate;
    config_.parity = pages.parity;
    config_.stopBits = pages.stopBits;

    // 4.
    window_.SetPanelText(kMessagePanel, "");

    // 5.
    config_.dropBefore = pages.dropBefore;
    config_.dropAfter = pages.dropAfter;

    // 6. Areas, checked before the window or anything outside is touched.
    for (int type = 0; type < kAreaCount; ++type) {
        config_.areaEnabled[type] = pages.areaEnabled[type];
        config_.areaFrom[type] = ToU16(pages.areaFrom[type]);
        config_.areaTo[type] = ToU16(pages.areaTo[type]);
    }
    if (!CheckAreaRanges()) return false;

    // 7., 8.
    window_.LayOutMemoryMenu(config_.areaEnabled);
    window_.SetUpMemoryGrids(config_);

    // 9. Database access.
    config_.dbEnabled = pages.dbEnabled;
    config_.portNum = 0;
    if (config_.dbEnabled && !TakeDatabasePort(pages.portNum)) return false;
    config_.addressIP = pages.addressIP;
    config_.username = pages.username;
    config_.dbPassword = pages.dbPassword;
    config_.dbName = pages.dbName;
    config_.mirrorEachValue = pages.mirrorEachValue;

    // 10.
    context_.runStopPending = 0;
    context_.plcModel = 0;
    context_.plcFamily = 0;
    flags_.transmitting = 0;

    // 11. Timers and identity.
    config_.T1 = ToU16(pages.T1);
    config_.T2 = ToU16(pages.T2);
    config_.T3b = ToU16(pages.T3b);
    config_.T4 = ToU16(pages.T4);
    config_.Td = ToU16(pages.Td);
    context_.t1 = config_.T1;
    context_.t2 = config_.T2;
    context_.t3b = config_.T3b;
    config_.CPU_ID = pages.cpuId;
    config_.cpuPassword = pages.cpuPassword;

    // 12. Database mirror.
    if (config_.dbEnabled) {
        const auto progress = [this](int percent) { return window_.ReportBuildProgress(percent); };
        switch (db::ConnectMirrorDatabase(connection_, mirror_, config_, window_, progress)) {
            case db::DbConnectResult::Ok:
                break;
            case db::DbConnectResult::ConnectFailed:
                window_.SetPanelText(kLinkStatePanel, "Offline");
                window_.SetPanelText(kMessagePanel, "E11: Connecting to database error");
                return false;
            case db::DbConnectResult::SelectFailed:
                window_.SetPanelText(kLinkStatePanel, "Offline");
                window_.SetPanelText(kMessagePanel, "E12: Selecting database error");
                return false;
            case db::DbConnectResult::Cancelled:
                window_.SetPanelText(kLinkStatePanel, "Offline");
                window_.SetPanelText(kMessagePanel, "W14: Connect cancelled");
                return false;
        }
    }

    // 13. Serial port, then the worker.
    if (!port_.OpenPort(config_.port, config_.baudRate, config_.parity, config_.stopBits)) {
        // No worker will use the mirror connection: close it. The database is
        // never dropped here, whatever dropAfter says: it may be one kept from
        // an earlier run, holding requests other programs flagged that were
        // never written, and a mistyped port must not cost them.
        if (config_.dbEnabled) connection_.Close();
        window_.SetPanelText(kLinkStatePanel, "Offline");
        window_.SetPanelText(kMessagePanel, "E1-" + std::to_string(port_.openErrorCode()) +
                                                ": Openning COM port error");
        return false;
    }
    window_.SetEnabled(Control::MenuSB2, true);
    window_.SetEnabled(Control::MenuSB3, true);
    window_.SetEnabled(Control::SB_Online, false);
    window_.SetEnabled(Control::SB_Offline, true);
    if (std::any_of(config_.areaEnabled.begin(), config_.areaEnabled.end(),
                    [](bool on) { return on; }))
        window_.SetEnabled(Control::SB_Transmit_Start, true);
    window_.SetEnabled(Control::SB_Transmit_Stop, false);
    window_.SetPanelText(kLinkStatePanel, "Connecting..");

    {
        std::lock_guard<std::mutex> lock(commandMutex_);
        ending_ = false;
        running_.store(true);
    }
    try {
        worker_ = std::thread([this] { CommunicationThread(); });
    } catch (const std::system_error&) {
        running_.store(false);
        if (config_.dbEnabled) connection_.Close();  // kept, as above
        try {
            port_.ClosePort();
        } catch (const std::system_error&) {
        }
        window_.SetEnabled(Control::SB_Online, true);
        window_.SetEnabled(Control::SB_Offline, false);
        window_.SetEnabled(Control::SB_Transmit_Start, false);
        window_.SetPanelText(kLinkStatePanel, "Offline");
        return false;
    }
    return true;
}

bool Engine::Disconnect() {
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (!TakesCommands()) return false;
    window_.SetPanelText(kLinkStatePanel, "Disconnecting..");
    window_.SetEnabled(Control::SB_Offline, false);
    window_.SetEnabled(Control::SB_Transmit_Start, false);
    window_.SetEnabled(Control::SB_Transmit_Stop, false);
    flags_.stopRequested = 1;
    return true;
}

bool Engine::StartTransmission() {
    const bool anyArea = std::any_of(config_.areaEnabled.begin(), config_.areaEnabled.end(),
                                     [](bool on) { return on; });
    // As the disabled button: a full cycle with nothing to read would spin
    // without a single request on the line.
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (!TakesCommands() || !anyArea) return false;
    window_.SetEnabled(Control::SB_Transmit_Start, false);
    window_.SetEnabled(Control::SB_Transmit_Stop, true);
    flags_.transmitting = 1;
    return true;
}

void Engine::HaltTransmission() {
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (!TakesCommands()) return;
    window_.SetEnabled(Control::SB_Transmit_Start, true);
    window_.SetEnabled(Control::SB_Transmit_Stop, false);
    flags_.transmitting = 0;
}

void Engine::PlcRun() {
    context_.runStopCode = snp::kRunIoEnabled;
    context_.runStopPending = 1;
}

void Engine::PlcStop(int ioStatusItem) {
    // The code first, then the flag: the worker never sees a stale code.
    if (ioStatusItem == 0) context_.runStopCode = snp::kStopIoEnabled;
    if (ioStatusItem == 1) context_.runStopCode = snp::kStopIoDisabled;
    context_.runStopPending = 1;
}

void Engine::ApplyEdit() {
    // Disable first: a window that queues its calls must get this before the
    // worker's re-enable, or Apply would stay disabled with nothing pending.
    window_.SetEnabled(Control::Butt_UpdateMem, false);
    // A new generation before the flag, so a write already under way does
    // not take this request with it when it clears the flag.
    editGeneration_.fetch_add(1);
    flags_.pendingEdit = 1;
}

}  // namespace tarnlight
