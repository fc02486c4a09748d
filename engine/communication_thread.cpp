// The worker: connection attempts under the lost-connection policy, the
// cycle loop, and the shut-down that returns the window to its idle state.
#include <algorithm>
#include <chrono>
#include <string>
#include <system_error>

#include "engine/engine.h"
#include "engine/grid_format.h"
#include "engine/plc_status.h"
#include "snp/identity.h"

namespace tarnlight {
namespace {

std::string ConnectingText(const LinkConfig& config, uint16_t attemptNumber) {
    if (config.retryForever) return "Connecting..  (" + std::to_string(attemptNumber) + ")";
    if (config.attemptBudget == 1) return "Connecting..";
    return "Connecting..  " + std::to_string(attemptNumber) + "/" +
           std::to_string(config.attemptBudget);
}

}  // namespace

int Engine::CommunicationThread() {
    uint8_t attemptsLeft = config_.attemptBudget;
    uint16_t attemptNumber = 0;
    TakeDatabaseTls();
    SetLinkState(LinkState::Connecting);

    lineFailures_ = 0;
    lineSkips_ = 0;
    while (attemptsLeft != 0 && !flags_.stopRequested) {
        if (!TakeLine()) break;
        if (lineSkips_ > 0) {
            // Backing off: the turn goes to the next station at once.
            --lineSkips_;
            line_->Pass(station_);
            continue;
        }
        flags_.linkLost = 0;
        lossMessage_.clear();
        ++attemptNumber;
        window_.SetPanelText(kLinkStatePanel, ConnectingText(config_, attemptNumber));

        const bool online = ConnectionAttempt();
        if (online) {
            lineFailures_ = 0;
            // A link that came up gets a fresh series after a later loss.
            attemptsLeft = config_.attemptBudget;
            attemptNumber = 0;
            FillPlcInfo();
            CycleLoop();
            // A request cut short by Shutdown is no lost link.
            if (flags_.linkLost && !port_.IsAborted()) {
                window_.SetEnabled(Control::Butt_PlcRun, false);
                window_.SetEnabled(Control::Butt_PlcStop, false);
                window_.SetEnabled(Control::RadioGroup_IOstatus, false);
                window_.SetPanelText(kLinkStatePanel, "Offline");
                // A read the controller refused says why instead.
                ShowMessage(lossMessage_.empty() ? "E21: Lost connection with PLC" : lossMessage_);
                window_.SetPanelText(kPlcStatePanel, "");
                window_.SetPanelText(kSweepPanel, "");
                window_.SetIconIndex(kIconConnectionLost);
                ShowTagQualities(false);
                ++stats_.counters.links_lost;
                SetLinkState(LinkState::Connecting);
            }
            continue;
        }
        if (port_.IsAborted()) break;  // cut short by Shutdown: no E22
        // A station that does not answer costs its line an attach time-out in
        // its turn: in every round at first, then in every second, fourth,
        // and at most every eighth round.
        if (line_ != nullptr) {
            ++lineFailures_;
            lineSkips_ = (1 << std::min(lineFailures_ - 1, 3)) - 1;
            line_->Pass(station_);
        }
        if (!config_.retryForever) --attemptsLeft;
        if (attemptsLeft == 0 || config_.giveUp) {
            attemptsLeft = 0;
            ShowMessage("E22: Cannot connect to PLC");
            window_.SetIconIndex(kIconConnectFailed);
        }
    }
    EndOfWorker();
    return 1;
}

bool Engine::TakeLine() {
    if (line_ == nullptr) return true;
    if (line_->Take(station_, flags_.stopRequested) == LineTurns::Turn::Stopped) return false;
    port_.SetT1Source(context_.t1);
    return true;
}

bool Engine::NextTurn() {
    line_->Pass(station_);
    const LineTurns::Turn turn = line_->Take(station_, flags_.stopRequested);
    if (turn == LineTurns::Turn::Stopped) return false;
    port_.SetT1Source(context_.t1);
    if (turn == LineTurns::Turn::Same) return true;
    // Another controller was addressed meanwhile, and this one went back to
    // waiting for its attach: the set-up chain again, without a word on
    // screen unless it fails.
    if (link_.LinkSetUp()) {
        ShowSequence();
        return true;
    }
    flags_.linkLost = 1;
    return false;
}

bool Engine::ConnectionAttempt() {
    ++stats_.counters.attach_attempts;
    // The port stays open for the whole worker, but the device behind it may
    // have gone away and come back (an adapter plugged in again, a restarted
    // simulator re-pointing the COM link): a dead descriptor never recovers,
    // so it is replaced. While the device is missing, each attempt costs as
    // long as an unanswered attach instead of spinning.
    if (port_.IsStale() && !port_.Reopen()) {
        port_.Pause(static_cast<unsigned>(context_.replyWaitSteps) * kWaitStepMs);
        return false;
    }
    // The progress of the set-up: the sequence number after each request
    // from the timers on, and the privilege level with the state (after a
    // refused password, the level the controller keeps, known at the end).
    bool privilegeAnswered = false;
    setUpWarning_.clear();
    const auto showPrivilege = [this] {
        window_.SetInfoLabel(InfoLabel::Label_priv, std::to_string(context_.privilegeLevel));
    };
    const bool online = link_.LinkSetUp([&](snp::SetUpStep step) {
        if (step == snp::SetUpStep::Attach) return;
        ShowSequence();
        if (step == snp::SetUpStep::Complete && link_.privilegeRefused()) showPrivilege();
        if (step != snp::SetUpStep::Privilege) return;
        privilegeAnswered = true;
        if (!link_.privilegeRefused()) showPrivilege();
        ShowPlcStatus(window_, context_.plcState.load(), context_.sweepTime.load());
    });
    if (!online) {
        // Only the last request failing, with the controller answering
        // up to there, shows the failed-connection picture.
        if (privilegeAnswered) window_.SetIconIndex(kIconConnectFailed);
        return false;
    }
    window_.SetPanelText(kLinkStatePanel, "Online");
    if (setUpWarning_.empty()) {
        window_.SetPanelText(kMessagePanel, "");
    } else {
        ShowMessage(setUpWarning_);
    }
    window_.SetIconIndex(kIconOnline);
    shownTags_.assign(config_.tags.size(), std::nullopt);
    shownQuality_.assign(config_.tags.size(), TagQuality::None);
    SetLinkState(LinkState::Online);
    if (config_.dbEnabled) mirrorWorker_.CpuId(context_.reportedCpuId);
    return true;
}

void Engine::FillPlcInfo() {
    window_.SetInfoLabel(InfoLabel::LabelCPU_ID, context_.reportedCpuId);
    window_.SetInfoLabel(InfoLabel::LabelPLC_Type,
                         std::string(snp::PlcFamilyName(context_.plcFamily)));
    window_.SetInfoLabel(InfoLabel::LabelPLC_Model,
                         std::string(snp::PlcModelName(context_.plcModel)));
    window_.SetInfoLabel(InfoLabel::Label_T1, std::to_string(context_.t1));
    window_.SetInfoLabel(InfoLabel::Label_T2, std::to_string(context_.t2));
    window_.SetInfoLabel(InfoLabel::Label_T3b, std::to_string(context_.t3b));
}

void Engine::CycleLoop() {
    using Clock = std::chrono::steady_clock;
    // A new link reads everything anew; so does a transmission started again
    // after halted passes. The controller drops a link silent for T3': half
    // of it is the longest pause the schedule leaves.
    schedule_.Configure(config_, context_.t3b / 2u);
    ledger_.Clear();
    bool lastFull = false;
    while (!flags_.linkLost && !flags_.stopRequested) {
        const bool full = flags_.transmitting != 0;
        if (full && !lastFull) schedule_.Restart(Clock::now());
        lastFull = full;
        if (!full) {
            if (!HaltedCycle()) {
                flags_.linkLost = 1;
            } else if (line_ != nullptr && !NextTurn()) {
                break;
            }
            continue;
        }
        const ScheduledRequest request = schedule_.Next(Clock::now(), Waiting());
        // A pass may end without a request of its own.
        if (CountRound() && line_ != nullptr && !NextTurn()) break;
        if (request.kind == RequestKind::None) {
            WaitForWork(request.wakeAt);
            continue;
        }
        if (!PerformRequest(request)) {
            flags_.linkLost = 1;
            break;
        }
        if (CountRound() && line_ != nullptr && !NextTurn()) break;
    }
    // Requests read from the tables but not written stay pending there.
    if (config_.dbEnabled) mirrorWorker_.DropWrites();
}

bool Engine::HaltedCycle() {
    // Keeps the link alive and still serves Run/Stop and the manual write.
    if (!link_.SendIntermediate()) return false;
    SleepMs(config_.Td);
    if (!link_.SendIntermediate()) return false;
    SleepMs(config_.Td);
    if (!link_.ReadShortStatus()) return false;
    ShowSequence();
    SleepMs(config_.Td / 2);
    if (!link_.SendRunStop()) return false;
    ShowSequence();
    SleepMs(config_.Td / 2);
    ShowHistoryWarning();
    ShowTagQualities(false);  // nothing is read: every value is the last one
    return PerformPendingEdit();
}

void Engine::WaitForWork(std::chrono::steady_clock::time_point deadline) {
    const auto cap = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIdlePassMs);
    std::unique_lock<std::mutex> lock(sleepMutex_);
    sleepWake_.wait_until(lock, std::min(deadline, cap),
                          [this] { return shuttingDown_ || woken_; });
    woken_ = false;
}

