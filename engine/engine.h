#pragma once
// The communication engine: the operator's connection commands (run on the
// user-interface thread) and the worker thread that attaches to the
// controller, runs the read/write cycle, mirrors into the database and
// recovers from a lost link by the configured policy.
//
// The two threads share only the engine flags and the Run/Stop request, each a
// single atomic byte, and the LinkConfig snapshot, which Connect writes before
// the worker starts. The worker changes the window only through WindowPort.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "db/mirror_connection.h"
#include "db/plc_mirror_db.h"
#include "engine/line_turns.h"
#include "engine/link_snapshot.h"
#include "engine/mirror_worker.h"
#include "engine/request_schedule.h"
#include "engine/window_port.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "snp/memory.h"
#include "snp/snp_link.h"
#include "snp/snp_link_context.h"
#include "snp/tag_image.h"
#include "snp/write_ledger.h"
#include "types/engine_flags.h"
#include "types/link_config.h"
#include "types/link_stats.h"

namespace tarnlight {

// Why the last worker ended.
enum class WorkerEnd {
    None,           // no worker has ended yet
    Requested,      // Disconnect or Shutdown
    AttemptsUsedUp  // E22: the connection attempts of a series failed
};

class Engine {
  public:
    explicit Engine(WindowPort& window);
    // One station of several on a shared line: the port is line's (opened by
    // its owner before Connect, never closed here), and the line is taken in
    // turns with the other stations' engines.
    Engine(WindowPort& window, LineTurns& line);
    ~Engine();  // Shutdown()
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // --- commands, on the user-interface thread ---

    // Connect in the order the operator sees it: takes the snapshot of the
    // pages and checks it, prepares the window, and starts the worker, which
    // builds the database mirror (when enabled), opens the port and then
    // attaches. StartConnect returns once the worker runs: false (with a
    // message in the message panel) when a check stopped it or a worker
    // still runs. The rest ends with WindowPort::ConnectEnded, and with a
    // message when the database or the port failed. Connect is the same, but
    // waits for that end: true when the port is open and the link is being
    // attached.
    bool StartConnect(const Settings& pages, bool breakFree);
    bool Connect(const Settings& pages, bool breakFree);
    // Cancel of the progress dialog while the database is built: shows
    // "W14: Connect cancelled" at once; the step under way ends (a statement
    // that hangs is cut short after kDatabaseGrace), nothing after it runs,
    // the port stays unopened. False when there is nothing left to cancel.
    bool CancelConnect();
    // Asks the worker to end after its running connection attempt or the
    // request on the line (a pause before a request is cut short). False
    // (and nothing shown) when no worker runs or it has begun its end
    // sequence.
    bool Disconnect();
    // Full cycle from the next request on. False (nothing changed) when no area
    // is enabled in the snapshot: the button is disabled then. Start and Halt
    // change nothing once the worker has begun its end sequence.
    bool StartTransmission();
    void HaltTransmission();
    void PlcRun();
    // ioStatusItem: selected item of RadioGroup_IOstatus (0 "Enabled",
    // 1 "Disabled", -1 none: the previous code stays).
    void PlcStop(int ioStatusItem);
    // Apply on the Edit page: the worker performs the write at its next chance
    // with the values the page shows then.
    void ApplyEdit();
    // For a closing window (or the gateway's second signal): requests the
    // stop, cuts the worker's pauses and line waits short (the port is
    // aborted until the next Connect opens it) and waits until the worker has
    // finished its end sequence. Database calls still under way after
    // kDatabaseGrace (a server that hangs) are cut short too: the connection
    // is aborted until the next Connect, and the end sequence's DROP
    // DATABASE (dropAfter) then fails. Afterwards the worker touches the
    // window no more. Unlike Disconnect, the running attempt or cycle does
    // not run to its end.
    void Shutdown();
    // Waits for a worker that has ended or is ending (Disconnect, E22).
    void JoinWorker();

    // Traces the serial line into trace (see LineTrace) from the next
    // Connect on; nullptr stops it. Call while no worker runs; the trace must
    // outlive the engine's use of the port.
    void SetLineTrace(LineTrace* trace) { port_.SetTrace(trace); }

