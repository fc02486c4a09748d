#pragma once
// The statements of the history database, built apart from the writer that
// sends them:
//
//   tag_history           name, value (NULL: no data from here on),
//                         changed_at (DATETIME(3), the server's clock: when
//                         the value was read), id (the order rows arrived
//                         in), source (the mirror database of the Tarnlight
//                         that read it); indexed by (source, name,
//                         changed_at) for the readers and by changed_at for
//                         the deletion of old rows
//   tag_history_position  source (primary key), journal, seq: the last
//                         journal row in tag_history, committed with the rows,
//                         so a row is never sent twice whatever crashes
#include <cstdint>
#include <string>
#include <vector>

#include "db/history_journal.h"
#include "db/mirror_connection.h"

namespace tarnlight::db {

class HistoryTable {
  public:
    // database: the history database's name; source: the mirror's dbName.
    HistoryTable(std::string database, std::string source);

    std::string Table() const;     // `db`.tag_history
    std::string Position() const;  // `db`.tag_history_position

    // Makes the database and the tables when missing and gives an old
    // tag_history (without source) its column, its rows kept and taken as
    // this source's. False when a statement failed; created: tag_history
    // had to be made.
    bool Prepare(MirrorConnection& connection, bool* created) const;
    // The last row of journalId the table holds; 0 when none.
    bool ReadPosition(MirrorConnection& connection, const std::string& journalId,
                      uint64_t* seq) const;

    // One multi-row INSERT of rows; a row whose offset was not measured when
    // it was read takes fallbackOffsetMs.
    std::string Insert(MirrorConnection& connection, const std::vector<JournalRow>& rows,
                       int64_t fallbackOffsetMs) const;
    std::string PositionUpdate(MirrorConnection& connection, const std::string& journalId,
                               uint64_t seq) const;
    // One batch of the deletion of this source's rows older than days: a
    // tag's newest row stays, however old, so the value at any moment after
    // its first row kept still has an answer.
    std::string Purge(MirrorConnection& connection, int days, unsigned batchRows) const;

    // The server refused the statement because of what a row holds (a value
    // out of range, a check or a trigger): sent again it fails again.
    static bool RowRefused(unsigned error);
    // The table or database is gone (dropped, renamed): Prepare again.
    static bool TableMissing(unsigned error);

  private:
    std::string database_;
    std::string source_;
};

}  // namespace tarnlight::db
