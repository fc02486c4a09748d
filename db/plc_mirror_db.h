#pragma once
// The mirror database: schema and lifecycle, value mirroring and the
// write-back queue that turns flagged request rows into controller writes.
//
// Request rows (new_i ... new_aq) carry a flag: 0 idle, 1 pending (set by
// another program together with value), 2 rejected and not written (the row's
// id lies outside the controller memory the program holds, or its id or value
// is not a decimal integer), 3 refused by the controller and not written.
// Another program re-flags a rejected or refused row with 1 once it has
// corrected it. A pending row keeps flag 1 until the controller has answered
// its write; the flag is changed only while the row still asks for the value
// that was sent (a rejected one: while it reads as it did), so a request
// changed meanwhile is served in the next cycle.
//
// LinkConfig::mirrorEachValue chooses how the statements go. Set, every row of
// the build, every value of every cycle and every flag reset is a statement
// of its own. Clear (the default), the build adds rows with multi-row inserts
// that skip existing ids, values go through ChangedValueMirror (only what
// changed, one transaction per cycle), the six request tables are read in one
// round trip and the flags are reset in batches, in one transaction. The
// tables look the same to other programs either way.
//
// Tags (db/tag_tables.h) come beside the raw tables: table tags with their
// values, written in the cycle's transaction, and the request table new_tags,
// served after the six raw tables in the same pass (raw first: a tag write
// and a raw write to the same address land in table order), with the same
// flags and rules; a tag's value is encoded with its scale and offset and a
// 32-bit tag goes as one request of two words. The change history
// (db/tag_history.h) lives in a database of its own, never dropped; its rows
// go to a journal on local disk as values are read, and a writer of its own
// (db/history_writer.h) with its own connection moves them into the table:
// nothing of the history is in the cycle's transaction.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/area_stats_table.h"
#include "db/changed_value_mirror.h"
#include "db/history_journal.h"
#include "db/history_writer.h"
#include "db/link_stats_table.h"
#include "db/mirror_connection.h"
#include "db/tag_history.h"
#include "db/tag_tables.h"
#include "db/value_mirror.h"
#include "db/write_request.h"
#include "snp/memory.h"
#include "snp/plc_writer.h"
#include "snp/write_ledger.h"
#include "types/engine_flags.h"
#include "types/link_config.h"
#include "types/notifier.h"
#include "types/tag_quality.h"

namespace tarnlight::db {

// Called while the tables are built at Connect with the share done so far,
// 0..100 (100 at the end), and with 0 while a step before the build waits for
// the server. Returning false cancels: the build stops at once and leaves the
// rows added so far; a step before it ends first.
using BuildProgress = std::function<bool(int percent)>;

class PlcMirrorDb : public ValueMirror {
  public:
    PlcMirrorDb(MirrorConnection& connection, const LinkConfig& config, EngineFlags& flags,
                const snp::MemoryImage& image, snp::PlcWriter& writer);
    ~PlcMirrorDb() override;

    // --- schema and lifecycle ---
    void DropMirrorDatabase();
    void CreateMirrorDatabase();
    // False when progress cancelled the build.
    bool CreateMirrorTables(const BuildProgress& progress = {});
    // Sends only when dbEnabled and dbAlive; the ID is remembered either way
    // and sent again when CheckConnection re-opens the database.
    void UpdateInfoCpuId(const std::string& cpuId);
    void ForgetCpuId() {
        lastCpuId_.clear();
        cpuIdKnown_ = false;
    }
    void UpdateInfoPlcState(unsigned plcState);  // only when dbEnabled and dbAlive
    // A new connection's tags: sized to LinkConfig::tags, nothing known of
    // the tables.
    void StartTags() { tags_.Forget(); }

