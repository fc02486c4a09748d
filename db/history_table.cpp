#include "db/history_table.h"

#include <algorithm>

#include "db/plc_mirror_db.h"
#include "db/server_clock.h"
#include "db/statement_batch.h"

namespace tarnlight::db {

HistoryTable::HistoryTable(std::string database, std::string source)
    : database_(std::move(database)), source_(std::move(source)) {}

std::string HistoryTable::Table() const {
    return PlcMirrorDb::DatabaseIdentifier(database_) + ".tag_history";
}

std::string HistoryTable::Position() const {
    return PlcMirrorDb::DatabaseIdentifier(database_) + ".tag_history_position";
}

bool HistoryTable::Prepare(MirrorConnection& connection, bool* created) const {
    const std::string db = "'" + connection.Escape(database_) + "'";
    Rows rows;
    if (!connection.FetchRows(
            "SELECT COUNT(*), SUM(COLUMN_NAME = 'source') FROM information_schema.COLUMNS WHERE "
            "TABLE_SCHEMA = " +
                db + " AND TABLE_NAME = 'tag_history'",
            rows) ||
        rows.empty())
        return false;
    const bool exists = rows[0][0] != "0";
    const bool hasSource = exists && rows[0][1] != "0" && rows[0][1] != "NULL";
    *created = !exists;
    if (!connection.Query("CREATE DATABASE IF NOT EXISTS " +
                          PlcMirrorDb::DatabaseIdentifier(database_)))
        return false;
    if (!exists &&
        !connection.Query("CREATE TABLE IF NOT EXISTS " + Table() +
                          " (name VARCHAR(64) NOT NULL, value DOUBLE NULL, changed_at DATETIME(3) "
                          "NOT NULL, id BIGINT UNSIGNED NOT NULL AUTO_INCREMENT, source "
                          "VARCHAR(64) NOT NULL, PRIMARY KEY (id), INDEX source_name_time "
                          "(source, name, changed_at), INDEX time (changed_at))"))
        return false;
    if (exists && !hasSource) {
        // The rows of a table from before several sources shared it were
        // written by the Tarnlight of this mirror (one history per mirror
        // was the rule): the column's default gives them its name, without
        // rewriting them, and goes again.
        const std::string source = "'" + connection.Escape(source_) + "'";
        if (!connection.Query("ALTER TABLE " + Table() +
                              " ADD COLUMN source VARCHAR(64) NOT NULL DEFAULT " + source +
                              ", DROP INDEX IF EXISTS name_time, ADD INDEX source_name_time "
                              "(source, name, changed_at)") ||
            !connection.Query("ALTER TABLE " + Table() + " ALTER COLUMN source DROP DEFAULT"))
            return false;
    }
    return connection.Query("CREATE TABLE IF NOT EXISTS " + Position() +
                            " (source VARCHAR(64) NOT NULL, journal VARCHAR(16) NOT NULL, seq "
                            "BIGINT UNSIGNED NOT NULL, PRIMARY KEY (source))");
}

bool HistoryTable::ReadPosition(MirrorConnection& connection, const std::string& journalId,
                                uint64_t* seq) const {
    Rows rows;
    if (!connection.FetchRows("SELECT seq FROM " + Position() + " WHERE source = '" +
                                  connection.Escape(source_) + "' AND journal = '" +
                                  connection.Escape(journalId) + "'",
                              rows))
        return false;
    *seq = rows.empty() ? 0 : std::strtoull(rows[0][0].c_str(), nullptr, 10);
    return true;
}

std::string HistoryTable::Insert(MirrorConnection& connection, const std::vector<JournalRow>& rows,
                                 int64_t fallbackOffsetMs) const {
    const std::string source = "'" + connection.Escape(source_) + "'";
    std::string sql = "INSERT INTO " + Table() + " (name, value, changed_at, source) VALUES ";
    bool first = true;
    for (const JournalRow& row : rows) {
        if (!first) sql += ',';
        first = false;
        sql += "('" + connection.Escape(row.name) + "',";
        if (row.value)
            AppendDouble(sql, *row.value);
        else
            sql += "NULL";
        sql += ',' + DateTimeLiteral(row.atMs + row.offsetMs.value_or(fallbackOffsetMs)) + ',' +
               source + ')';
    }
    return sql;
}

std::string HistoryTable::PositionUpdate(MirrorConnection& connection, const std::string& journalId,
                                         uint64_t seq) const {
    std::string sql = "INSERT INTO " + Position() + " (source, journal, seq) VALUES ('" +
                      connection.Escape(source_) + "','" + connection.Escape(journalId) + "',";
    AppendNumber(sql, static_cast<long>(seq));
    sql += ") ON DUPLICATE KEY UPDATE journal = VALUES(journal), seq = VALUES(seq)";
    return sql;
}

std::string HistoryTable::Purge(MirrorConnection& connection, int days, unsigned batchRows) const {
    const std::string source = "'" + connection.Escape(source_) + "'";
    // The oldest rows by the changed_at index; a row goes only when a newer
    // one of its tag follows it.
    std::string sql = "DELETE FROM " + Table() + " WHERE source = " + source +
                      " AND changed_at < UTC_TIMESTAMP(3) - INTERVAL ";
    AppendNumber(sql, days);
    sql += " DAY AND EXISTS (SELECT 1 FROM " + Table() +
           " AS newer WHERE newer.source = tag_history.source AND newer.name = tag_history.name "
           "AND (newer.changed_at > tag_history.changed_at OR (newer.changed_at = "
           "tag_history.changed_at AND newer.id > tag_history.id))) ORDER BY changed_at LIMIT ";
    AppendNumber(sql, batchRows);
    return sql;
}

bool HistoryTable::RowRefused(unsigned error) {
    switch (error) {
        case 1048:  // a column cannot be NULL
        case 1062:  // duplicate entry (a unique key another program added)
        case 1264:  // out of range
        case 1265:  // data truncated
        case 1292:  // incorrect value
        case 1366:  // incorrect value for the column
        case 1406:  // data too long
        case 1452:  // a foreign key
        case 1644:  // a trigger's SIGNAL
        case 1690:  // value out of range in an expression
        case 3819:  // a check constraint (MySQL)
        case 4025:  // a check constraint (MariaDB)
            return true;
        default:
            return false;
    }
}

bool HistoryTable::TableMissing(unsigned error) {
    return error == 1146 /* no such table */ || error == 1049 /* no such database */ ||
           error == 1054 /* a column is missing */;
}

}  // namespace tarnlight::db
