#include "db/link_stats_table.h"

#include <algorithm>
#include <string_view>

#include "db/statement_batch.h"

namespace tarnlight::db {

namespace {

// Longer texts would be refused by a strict server; no message is that long.
constexpr size_t kMessageColumnChars = 255;

}  // namespace

std::string ServerTime(int64_t atMs, int64_t nowMs) {
    std::string sql = "UTC_TIMESTAMP(3) - INTERVAL ";
    AppendNumber(sql, std::max<int64_t>(nowMs - atMs, 0) * 1000);
    sql += " MICROSECOND";
    return sql;
}

void LinkStatsTable::Create() {
    std::string sql =
        "CREATE TABLE link_stats (id SMALLINT UNSIGNED NOT NULL, link_state VARCHAR(10) NOT NULL "
        "DEFAULT 'Offline', online_since DATETIME(3) NULL, last_read_at DATETIME(3) NULL";
    // The counters that came with the history's journal stand after the
    // columns readers have always found, in a new table as in a kept one.
    std::string later;
    std::string alter = "ALTER TABLE link_stats";
    bool journal = false;
    ForEachCounter(
        [&](const char* name, const uint64_t&) {
            journal = journal || std::string_view(name) == "journal_rows";
            const std::string column = std::string(name) + " BIGINT UNSIGNED NOT NULL DEFAULT 0";
            (journal ? later : sql) += ", " + column;
            if (journal)
                alter += std::string(alter.back() == 's' ? " " : ", ") +
                         "ADD COLUMN IF NOT EXISTS " + column;
        },
        CounterValues{});
    sql += ", last_message VARCHAR(255) NOT NULL DEFAULT '', updated_at DATETIME(3) NULL" + later +
           ", PRIMARY KEY (id))";
    if (!connection_.Query(sql)) connection_.Query(alter);
    connection_.Query("INSERT INTO link_stats (id, updated_at) VALUES (1, UTC_TIMESTAMP(3))");
}

void LinkStatsTable::Forget() {
    written_ = false;
    writtenOnlineSince_ = 0;
    writtenLastRead_ = 0;
}

std::string LinkStatsTable::Update(bool now) {
    if (stats_ == nullptr) return {};
    const auto clock = std::chrono::steady_clock::now();
    if (!now && written_ && clock - lastUpdate_ < kInterval) return {};
    if (connection_.Epoch() != epoch_) Forget();
    written_ = true;
    lastUpdate_ = clock;
    epoch_ = connection_.Epoch();

    const LinkStatsSnapshot stats = stats_->Snapshot();
    const int64_t nowMs = NowMs();
    std::string sql = "UPDATE link_stats SET link_state = '";
    sql += LinkStateName(stats.state);
    sql += '\'';
    // The times only when they moved: a value written again from the other
    // clock could differ by a millisecond and look like a new one.
    if (stats.onlineSinceMs != 0 && stats.onlineSinceMs != writtenOnlineSince_) {
        sql += ", online_since = " + ServerTime(stats.onlineSinceMs, nowMs);
        writtenOnlineSince_ = stats.onlineSinceMs;
    }
    if (stats.lastStoredReadMs != 0 && stats.lastStoredReadMs != writtenLastRead_) {
        sql += ", last_read_at = " + ServerTime(stats.lastStoredReadMs, nowMs);
        writtenLastRead_ = stats.lastStoredReadMs;
    }
    ForEachCounter(
        [&](const char* name, uint64_t value) {
            sql += ", ";
            sql += name;
            sql += " = ";
            sql += std::to_string(value);
        },
        stats.counters);
    sql += ", last_message = '";
    sql += connection_.Escape(stats.lastMessage.substr(0, kMessageColumnChars));
    sql += "', updated_at = UTC_TIMESTAMP(3) WHERE id = 1";
    return sql;
}

}  // namespace tarnlight::db