    // --- the history's journal and writer ---
    enum class HistoryStart { Ok, Busy, Failed };
    // Connect, before the server is asked anything: takes the journal of
    // dbName in historyJournal (Busy: another Tarnlight holds it; Failed:
    // the folder cannot be used; error tells why) and starts the writer,
    // which first sends what an earlier run left. Ok and nothing else when
    // there is no history.
    HistoryStart OpenHistory(std::string* error = nullptr);
    // The end of the worker: the writer sends what it can within a moment
    // (more waits in the journal for the next start), the journal is synced
    // and released.
    void CloseHistory();
    // A warning of the history ("W28: ...") not shown yet, or "".
    std::string TakeHistoryWarning();
    const HistoryJournal& historyJournal() const { return journal_; }

    // --- the link_stats row and the area_stats rows ---
    // The statistics the rows show and the database requests are counted
    // in; none when not set. Built with the other tables.
    void SetLinkStats(LinkStats* stats);
    // Sends the rows' updates, only when dbEnabled and dbAlive: now, or when
    // the last one is a second old. Each cycle's EndCycle sends them too.
    void WriteLinkStats(bool now);

    // --- value mirroring (ValueMirror) ---
    // Only when dbEnabled and dbAlive. One statement per call with
    // mirrorEachValue, else held until EndCycle.
    void MirrorBitValue(int area, uint16_t address, uint8_t value) override;
    void MirrorWordValue(int area, uint16_t address, int16_t value) override;
    // The history's side of a tag, from the thread that reads: its value,
    // read when its area's read completed at readAtMs (system clock, ms
    // since 1970), goes to the journal at once, whatever the database does.
    // The history's state is this thread's own: JournalLinkDown and
    // TakeHistoryWarning belong to it too.
    void JournalTag(int index, uint32_t raw, int64_t readAtMs);
    // The link went down or ended at atMs (it was online): a NULL history
    // row for every tag whose last row is a value, written at once.
    void JournalLinkDown(int64_t atMs);
    // The rows journalled so far to the journal's file (not synced): after
    // each area's tags, so a killed process loses none.
    void WriteJournal();
    // The tags row of tag index (into LinkConfig::tags) with the raw bits
    // read at readAtMs; held until EndCycle in either form.
    void MirrorTag(int index, uint32_t raw, int64_t readAtMs);
    void MirrorTag(int index, uint32_t raw) { MirrorTag(index, raw, NowMs()); }
    // Both sides at once, for a caller that reads and stores on one thread.
    void ReadTag(int index, uint32_t raw, int64_t readAtMs) {
        JournalTag(index, raw, readAtMs);
        WriteJournal();
        MirrorTag(index, raw, readAtMs);
    }
    void ReadTag(int index, uint32_t raw) { ReadTag(index, raw, NowMs()); }
    // Sends the held values (nothing to do with mirrorEachValue), the tags
    // whose bits or quality changed and the link_stats row when it is due, in
    // the same transaction; with mirrorEachValue each tag and row is a
    // statement of its own. Records the cycle in the history's journal (a
    // crash's gap starts at the last one).
    bool EndCycle() override { return EndCycle(false); }
    // statsNow: the link_stats row goes along whether or not it is due.
    bool EndCycle(bool statsNow);
    // The quality of every tag (tags.quality) from what the engine knows:
    // whether the link reads (online and transmitting) and, per area, its
    // period and reads (types/tag_quality.h). Sent with the next EndCycle,
    // WriteLinkStats or WriteLinkDown, only where it changed. EndCycle
    // works it out by itself from the statistics when the engine has not
    // called this since the last one.
    void SetTagQuality(bool reading, const std::array<AreaFreshness, kAreaCount>& areas,
                       int64_t nowMs);
    // How often the fast writer writes every value (and tag) anyway (one minute).
    void SetValueRefreshInterval(std::chrono::milliseconds interval) {
        changedValues_.SetRefreshInterval(interval);
        tags_.SetRefreshInterval(interval);
    }
    // How often the history's deletion of old rows starts a round (one
    // minute); for the next OpenHistory and the writer running.
    void SetHistoryPurgeInterval(std::chrono::milliseconds interval) {
        purgeInterval_ = interval;
        if (historyWriter_) historyWriter_->SetPurgeInterval(interval);
    }
    // The link went down or ended (it was online): every tag read turns
    // stale; the link_stats row at once.
    void WriteLinkDown();
    void WriteLinkDown(int64_t atMs) {
        JournalLinkDown(atMs);
        WriteLinkDown();
    }