    bool IsWorkerRunning() const { return running_.load(); }
    WorkerEnd lastWorkerEnd() const { return lastEnd_.load(); }
    uint8_t cycleCounter() const { return cycleCounter_.load(); }
    // The TLS of the database session (MirrorConnection::TlsDescription).
    std::string DatabaseTls() const { return connection_.TlsDescription(); }

    // The connection's state, times, last message and counters
    // (link_stats.h), from any thread. Zeroed at Connect; they keep their
    // figures after the worker's end until the next Connect.
    LinkStatsSnapshot Statistics() const { return stats_.Snapshot(); }
    // The Statistics page's Reset: zeroes the counters.
    void ResetStatistics() { stats_.ResetCounters(); }

  private:
    friend class EngineProbe;  // tests look at the flags and the port
    Engine(WindowPort& window, LineTurns* line);

    enum class ConnectOutcome { Pending, Started, Failed, Cancelled };

    // Connect's own steps (connection_control.cpp, connect_steps.cpp).
    void ResetLinkData();
    void PrepareWindow();
    // Shows a problem a check found; false when there is none.
    bool ShowProblem(const std::optional<SnapshotProblem>& problem);
    void WorkerMain();
    bool BuildDatabase();
    // Runs the database steps on a helper thread while the worker watches
    // for a cancel that the steps do not see in time.
    void RunCancellable(const std::function<void()>& steps);
    bool OpenPort();
    bool ConnectCancelled();
    void EndConnect(ConnectOutcome outcome);
    // The worker's last act: running_ cleared, Shutdown and JoinWorker woken.
    void FinishWorker();

    // The worker's steps (communication_thread.cpp, pending_edit.cpp).
    int CommunicationThread();
    bool PerformPendingEdit();
    bool ConnectionAttempt();  // break and set-up chain; true when online
    // On a shared line: waits for the station's turn; false when stopped.
    bool TakeLine();
    // On a shared line, at the end of a round: the next station's turn,
    // then the controller selected again when another had the line.
    // False when the link failed (linkLost set) or a stop came.
    bool NextTurn();
    void FillPlcInfo();
    void CycleLoop();
    bool HaltedCycle();
    // The full cycle, one request at a time (area_reads.cpp): what the
    // schedule names now, and the end of a round.
    WaitingWork Waiting() const;
    bool PerformRequest(const ScheduledRequest& request);
    bool ReadAreaPart(int type, const ReadPart& part);
    bool ServeWriteRequest();
    bool CountRound();  // true when a round ended
    void ShowHistoryWarning();
    // A complete read: the area's values from its parts to the image, the
    // window, the database's worker and the figures; its tags evaluated.
    void CompleteArea(int type);
    // The tags of the area just read (tag_pass.cpp): those whose bits
    // changed to the window.
    void AreaTags(int type);
    // The tags' quality to the window where it changed (a round ended, the
    // link was lost or halted); reading: online and transmitting.
    void ShowTagQualities(bool reading);
    void SizeShownTags();
    // Sleeps until deadline, a command or a write request (Wake), or a
    // Shutdown; at most kIdlePassMs, so the flags are looked at that often.
    void WaitForWork(std::chrono::steady_clock::time_point deadline);
    void Wake();
    // The pause Td before a request of the full cycle; false when a
    // Disconnect came meanwhile: the request is not sent.
    bool PauseBeforeRequest();
    // The Edit page's write of a tag (pending_edit.cpp); false when the link failed.
    bool PerformTagEdit(const EditInputs& in, uint32_t generation);
    // The end of a manual write: the pending flag, Apply and linkLost.
    bool EndEdit(snp::WriteResult result, uint32_t generation);
    void ShowSequence();
    // A request the controller refused: shown now, or for a read (which
    // fails the cycle) kept as the text of the loss.
    void ReportRefusal(const snp::Refusal& refusal);
    void EndOfWorker();
    void SleepMs(unsigned ms);  // cut short by Shutdown
    // True while a worker runs that has not begun its end sequence; call
    // with commandMutex_ held.
    bool TakesCommands() const { return running_.load() && !ending_ && !connecting_; }
    void ClearPendingEdit(uint32_t generation);

