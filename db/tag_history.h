#pragma once
// The change history of the tags marked `history`, in a database of its own
// (LinkConfig::historyDb) that Tarnlight creates when missing and never
// drops, so it outlives every Connect:
//
//   tag_history  name, value (DOUBLE, NULL for NaN or infinity, and for "no
//                data from here on": the link went down or ended),
//                changed_at (DATETIME(3), UTC from the server), id (the
//                order rows were appended in, for rows of one millisecond),
//                indexed by (name, changed_at) for the readers and by
//                changed_at for the deletion of old rows
//
// A tag appends a row when its value differs by more than its deadband from
// the last value appended (any change with deadband 0; the first value of a
// link always), in the cycle's transaction. What was appended is believed
// only once its transaction committed, so a row lost with a failed cycle is
// appended again in a later one.
//
// Rows older than historyDays (none when 0 or less) are deleted in batches
// of kPurgeBatchRows, one statement per pass while a round lasts; a round
// starts at most once per purge interval (a minute) and ends with the first
// batch that finds fewer rows, so the deletion never holds up a cycle.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/mirror_connection.h"
#include "db/statement_batch.h"
#include "types/link_config.h"

namespace tarnlight::db {

class TagHistory {
  public:
    TagHistory(MirrorConnection& connection, const LinkConfig& config);

    // A history database is configured.
    bool Enabled() const { return !config_.historyDb.empty(); }
    // CREATE DATABASE and CREATE TABLE, each only when missing.
    void Create();
    // A new connection: nothing appended yet, the first value of every tag
    // goes in.
    void Start();

    // The value of tag index read in this pass (nothing: NaN or infinity).
    void Hold(int index, std::optional<double> value);
    // The rows of the held values that moved beyond the deadband: one
    // multi-row INSERT, or with eachValue one INSERT per row. True when
    // every statement succeeded.
    bool SendRows(const StatementBatch::Send& send, bool eachValue);
    // A NULL row for every tag whose last row holds a value: the link is down.
    bool SendLinkDown(const StatementBatch::Send& send);
    // Some tag's last row holds a value: the link's end has rows to append.
    bool HasValues() const;
    // The link went down while the database could not be reached: no row,
    // but the next value of every tag is appended.
    void ForgetLinkDown();
    // The rows of SendRows or SendLinkDown were committed (ok) or not.
    void Stored(bool ok);

    // One batch of the deletion of old rows when one is due; at most one
    // statement.
    void PurgeIfDue();
    void SetPurgeInterval(std::chrono::milliseconds interval) { purgeInterval_ = interval; }

    // The table name as it goes into statements: `db`.tag_history.
    std::string Table() const;

    static constexpr unsigned kPurgeBatchRows = 2000;
    static constexpr std::chrono::milliseconds kPurgeInterval{60'000};

  private:
    // What the table's last row of a tag holds, as far as this link knows.
    enum class Last : uint8_t { Nothing, NoData, Value };
    struct Appended {
        Last last = Last::Nothing;
        double value = 0.0;
    };
    struct Row {
        int index;
        std::optional<double> value;
    };
    void Size();
    bool Send(const StatementBatch::Send& send, bool eachValue);

    MirrorConnection& connection_;
    const LinkConfig& config_;
    std::vector<Appended> appended_;  // by tag: the last row committed
    std::vector<std::optional<double>> held_;
    std::vector<bool> isHeld_;
    std::vector<Row> sending_;  // rows sent in the running transaction
    std::chrono::milliseconds purgeInterval_ = kPurgeInterval;
    std::chrono::steady_clock::time_point nextPurge_{};
    bool purging_ = false;  // a round is under way: the next batch is due at once
};

}  // namespace tarnlight::db
