#pragma once
// The tag history's journal on local disk: every history row is written here
// before anything is sent, so a database that is away, locked or broken loses
// nothing, and neither does a restart, a kill or (but for the last second) a
// power cut. One journal per mirror database, in a folder of its own:
//
//   <folder>/<source>/lock      held (flock) while a Tarnlight uses the journal
//   <folder>/<source>/id        the journal's identity, made once
//   <folder>/<source>/*.jrn     segments, named by their first row's number
//   <folder>/<source>/state     per tag: its last row a value or NULL, its
//                               definition; the last cycle; the clock offset
//   <folder>/<source>/delivered the number of the last row in the table
//   <folder>/<source>/set-aside rows the server refused, with its error
//
// A row is one text line "SEQ AT_MS OFFSET_MS NAME VALUE" ("-" for an offset
// not yet measured, "N" for NULL): readable with less, and a line torn by a
// power cut (no newline at the end) is recognised and cut off.
//
// Two sides: the cycle appends (Append, NoteCycle), which only queues in
// memory and never waits for the disk; the history writer's thread moves the
// queue to the segments (Flush), reads the rows back in order (ReadBatch)
// and drops what was delivered (Delivered). Rows are numbered in the order
// they were read; numbers never repeat for one journal identity.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "types/tag.h"

namespace tarnlight::db {

struct JournalRow {
    uint64_t seq = 0;
    int64_t atMs = 0;                 // local system clock when its area's read completed
    std::optional<int64_t> offsetMs;  // server clock minus local then; none: not measured yet
    std::string name;
    std::optional<double> value;  // none: a NULL row
    bool operator==(const JournalRow&) const = default;
};

enum class JournalOpen { Ok, Busy, Failed };

class HistoryJournal {
  public:
    HistoryJournal() = default;
    ~HistoryJournal() { Close(); }
    HistoryJournal(const HistoryJournal&) = delete;
    HistoryJournal& operator=(const HistoryJournal&) = delete;

    // Takes the journal of source in folder (both made when missing). Busy:
    // another process holds it. Failed: the folder or its files cannot be
    // made or read; error tells why. Then the rows a crash left open: a NULL
    // row, at the last cycle recorded, for every name whose last row is a
    // value. historyTags: the tags kept in the history, to tell those whose
    // definition changed (ChangedDefinitions).
    JournalOpen Open(const std::string& folder, const std::string& source, uint64_t limitBytes,
                     const std::vector<TagDefinition>& historyTags, std::string* error);
    // Writes and syncs what is queued; releases the lock.
    void Close();
    bool IsOpen() const { return dir_ >= 0; }
    const std::string& path() const { return path_; }
    const std::string& id() const { return id_; }
    // The names of historyTags whose address, type, scale or offset differ
    // from what the journal last knew of them.
    const std::vector<std::string>& ChangedDefinitions() const { return changed_; }

    // --- the cycle's side: any thread, never waits for the disk ---
    // Queues one row at atMs, with the offset in force. False, nothing
    // queued and the row counted as dropped, when the journal would exceed
    // its limit.
    bool Append(int64_t atMs, const std::string& name, std::optional<double> value);
    // Room for rows more rows with names of up to nameLength characters.
    bool HasRoom(std::size_t rows, std::size_t nameLength) const;
    // A row not offered to Append (it would not fit) counted as dropped.
    void CountDropped();
    // A cycle ran at atMs: where the crash gap goes if none follows.
    void NoteCycle(int64_t atMs);
    void SetOffset(int64_t offsetMs);
    std::optional<int64_t> Offset() const;