    // --- write-back queue ---
    // type: MemoryType 0..5. Resets the flag only while the row still
    // requests the value written.
    void ClearRequestFlag(int type, uint16_t id, long value);
    // Flag 3 for a row whose write the controller refused.
    void MarkRequestRefused(int type, uint16_t id, long value);
    // One table, one statement per row, as with mirrorEachValue.
    int ServeBitRequests(int area);   // 1 done; anything else: a write failed
    int ServeWordRequests(int area);  // as above
    // new_tags, one statement per row, as with mirrorEachValue.
    int ServeTagRequests();  // as above
    // All six tables in order new_i ... new_aq, then new_tags, in the form
    // mirrorEachValue chooses; true unless a controller write failed. The
    // three steps below one after the other.
    bool ServeWriteQueue();

    // The write-back queue in three steps, for an engine that reads the
    // tables on one thread and writes on the line on another:
    // 1. The pending rows of the seven tables in serving order (table by
    //    table, within a table in the server's order); nothing when the
    //    database is away. Batched: one round trip for all.
    std::vector<WriteRequest> FetchRequests();
    // 2. One row checked and, unless it is malformed or the controller is
    //    known to hold the value, written through the writer. Sends no
    //    statement, so it may run on another thread than the other steps
    //    (it reads the image, the ledger and the snapshot, and counts).
    ServedRequest Serve(const WriteRequest& request);
    // 3. The flags of the rows served: 0 written or already held, 2
    //    rejected, 3 refused; Failed rows keep theirs. Each only while the
    //    row still reads as it was fetched. One transaction (mirrorEachValue:
    //    one statement per row); true when it was stored.
    bool SendFlagChanges(const std::vector<ServedRequest>& served);
    // The image stands for the controller only where the ledger says so (a
    // read after Tarnlight's last write); without a ledger wherever the
    // area's range was read.
    void SetWriteLedger(const snp::WriteLedger* ledger) { ledger_ = ledger; }

    // The worker's database check at the start of each pass: pings, and when
    // the ping fails re-opens the connection with the same parameters (at
    // most every reconnectInterval) and selects the database. Sets dbAlive.
    // True when the database is reachable (also right after a re-open); with
    // dbEnabled clear it sends nothing and returns true. After a re-open the
    // last CPU ID given to UpdateInfoCpuId is written to the info row again.
    bool CheckConnection();
    void SetReconnectInterval(std::chrono::milliseconds interval) { reconnectInterval_ = interval; }

    // The database name as it goes into every statement that names it
    // (CREATE and DROP DATABASE): backquoted, with backquotes doubled.
    static std::string DatabaseIdentifier(const std::string& name);

    static constexpr int kFlagRejected = 2;
    static constexpr int kFlagRefused = 3;
    static constexpr unsigned kReconnectTimeoutSeconds = 2;

