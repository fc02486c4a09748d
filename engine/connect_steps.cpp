// The part of Connect that waits for things outside the program, run by the
// worker before its first connection attempt: the mirror database, then the
// serial port. Either failing ends Connect with a message and no link.
#include <algorithm>
#include <future>
#include <system_error>

#include "engine/engine.h"

namespace tarnlight {

void Engine::WorkerMain() {
    if (!BuildDatabase() || !OpenPort()) {
        FinishWorker();
        return;
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
    if (config_.dbEnabled) {
        // From here on only the database's worker uses the connection, until
        // the end sequence stops it.
        mirrorWorker_.Start([this](const std::string& text) { ShowMessage(text); },
                            [this] { window_.SetPanelText(kMessagePanel, ""); }, [this] { Wake(); },
                            &context_.plcState);
    }
    EndConnect(ConnectOutcome::Started);
    CommunicationThread();
}

bool Engine::ConnectCancelled() {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return connectCancelled_ || flags_.stopRequested.load() != 0;
}

bool Engine::BuildDatabase() {
    db::DbConnectResult result = db::DbConnectResult::Ok;
    if (config_.dbEnabled) {
        const auto progress = [this](int percent) {
            if (ConnectCancelled()) return false;
            window_.ShowBuildProgress(percent);
            return true;
        };
        const auto steps = [&] {
            result = db::ConnectMirrorDatabase(connection_, mirror_, config_, window_, progress);
        };
        RunCancellable(steps);
    }
    {
        // From here on a Cancel comes too late: the port opens at once.
        std::lock_guard<std::mutex> lock(commandMutex_);
        if ((connectCancelled_ || flags_.stopRequested) && result == db::DbConnectResult::Ok)
            result = db::DbConnectResult::Cancelled;
        connecting_ = false;
    }
    switch (result) {
        case db::DbConnectResult::Ok:
            return true;
        case db::DbConnectResult::ConnectFailed:
            window_.SetPanelText(kLinkStatePanel, "Offline");
            ShowMessage("E11: Connecting to database error");
            break;
        case db::DbConnectResult::SelectFailed:
            window_.SetPanelText(kLinkStatePanel, "Offline");
            ShowMessage("E12: Selecting database error");
            break;
        case db::DbConnectResult::JournalBusy:
            window_.SetPanelText(kLinkStatePanel, "Offline");
            ShowMessage("E27: History journal in use by another Tarnlight");
            break;
        case db::DbConnectResult::JournalFailed:
            window_.SetPanelText(kLinkStatePanel, "Offline");
            ShowMessage("E28: Cannot open history journal");
            break;
        case db::DbConnectResult::Cancelled:
            // CancelConnect has said so already; a Shutdown needs no word.
            connection_.Close();
            break;
    }
    EndConnect(result == db::DbConnectResult::Cancelled ? ConnectOutcome::Cancelled
                                                        : ConnectOutcome::Failed);
    return false;
}

void Engine::RunCancellable(const std::function<void()>& steps) {
    std::future<void> ended;
    try {
        ended = std::async(std::launch::async, steps);
    } catch (const std::system_error&) {
        steps();  // no thread to spare: a hanging server then holds the cancel
        return;
    }
    // A server that answers ends its step at the next report after a cancel;
    // one that hangs in a statement would hold it up to the read time-out:
    // the statement is cut short after the grace a Shutdown gives too.
    bool aborted = false;
    while (ended.wait_for(kCancelPoll) != std::future_status::ready) {
        std::lock_guard<std::mutex> lock(commandMutex_);
        if (!aborted && connectCancelled_ &&
            std::chrono::steady_clock::now() - cancelledAt_ >= kDatabaseGrace) {
            connection_.Abort();
            aborted = true;
        }
    }
    ended.get();
}

bool Engine::OpenPort() {
    // A shared line's port is opened once, by the line's owner.
    if (line_ != nullptr
            ? port_.IsOpen()
            : port_.OpenPort(config_.port, config_.baudRate, config_.parity, config_.stopBits))
        return true;
    // No worker will use the mirror connection: close it. The database is
    // never dropped here, whatever dropAfter says: it may be one kept from
    // an earlier run, holding requests other programs flagged that were
    // never written, and a mistyped port must not cost them.
    if (config_.dbEnabled) {
        connection_.Close();
        mirror_.CloseHistory();
    }
    window_.SetPanelText(kLinkStatePanel, "Offline");
    ShowMessage("E1-" + std::to_string(port_.openErrorCode()) + ": Openning COM port error");
    EndConnect(ConnectOutcome::Failed);
    return false;
}

void Engine::EndConnect(ConnectOutcome outcome) {
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        connectOutcome_ = outcome;
    }
    connectDecided_.notify_all();
    window_.ConnectEnded(outcome == ConnectOutcome::Started);
}

void Engine::FinishWorker() {
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        running_.store(false);
    }
    workerEnded_.notify_all();
}

}  // namespace tarnlight
