#include "db/history_writer.h"

#include <algorithm>

#include "db/server_clock.h"

namespace tarnlight::db {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

HistoryWriter::HistoryWriter(HistoryJournal& journal, Options options, LinkStats* stats)
    : journal_(journal),
      options_(std::move(options)),
      table_(options_.database, options_.source),
      stats_(stats) {
    // A history server that hangs must not hold a Disconnect for long, nor
    // a locked table keep a session waiting for a day.
    options_.params.connectTimeoutSeconds = std::min(options_.params.connectTimeoutSeconds, 5u);
}

HistoryWriter::~HistoryWriter() {
    Stop(std::chrono::milliseconds(0));
}

void HistoryWriter::Start() {
    if (thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    connection_.ClearAbort();
    syncer_ = std::thread([this] { Sync(); });
    thread_ = std::thread([this] { Run(); });
}

void HistoryWriter::Stop(std::chrono::milliseconds drain) {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        drainUntil_ = Clock::now() + drain;
    }
    wake_.notify_all();
    // A statement under way when the drain ends is cut short: the server
    // rolls its transaction back and the rows stay in the journal.
    std::atomic<bool> ended{false};
    std::thread watchdog([&] {
        const auto until = Clock::now() + drain + std::chrono::milliseconds(500);
        while (!ended.load() && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!ended.load()) connection_.Abort();
    });
    thread_.join();
    ended = true;
    watchdog.join();
    syncer_.join();
    journal_.Flush(true);
    connection_.Close();
}

void HistoryWriter::Sync() {
    auto nextSync = Clock::now() + kSyncInterval;
    for (;;) {
        const auto now = Clock::now();
        const bool sync = now >= nextSync;
        journal_.Flush(sync);
        if (sync) nextSync = now + kSyncInterval;
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, kTick, [this] { return stopping_; })) return;
    }
}

std::string HistoryWriter::TakeWarning() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string taken;
    taken.swap(warning_);
    return taken;
}

void HistoryWriter::Warn(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    warning_ = text;
}

void HistoryWriter::Failed(const std::string& what) {
    const bool missing =
        connection_.IsOpen() && HistoryTable::TableMissing(connection_.ErrorNumber());
    if (missing) {
        // Made again at the next try (W29), on the same session.
        prepared_ = false;
    } else {
        if (!failureShown_) Warn("W31: History rows wait in the journal: " + what);
        failureShown_ = true;
        // Lost, timed out or refused: a new session at the next try.
        connection_.Close();
        prepared_ = false;
    }
    nextTry_ = Clock::now() + kRetryInterval;
}

void HistoryWriter::Run() {
    nextPurge_ = Clock::now();
    for (;;) {
        bool stopping = false;
        bool draining = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping = stopping_;
            draining = stopping_ && Clock::now() < drainUntil_;
        }
        const auto now = Clock::now();
        // What the cycle queued goes out without waiting for the syncer.
        journal_.Flush(false);
        if (stopping && !draining) break;

        Sent sent = Sent::Nothing;
        if ((now >= nextTry_ || stopping) && Connected()) {
            sent = SendBatch();
            if (sent != Sent::Failed && !stopping) PurgeIfDue();
        }
        ShowFigures();
        if (stopping && sent != Sent::Some) break;  // drained, or the server does not take them
        if (sent == Sent::Some) continue;           // catching up: the next batch at once
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, kTick, [this] { return stopping_; });
    }
    ShowFigures();
}

bool HistoryWriter::Connected() {
    if (connection_.IsOpen() && prepared_) return true;
    if (!connection_.IsOpen()) {
        if (!connection_.Open(options_.params)) {
            Failed(connection_.Error());
            return false;
        }
        // A locked table answers with an error within seconds instead of
        // keeping the session waiting; the rows are tried again later.
        connection_.Query("SET SESSION lock_wait_timeout = 5, innodb_lock_wait_timeout = 5");
        nextOffset_ = Clock::now();
    }
    if (!Prepare()) {
        Failed(connection_.Error());
        return false;
    }
    return true;
}