  private:
    struct RequestRow {
        const char* id;  // column texts; nullptr for SQL NULL
        unsigned long idLength;
        const char* value;
        unsigned long valueLength;
    };
    bool Active() const;  // dbEnabled and dbAlive
    // The quality changes, link_stats and area_stats rows (see
    // WriteLinkStats), in one transaction.
    void SendStats(bool now);
    // SetTagQuality from the statistics and the tags held in the pass,
    // unless the engine called it since the last EndCycle.
    void QualityFromStatistics();
    // The updates of link_stats and area_stats, when they are due (see
    // WriteLinkStats); none otherwise.
    std::vector<std::string> StatsStatements(bool now);
    // Counts a request row's outcome in the statistics; returns it.
    RequestOutcome Counted(RequestOutcome outcome);
    // Written, Refused or Failed after a controller write, counted.
    RequestOutcome WriteOutcome(snp::WriteResult written);
    // Add the value and request rows 1..counts[type]; false when report
    // (given the number of ids done) cancelled.
    bool AddRowsEachStatement(const std::array<unsigned, kAreaCount>& counts,
                              const std::function<bool(unsigned idsDone)>& report);
    bool AddRowsBatched(const std::array<unsigned, kAreaCount>& counts,
                        const std::function<bool(unsigned idsDone)>& report);
    // A raw table's row: checked, and written unless the controller is
    // known to hold the value.
    RequestOutcome ServeRow(int type, const RequestRow& row, uint16_t& id, long& value);
    // A new_tags row (id: the name): an unknown name, a value that is no
    // number or does not fit the tag is rejected; anything else is written.
    RequestOutcome ServeTagRow(const RequestRow& row);
    static RequestRow RowOf(const WriteRequest& request);
    // The pending rows of one table (kTagRequests: new_tags), one statement.
    void FetchTable(int type, std::vector<WriteRequest>& rows);
    // Serves rows up to the first failed write, then sends their flags.
    bool ServeAndFlag(const std::vector<WriteRequest>& rows);
    // The flag of a new_tags row as read: 0 served, 2 rejected, 3 refused;
    // only while the row reads as it did (2 and 3 only while still pending).
    std::string TagFlagChange(const RequestRow& row, int flag);
    int ServeRequests(int type);
    // Flag 2, only while the row reads as it did.
    std::string RejectStatement(int type, const RequestRow& row);
    void RejectRequest(int type, const RequestRow& row);
    // "column=12", "column IS NULL" or an exact comparison with other text.
    void AppendAsRead(std::string& sql, const char* column, const char* text, unsigned long length);

    MirrorConnection& connection_;
    const LinkConfig& config_;
    EngineFlags& flags_;
    const snp::MemoryImage& image_;
    snp::PlcWriter& writer_;
    ChangedValueMirror changedValues_;
    LinkStatsTable linkStats_;
    AreaStatsTable areaStats_;
    TagTable tags_;
    HistoryJournal journal_;
    TagHistory history_;
    std::unique_ptr<HistoryWriter> historyWriter_;
    std::chrono::milliseconds purgeInterval_{60'000};
    bool qualitySet_ = false;  // SetTagQuality since the last EndCycle
    LinkStats* stats_ = nullptr;
    const snp::WriteLedger* ledger_ = nullptr;
    std::chrono::milliseconds reconnectInterval_{5000};
    std::chrono::steady_clock::time_point lastReconnect_{};
    bool reconnectTried_ = false;
    std::string lastCpuId_;
    bool cpuIdKnown_ = false;
};

enum class DbConnectResult {
    Ok,
    ConnectFailed,
    SelectFailed,
    Cancelled,
    JournalBusy,   // the history's journal is held by another Tarnlight: E27
    JournalFailed  // the journal's folder cannot be used: E28
};

// The database steps of Connect: connect, drop when configured, create,
// select, build the tables. Sends nothing and returns Ok when dbEnabled is
// clear. On failure shows the "Database error" box with the client's error
// text through notifier and closes the connection; the caller shows "E11:
// Connecting to database error" or "E12: Selecting database error". Each step
// may wait for the server up to its time-out (connect 5 s, read 10 s): call
// this where that wait holds nobody up (Connect runs it on the worker).
// progress is asked before and after each step with 0, and by the build
// between its chunks with the share done.
// Cancelled: progress returned false; nothing after that report ran, no box
// was shown, the connection is closed and the database stays as far as it
// was built (never dropped: it may hold rows other programs flagged).
DbConnectResult ConnectMirrorDatabase(MirrorConnection& connection, PlcMirrorDb& mirror,
                                      const LinkConfig& config, Notifier& notifier,
                                      const BuildProgress& progress = {});

}  // namespace tarnlight::db