bool Engine::PauseBeforeRequest() {
    if (config_.Td == 0) return true;
    // A Disconnect ends the pause and the request after it is not sent.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.Td);
    std::unique_lock<std::mutex> lock(sleepMutex_);
    sleepWake_.wait_until(lock, until,
                          [this] { return shuttingDown_ || flags_.stopRequested.load() != 0; });
    return flags_.stopRequested.load() == 0;
}

void Engine::Wake() {
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        woken_ = true;
    }
    sleepWake_.notify_all();
}

void Engine::ShowSequence() {
    window_.SetPanelText(kSequencePanel, HexByteText(context_.sequenceNumber));
}

void Engine::EndOfWorker() {
    {
        // From here on the operator's Disconnect, Start and Halt do nothing:
        // their texts would land after "Offline" and a stop request would
        // outlive the worker.
        std::lock_guard<std::mutex> lock(commandMutex_);
        ending_ = true;
    }
    // Written before the drop, so a kept database tells that it is stale.
    SetLinkState(LinkState::Offline);
    ShowTagQualities(false);
    if (config_.dbEnabled) {
        // Its last round stores what was read and served, and the link's end.
        mirrorWorker_.Stop();
        // The link's end is in the journal: sent now if the server takes
        // it, else at the next start.
        mirror_.CloseHistory();
        // Whether the server still answers does not matter here.
        if (config_.dropAfter) mirror_.DropMirrorDatabase();
        connection_.Close();
    }
    window_.SetEnabled(Control::SB_Offline, false);
    window_.SetEnabled(Control::SB_Transmit_Start, false);
    window_.SetEnabled(Control::SB_Transmit_Stop, false);
    window_.SetEnabled(Control::Butt_PlcRun, false);
    window_.SetEnabled(Control::Butt_PlcStop, false);
    window_.SetEnabled(Control::RadioGroup_IOstatus, false);

    if (line_ != nullptr) {
        // The port is the line's: the other stations go on with it.
        line_->Leave(station_);
    } else {
        SleepMs(25);
        port_.PurgePort();
        SleepMs(25);
        try {
            port_.ClosePort();
        } catch (const std::system_error&) {
            // The device is gone (an unplugged adapter); the worker must still
            // end and return the window to idle. No modal box from the worker.
        }
        SleepMs(25);
    }

    window_.SetEnabled(Control::SB_Online, true);
    window_.SetPanelText(kLinkStatePanel, "Offline");
    window_.SetPanelText(kPlcStatePanel, "");
    window_.SetPanelText(kSweepPanel, "");
    const bool requested = flags_.stopRequested.load() != 0;
    if (requested) window_.SetIconIndex(kIconNoConnection);
    lastEnd_.store(requested ? WorkerEnd::Requested : WorkerEnd::AttemptsUsedUp);
    flags_.stopRequested = 0;
    FinishWorker();
}

}  // namespace tarnlight
