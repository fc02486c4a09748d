// The operator's commands: Connect, Disconnect, Start/Halt Transmision, PLC
// Run/Stop and Apply. They run on the user-interface thread and talk to the
// worker only through the engine flags.
#include <algorithm>
#include <string>
#include <system_error>

#include "engine/engine.h"

namespace tarnlight {

bool Engine::ShowProblem(const std::optional<SnapshotProblem>& problem) {
    if (!problem) return false;
    window_.ShowMessageBox(problem->boxText, problem->boxCaption);
    window_.SetPanelText(kLinkStatePanel, "Offline");
    ShowMessage(problem->message);
    return true;
}

void Engine::ResetLinkData() {
    stats_.Clear();
    overAskShown_ = false;
    overAskedReads_ = 0;
    stats_.SetAreas(config_.areaEnabled, config_.scanMs);
    flags_.dbAlive = 1;
    window_.SetIconIndex(kIconNoConnection);
    context_.ackWaitSteps = 40;
    context_.replyWaitSteps = 200;
    context_.privilegeLevel = 0;
    flags_.linkLost = 0;
    // A Disconnect that raced with the end of the last worker must not end
    // the next one at once.
    flags_.stopRequested = 0;
    flags_.transmitting = 0;
    // Undoes a Shutdown's abort.
    connection_.ClearAbort();
    context_.runStopPending = 0;
    context_.plcModel = 0;
    context_.plcFamily = 0;
    // The set-up starts from the configured timers and replaces them with
    // the controller's.
    context_.t1 = config_.T1;
    context_.t2 = config_.T2;
    context_.t3b = config_.T3b;
    window_.SetPanelText(kMessagePanel, "");
}

void Engine::PrepareWindow() {
    window_.LayOutMemoryMenu(config_.areaEnabled);
    window_.SetUpMemoryGrids(config_);
}

bool Engine::Connect(const Settings& pages, bool breakFree) {
    if (!StartConnect(pages, breakFree)) return false;
    std::unique_lock<std::mutex> lock(sleepMutex_);
    connectDecided_.wait(lock, [this] { return connectOutcome_ != ConnectOutcome::Pending; });
    if (connectOutcome_ == ConnectOutcome::Started) return true;
    lock.unlock();
    JoinWorker();  // ends right after its message: no worker left behind
    return false;
}

bool Engine::StartConnect(const Settings& pages, bool breakFree) {
    if (running_.load()) return false;  // Connect is disabled while a worker runs
    JoinWorker();                       // the thread object of an ended worker

    config_ = TakeLinkSnapshot(pages, breakFree, config_);
    ResetLinkData();
    // The ranges are checked before the window or anything outside is
    // touched; the grids are laid out before the database port is looked
    // at, so a wrong port still leaves them matching the pages.
    if (ShowProblem(CheckAreaRanges(config_))) return false;
    if (ShowProblem(CheckTagRanges(config_))) return false;
    PrepareWindow();
    if (ShowProblem(CheckDatabasePort(config_, pages.portNum))) return false;
    if (ShowProblem(CheckHistoryDatabase(config_))) return false;

    {
        std::lock_guard<std::mutex> lock(commandMutex_);
        ending_ = false;
        connecting_ = true;
        connectCancelled_ = false;
    }
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        connectOutcome_ = ConnectOutcome::Pending;
        running_.store(true);
    }
    try {
        // The database steps and the port wait for things outside the
        // program (a server, a device): the worker runs them, so the caller
        // (the window's event loop) never waits for them.
        worker_ = std::thread([this] { WorkerMain(); });
    } catch (const std::system_error&) {
        window_.SetPanelText(kLinkStatePanel, "Offline");
        EndConnect(ConnectOutcome::Failed);
        FinishWorker();
        return false;
    }
    return true;
}

bool Engine::CancelConnect() {
    std::lock_guard<std::mutex> lock(commandMutex_);
    // Once the database is built the port opens at once: too late to cancel.
    if (!connecting_ || connectCancelled_) return false;
    connectCancelled_ = true;
    cancelledAt_ = std::chrono::steady_clock::now();
    // Said at once: the window is the operator's again, whatever the
    // database step under way still takes to end.
    window_.SetPanelText(kLinkStatePanel, "Offline");
    ShowMessage("W14: Connect cancelled");
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
    Wake();
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
    Wake();
    return true;
}

void Engine::HaltTransmission() {
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (!TakesCommands()) return;
    window_.SetEnabled(Control::SB_Transmit_Start, true);
    window_.SetEnabled(Control::SB_Transmit_Stop, false);
    flags_.transmitting = 0;
    Wake();
}

void Engine::PlcRun() {
    context_.runStopCode = snp::kRunIoEnabled;
    context_.runStopPending = 1;
    Wake();
}

void Engine::PlcStop(int ioStatusItem) {
    // The code first, then the flag: the worker never sees a stale code.
    if (ioStatusItem == 0) context_.runStopCode = snp::kStopIoEnabled;
    if (ioStatusItem == 1) context_.runStopCode = snp::kStopIoDisabled;
    context_.runStopPending = 1;
    Wake();
}

void Engine::ApplyEdit() {
    // Disable first: a window that queues its calls must get this before the
    // worker's re-enable, or Apply would stay disabled with nothing pending.
    window_.SetEnabled(Control::Butt_UpdateMem, false);
    // A new generation before the flag, so a write already under way does
    // not take this request with it when it clears the flag.
    editGeneration_.fetch_add(1);
    flags_.pendingEdit = 1;
    Wake();
}

}  // namespace tarnlight