bool HistoryWriter::Prepare() {
    bool created = false;
    if (!table_.Prepare(connection_, &created)) return false;
    if (created && tableSeen_ && !recreatedShown_) {
        Warn("W29: History table " + options_.database + ".tag_history was missing: created again");
        recreatedShown_ = true;
    }
    tableSeen_ = true;
    uint64_t position = 0;
    if (!table_.ReadPosition(connection_, journal_.id(), &position)) return false;
    journal_.SkipDelivered(position);
    prepared_ = true;
    return true;
}

HistoryWriter::Sent HistoryWriter::SendBatch() {
    if (Clock::now() >= nextOffset_) {
        if (const std::optional<int64_t> offset = MeasureServerOffset(connection_)) {
            offsetMs_ = *offset;
            journal_.SetOffset(*offset);
            nextOffset_ = Clock::now() + kOffsetInterval;
        }
    } else if (const std::optional<int64_t> offset = journal_.Offset()) {
        offsetMs_ = *offset;
    }
    journal_.ReadBatch(kBatchRows, batch_);
    if (batch_.empty()) return Sent::Nothing;
    if (Commit(table_.Insert(connection_, batch_, offsetMs_), batch_.back().seq)) {
        journal_.Delivered(batch_.back().seq);
        failureShown_ = false;
        return Sent::Some;
    }
    if (!HistoryTable::RowRefused(connection_.ErrorNumber())) {
        Failed(connection_.Error());
        return Sent::Failed;
    }
    // One row refuses: row by row, the one at fault aside.
    for (const JournalRow& row : batch_)
        if (!SendRowAlone(row)) return Sent::Failed;
    return Sent::Some;
}

bool HistoryWriter::SendRowAlone(const JournalRow& row) {
    if (Commit(table_.Insert(connection_, {row}, offsetMs_), row.seq)) {
        journal_.Delivered(row.seq);
        return true;
    }
    if (!HistoryTable::RowRefused(connection_.ErrorNumber())) {
        Failed(connection_.Error());
        return false;
    }
    const std::string error = connection_.Error();
    // Past it for good: the position moves on without it.
    if (!Commit("", row.seq)) {
        Failed(connection_.Error());
        return false;
    }
    journal_.SetAside(row, error);
    journal_.Delivered(row.seq);
    Warn("W30: History row set aside: " + row.name + ": " + error);
    return true;
}

bool HistoryWriter::Commit(const std::string& insert, uint64_t seq) {
    if (!connection_.Query("START TRANSACTION")) return false;
    const bool ok = (insert.empty() || connection_.Query(insert)) &&
                    connection_.Query(table_.PositionUpdate(connection_, journal_.id(), seq)) &&
                    connection_.Query("COMMIT");
    if (ok) return true;
    // The failed statement's error stays the connection's: a ROLLBACK that
    // succeeds keeps it, one that fails tells of the lost session.
    if (connection_.IsOpen()) connection_.Query("ROLLBACK");
    return false;
}

void HistoryWriter::PurgeIfDue() {
    if (options_.historyDays <= 0) return;
    const auto now = Clock::now();
    if (!purging_ && now < nextPurge_) return;
    if (!purging_) nextPurge_ = now + std::chrono::milliseconds(purgeInterval_.load());
    purging_ =
        connection_.Query(table_.Purge(connection_, options_.historyDays, kPurgeBatchRows)) &&
        connection_.AffectedRows() >= kPurgeBatchRows;
}

void HistoryWriter::ShowFigures() {
    if (stats_ == nullptr) return;
    const HistoryJournal::Figures f = journal_.figures();
    stats_->counters.journal_rows = f.rows;
    stats_->counters.journal_bytes = f.bytes;
    stats_->counters.history_waiting = f.waiting;
    stats_->counters.history_set_aside = f.setAside;
    stats_->counters.history_dropped = f.dropped;
}

}  // namespace tarnlight::db
