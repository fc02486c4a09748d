#include "db/area_stats_table.h"

#include "db/link_stats_table.h"
#include "db/statement_batch.h"

namespace tarnlight::db {

namespace {

constexpr std::array<const char*, kAreaCount> kAreaNames = {"'%I'",  "'%M'", "'%Q'",
                                                            "'%AI'", "'%R'", "'%AQ'"};

}  // namespace

void AreaStatsTable::Create() {
    connection_.Query(
        "CREATE TABLE area_stats (area VARCHAR(3) NOT NULL, scan_ms INT UNSIGNED NOT NULL DEFAULT "
        "0, last_read_at DATETIME(3) NULL, `reads` BIGINT UNSIGNED NOT NULL DEFAULT 0, "
        "read_ms_last BIGINT UNSIGNED NOT NULL DEFAULT 0, PRIMARY KEY (area))");
    std::string names;
    std::string rows;
    for (int type = 0; type < kAreaCount; ++type) {
        if (!config_.areaEnabled[type]) continue;
        if (!names.empty()) {
            names += ", ";
            rows += ", ";
        }
        names += kAreaNames[type];
        rows += '(';
        rows += kAreaNames[type];
        rows += ", ";
        AppendNumber(rows, static_cast<long>(config_.scanMs[type]));
        rows += ')';
    }
    if (names.empty()) {
        connection_.Query("DELETE FROM area_stats");
        return;
    }
    connection_.Query("DELETE FROM area_stats WHERE area NOT IN (" + names + ")");
    connection_.Query("INSERT INTO area_stats (area, scan_ms) VALUES " + rows +
                      " ON DUPLICATE KEY UPDATE scan_ms = VALUES(scan_ms)");
}

void AreaStatsTable::Forget() {
    writtenReads_.fill(kUnknown);
    writtenLastRead_.fill(0);
}

std::vector<std::string> AreaStatsTable::Update() {
    std::vector<std::string> statements;
    if (stats_ == nullptr) return statements;
    if (connection_.Epoch() != epoch_) Forget();
    epoch_ = connection_.Epoch();
    const LinkStatsSnapshot stats = stats_->Snapshot();
    const int64_t nowMs = NowMs();
    for (int type = 0; type < kAreaCount; ++type) {
        const AreaReadFigures& area = stats.areas[type];
        if (!config_.areaEnabled[type]) continue;
        // The reads whose values the tables hold, not every read made: one
        // made while the database was away described nothing in it.
        if (area.storedReads == writtenReads_[type] && area.storedReadMs == writtenLastRead_[type])
            continue;
        std::string sql = "UPDATE area_stats SET ";
        // The time only when it moved, as in link_stats.
        if (area.storedReadMs != 0 && area.storedReadMs != writtenLastRead_[type]) {
            sql += "last_read_at = " + ServerTime(area.storedReadMs, nowMs) + ", ";
            writtenLastRead_[type] = area.storedReadMs;
        }
        sql += "`reads` = ";
        AppendNumber(sql, static_cast<long>(area.storedReads));
        sql += ", read_ms_last = ";
        AppendNumber(sql, static_cast<long>(area.storedReadMsLast));
        sql += " WHERE area = ";
        sql += kAreaNames[type];
        writtenReads_[type] = area.storedReads;
        statements.push_back(std::move(sql));
    }
    return statements;
}

}  // namespace tarnlight::db