    // The link's health (link_health.cpp). SetLinkState writes a change to
    // link_stats at once; ShowMessage shows an E or W message and keeps it
    // as the last one.
    void SetLinkState(LinkState state);
    void ShowMessage(const std::string& text);
    void TakeDatabaseTls();

    WindowPort& window_;
    LinkConfig config_;
    EngineFlags flags_;
    snp::SnpLinkContext context_;
    LinkStats stats_;
    // Complete reads only: the values of each area as its last read left
    // them, all parts of one read. The parts land in staging_ first.
    std::unique_ptr<snp::MemoryImage> image_;
    std::unique_ptr<snp::MemoryImage> staging_;
    LineTurns* line_ = nullptr;  // none: the port is this engine's own
    int station_ = -1;
    int lineFailures_ = 0;  // attempts failed in a row on a shared line; worker only
    int lineSkips_ = 0;     // turns still to pass on at once; worker only
    SerialPort ownPort_;
    SerialPort& port_;
    snp::SnpLink link_;
    // Every write goes out through the ledger, which tells which image
    // values still stand for the controller.
    snp::WriteLedger ledger_;
    snp::LedgerWriter writer_;
    db::MirrorConnection connection_;
    db::PlcMirrorDb mirror_;
    MirrorWorker mirrorWorker_;
    RequestSchedule schedule_;  // worker only
    // Per MemoryType: the ledger's stamp of the first request of the read
    // under way, and the system time its last read completed. Worker only.
    std::array<uint64_t, kAreaCount> readStamp_{};
    std::array<int64_t, kAreaCount> readAtMs_{};
    bool overAskShown_ = false;  // W27 once per Connect; worker only
    int overAskedReads_ = 0;     // complete reads in a row with the line over-asked

    // The message shown when the cycle loop ends with linkLost; empty for
    // "E21: Lost connection with PLC". Worker only.
    std::string lossMessage_;
    // A warning of the running connection attempt (a refused password),
    // shown once the link is up. Worker only.
    std::string setUpWarning_;
    // The tags' raw bits as last shown, by tag; none at link up, so the
    // first pass shows every tag. Worker only.
    std::vector<std::optional<uint32_t>> shownTags_;
    std::vector<TagQuality> shownQuality_;     // by tag, as last shown
    std::atomic<uint32_t> editGeneration_{0};  // stepped by every Apply
    std::atomic<uint8_t> cycleCounter_{0};     // never reset, wraps 255 -> 0
    std::thread worker_;
    std::atomic<bool> running_{false};
    std::atomic<WorkerEnd> lastEnd_{WorkerEnd::None};

    // Disconnect, Start and Halt write to the window and the flags under this
    // lock, and the worker raises ending_ under it as its end sequence
    // begins: a command either lands before that sequence or not at all.
    std::mutex commandMutex_;
    bool ending_ = false;  // guarded by commandMutex_
    // While the worker builds the database: Cancel may still stop Connect.
    bool connecting_ = false;                            // guarded by commandMutex_
    bool connectCancelled_ = false;                      // guarded by commandMutex_
    std::chrono::steady_clock::time_point cancelledAt_;  // guarded by commandMutex_

    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
    bool shuttingDown_ = false;  // guarded by sleepMutex_
    bool woken_ = false;         // guarded by sleepMutex_: Wake since the last wait
    // Notified (under sleepMutex_) when the worker has cleared running_.
    std::condition_variable workerEnded_;
    // How Connect ended, for Connect's wait; notified under sleepMutex_.
    ConnectOutcome connectOutcome_ = ConnectOutcome::Pending;  // guarded by sleepMutex_
    std::condition_variable connectDecided_;
    // Time a server that answers needs at most for the end sequence's
    // statements; Shutdown waits that long before it aborts the database
    // connection.
    static constexpr std::chrono::milliseconds kDatabaseGrace{1000};
    // How often the worker looks for a cancel while the database steps run.
    static constexpr std::chrono::milliseconds kCancelPoll{50};
    // The longest pause with nothing due, so the flags the commands raise
    // are looked at that often even without a wake.
    static constexpr int64_t kIdlePassMs = 100;
};

}  // namespace tarnlight
