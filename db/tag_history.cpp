#include "db/tag_history.h"

#include <cmath>

#include "db/plc_mirror_db.h"
#include "types/tag.h"

namespace tarnlight::db {

TagHistory::TagHistory(MirrorConnection& connection, const LinkConfig& config)
    : connection_(connection), config_(config) {}

std::string TagHistory::Table() const {
    return PlcMirrorDb::DatabaseIdentifier(config_.historyDb) + ".tag_history";
}

void TagHistory::Create() {
    if (!Enabled()) return;
    connection_.Query("CREATE DATABASE IF NOT EXISTS " +
                      PlcMirrorDb::DatabaseIdentifier(config_.historyDb));
    connection_.Query("CREATE TABLE IF NOT EXISTS " + Table() +
                      " (name VARCHAR(64) NOT NULL, value DOUBLE NULL, changed_at DATETIME(3) NOT "
                      "NULL, id BIGINT UNSIGNED NOT NULL AUTO_INCREMENT, PRIMARY KEY (id), INDEX "
                      "name_time (name, changed_at), INDEX time (changed_at))");
}

void TagHistory::Size() {
    const std::size_t count = config_.tags.size();
    if (appended_.size() == count) return;
    appended_.assign(count, Appended{});
    held_.assign(count, std::nullopt);
    isHeld_.assign(count, false);
    sending_.clear();
}

void TagHistory::Start() {
    appended_.clear();
    Size();
    purging_ = false;
    nextPurge_ = {};
}

void TagHistory::Hold(int index, std::optional<double> value) {
    Size();
    if (index < 0 || static_cast<std::size_t>(index) >= held_.size()) return;
    held_[static_cast<std::size_t>(index)] = value;
    isHeld_[static_cast<std::size_t>(index)] = true;
}

bool TagHistory::SendRows(const StatementBatch::Send& send, bool eachValue) {
    Size();
    sending_.clear();
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (!isHeld_[i]) continue;
        isHeld_[i] = false;
        const TagDefinition& tag = config_.tags[i];
        const Appended& a = appended_[i];
        const std::optional<double>& value = held_[i];
        bool append;
        if (!value)
            append = a.last == Last::Value;  // the value went away: NaN or infinity
        else if (a.last != Last::Value)
            append = true;
        else if (tag.deadband > 0)
            append = std::fabs(*value - a.value) > tag.deadband;
        else
            append = *value != a.value;
        if (append) sending_.push_back({static_cast<int>(i), value});
    }
    return Send(send, eachValue);
}

bool TagHistory::SendLinkDown(const StatementBatch::Send& send) {
    Size();
    sending_.clear();
    for (std::size_t i = 0; i < appended_.size(); ++i)
        if (appended_[i].last == Last::Value)
            sending_.push_back({static_cast<int>(i), std::nullopt});
    return Send(send, false);
}

bool TagHistory::HasValues() const {
    for (const Appended& a : appended_)
        if (a.last == Last::Value) return true;
    return false;
}

void TagHistory::ForgetLinkDown() {
    for (Appended& a : appended_)
        if (a.last == Last::Value) a.last = Last::NoData;
}

bool TagHistory::Send(const StatementBatch::Send& send, bool eachValue) {
    if (sending_.empty()) return true;
    const std::string head = "INSERT INTO " + Table() + " (name, value, changed_at) VALUES ";
    StatementBatch rows(head, "", send);
    bool ok = true;
    std::string row;
    for (const Row& r : sending_) {
        row =
            "('" + connection_.Escape(config_.tags[static_cast<std::size_t>(r.index)].name) + "',";
        if (r.value)
            AppendDouble(row, *r.value);
        else
            row += "NULL";
        row += ",UTC_TIMESTAMP(3))";
        if (eachValue) {
            if (!send(head + row)) ok = false;
        } else {
            rows.Add(row);
        }
    }
    rows.Flush();
    return ok && rows.ok();
}

void TagHistory::Stored(bool ok) {
    if (ok) {
        for (const Row& r : sending_) {
            Appended& a = appended_[static_cast<std::size_t>(r.index)];
            a.last = r.value ? Last::Value : Last::NoData;
            a.value = r.value.value_or(0.0);
        }
    }
    sending_.clear();
}

void TagHistory::PurgeIfDue() {
    if (!Enabled() || config_.historyDays <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (!purging_ && now < nextPurge_) return;
    if (!purging_) nextPurge_ = now + purgeInterval_;
    // The oldest rows by the changed_at index: each batch finds its rows
    // without reading the others.
    std::string sql = "DELETE FROM " + Table() + " WHERE changed_at < UTC_TIMESTAMP(3) - INTERVAL ";
    AppendNumber(sql, config_.historyDays);
    sql += " DAY LIMIT ";
    AppendNumber(sql, kPurgeBatchRows);
    purging_ = connection_.Query(sql) && connection_.AffectedRows() >= kPurgeBatchRows;
}

}  // namespace tarnlight::db
