#pragma once
// The thread that moves the journal into tag_history, with a database
// connection of its own: whatever the history database does (away, locked,
// slow, its table renamed or dropped, rights revoked) the cycle and its
// connection never wait for it, and the rows wait in the journal.
//
// A thread of its own writes the journal's queue to disk every quarter
// second (synced at least once a second), whatever the server does; the
// sending thread sends the rows in batches of kBatchRows, each
// in one transaction with the journal's position, so a row arrives once and
// in the order read. A batch the server refuses because of a row is sent
// again row by row: the row at fault is set aside in the journal with the
// server's error, and the rows behind it go on. Any other failure leaves
// the rows where they are until the next try (a lost session: a new one
// after kRetryInterval).
//
// It measures the server's clock offset at every connect and every
// kOffsetInterval, and deletes rows older than historyDays in small batches
// between its sends.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "db/history_journal.h"
#include "db/history_table.h"
#include "db/mirror_connection.h"
#include "types/link_stats.h"

namespace tarnlight::db {

class HistoryWriter {
  public:
    struct Options {
        ConnectionParams params;
        std::string database;  // historyDb
        std::string source;    // the mirror's dbName
        int historyDays = 30;  // 0 or less: rows are kept
    };
    // stats: where the journal's figures are shown (none: nowhere).
    HistoryWriter(HistoryJournal& journal, Options options, LinkStats* stats);
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    void Start();
    // Sends what it can for up to drain while the server answers, syncs the
    // journal and ends the thread. A server that hangs is cut off after it.
    void Stop(std::chrono::milliseconds drain);

    // The last warning not yet taken ("W29: ..."), or "".
    std::string TakeWarning();
    void SetPurgeInterval(std::chrono::milliseconds interval) { purgeInterval_ = interval.count(); }

    static constexpr std::size_t kBatchRows = 1000;
    static constexpr unsigned kPurgeBatchRows = 2000;
    static constexpr std::chrono::milliseconds kTick{250};
    static constexpr std::chrono::milliseconds kSyncInterval{1000};
    static constexpr std::chrono::milliseconds kRetryInterval{2000};
    static constexpr std::chrono::milliseconds kOffsetInterval{300'000};

  private:
    enum class Sent { Nothing, Some, Failed };
    void Run();
    void Sync();
    bool Connected();
    bool Prepare();
    Sent SendBatch();
    // One row alone with the position; false on a failure that is not the row's.
    bool SendRowAlone(const JournalRow& row);
    bool Commit(const std::string& insert, uint64_t seq);
    void PurgeIfDue();
    void Failed(const std::string& what);
    void Warn(const std::string& text);
    void ShowFigures();

    HistoryJournal& journal_;
    Options options_;
    HistoryTable table_;
    LinkStats* stats_;
    MirrorConnection connection_;
    std::thread thread_;
    std::thread syncer_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;  // guarded by mutex_
    std::chrono::steady_clock::time_point drainUntil_{};
    std::string warning_;  // guarded by mutex_

    // The writer thread's own.
    bool prepared_ = false;
    bool tableSeen_ = false;       // tag_history existed or was made once
    bool recreatedShown_ = false;  // W29 said once
    bool failureShown_ = false;    // W31 said for this run of failures
    std::chrono::steady_clock::time_point nextTry_{};
    std::chrono::steady_clock::time_point nextOffset_{};
    std::chrono::steady_clock::time_point nextPurge_{};
    std::atomic<std::chrono::milliseconds::rep> purgeInterval_{60'000};
    bool purging_ = false;
    int64_t offsetMs_ = 0;
    std::vector<JournalRow> batch_;
};

}  // namespace tarnlight::db