    // --- the writer's side: one thread flushes, another sends; each call
    // holds the files for as long as it takes, never longer ---
    // The queue to the current segment; with sync also fsync and the state
    // file. False when the disk refused (the rows stay queued).
    bool Flush(bool sync);
    // From the thread that reads, right after it journalled an area's rows:
    // the queue written (not synced) at once, so a killed process loses
    // nothing. Waits only for another write, never for a sync.
    bool WriteQueued();
    // Up to max rows after the last delivered one, in order.
    void ReadBatch(std::size_t max, std::vector<JournalRow>& rows);
    // Every row up to seq (one of the last batch) is in the table or set aside.
    void Delivered(uint64_t seq);
    // The table says rows up to seq of this journal are in it (after a
    // crash between a commit and Delivered).
    void SkipDelivered(uint64_t seq);
    // A row the server refused on its own merits, with the server's error.
    void SetAside(const JournalRow& row, const std::string& error);

    struct Figures {
        uint64_t rows = 0;      // in the segments and the queue
        uint64_t bytes = 0;     // of the segments and the queue
        uint64_t waiting = 0;   // not yet in the table
        uint64_t setAside = 0;  // since Open
        uint64_t dropped = 0;   // since Open: the journal was full
    };
    Figures figures() const;

    static std::string RowLine(const JournalRow& row);
    static bool ParseRowLine(const std::string& line, JournalRow* row);
    // "%R100 REAL 1 0": what makes a tag's values comparable.
    static std::string DefinitionText(const TagDefinition& tag);

  private:
    struct Segment {
        uint64_t firstSeq = 0;
        uint64_t lastSeq = 0;  // 0: no row yet
        uint64_t bytes = 0;
        uint64_t rows = 0;
    };
    struct Mark {
        bool value = false;  // the last row is a value (else NULL)
        std::string definition;
    };
    // What the state file says, taken with the queue it describes.
    struct State {
        std::map<std::string, Mark> marks;
        uint64_t seq = 0;
        int64_t cycle = 0;
        std::optional<int64_t> offset;
    };
    std::string SegmentPath(uint64_t firstSeq) const;
    // Writes the queue; state (when given) is taken with it.
    bool FlushLocked(State* state);
    bool ReadState(uint64_t* stateSeq);
    bool WriteState(const std::map<std::string, Mark>& marks, uint64_t seq, int64_t cycle,
                    std::optional<int64_t> offset);
    bool ScanSegment(Segment& segment, uint64_t stateSeq, bool last);
    void WriteDelivered();
    void DropDeliveredSegments();
    void Unlock();

    std::string path_;  // <folder>/<source>
    std::string id_;
    int dir_ = -1;   // the folder, for fsync after a rename or a new segment
    int lock_ = -1;  // the flock'd lock file
    uint64_t limitBytes_ = 0;
    std::vector<std::string> changed_;

    // The cycle's side, behind mutex_.
    mutable std::mutex mutex_;
    std::string queued_;
    uint64_t queuedRows_ = 0;
    uint64_t nextSeq_ = 1;
    std::map<std::string, Mark> marks_;
    int64_t lastCycleMs_ = 0;
    std::optional<int64_t> offsetMs_;
    uint64_t dropped_ = 0;
    // Written by the writer's side, read by Append for the limit.
    std::atomic<uint64_t> fileBytes_{0};
    std::atomic<uint64_t> fileRows_{0};
    std::atomic<uint64_t> delivered_{0};
    std::atomic<uint64_t> setAside_{0};

    // The writer's side, behind fileMutex_.
    std::mutex fileMutex_;
    std::vector<Segment> segments_;  // in order; the last one is written to
    int segmentFile_ = -1;
    std::vector<int> retired_;  // segments left, still to be synced and closed
    bool syncDue_ = false;
    // Where the first row after delivered_ starts: a segment and an offset.
    std::size_t cursorSegment_ = 0;
    uint64_t cursorOffset_ = 0;
    // The end of each row of the last batch, by its number.
    std::vector<std::pair<uint64_t, uint64_t>> batchEnds_;  // seq, offset in cursor's segment
    std::size_t batchSegment_ = 0;
};

// The journal folder when historyJournal is empty: $STATE_DIRECTORY/journal
// for a service (systemd's StateDirectory=), else
// $XDG_STATE_HOME/tarnlight/journal, else ~/.local/state/tarnlight/journal.
std::string DefaultJournalFolder();

}  // namespace tarnlight::db
