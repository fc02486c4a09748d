#include "db/tag_tables.h"

#include <algorithm>
#include <optional>

#include "db/link_stats_table.h"
#include "types/tag.h"

namespace tarnlight::db {

namespace {

constexpr const char* kCreateTags =
    "CREATE TABLE tags (name VARCHAR(64) NOT NULL, address VARCHAR(8) NOT NULL, type VARCHAR(5) "
    "NOT NULL, value DOUBLE NULL, raw VARCHAR(8) NOT NULL DEFAULT '', changed_at DATETIME(3) "
    "NULL, scale DOUBLE NOT NULL DEFAULT 1, `offset` DOUBLE NOT NULL DEFAULT 0, quality VARCHAR(5) "
    "NOT NULL DEFAULT 'none', PRIMARY KEY (name))";
// A table kept from a version without them gets them after its columns; each
// statement fails harmlessly where its column is there.
constexpr const char* kAddScale = "ALTER TABLE tags ADD COLUMN scale DOUBLE NOT NULL DEFAULT 1";
constexpr const char* kAddOffset = "ALTER TABLE tags ADD COLUMN `offset` DOUBLE NOT NULL DEFAULT 0";
constexpr const char* kAddQuality =
    "ALTER TABLE tags ADD COLUMN quality VARCHAR(5) NOT NULL DEFAULT 'none'";
constexpr const char* kCreateNewTags =
    "CREATE TABLE new_tags (name VARCHAR(64) NOT NULL, value DOUBLE NULL, flag TINYINT NOT NULL "
    "DEFAULT 0, PRIMARY KEY (name))";

// A tag whose address, type, scale and offset stand keeps its row as it
// was (a kept database keeps its values, as the raw tables do); another
// starts unknown: a value read under the old definition is no value of the
// new one. Assignments run left to right, so the comparisons see the old
// definition.
constexpr const char* kRebuildTail =
    " ON DUPLICATE KEY UPDATE value = IF(address = VALUES(address) AND type = VALUES(type) AND "
    "scale = VALUES(scale) AND `offset` = VALUES(`offset`), value, NULL), raw = IF(address = "
    "VALUES(address) AND type = VALUES(type) AND scale = VALUES(scale) AND `offset` = "
    "VALUES(`offset`), raw, ''), changed_at = IF(address = VALUES(address) AND type = "
    "VALUES(type) AND scale = VALUES(scale) AND `offset` = VALUES(`offset`), changed_at, "
    "NULL), name = VALUES(name), address = VALUES(address), type = VALUES(type), scale = "
    "VALUES(scale), `offset` = VALUES(`offset`), quality = 'none'";

// changed_at first: it compares the row as it was with the new value.
constexpr const char* kChangeTail =
    " ON DUPLICATE KEY UPDATE changed_at = IF(raw <=> VALUES(raw) AND value <=> VALUES(value), "
    "changed_at, VALUES(changed_at)), value = VALUES(value), raw = VALUES(raw)";

constexpr const char* kInsertHead =
    "INSERT INTO tags (name, address, type, value, raw, changed_at, scale, `offset`) VALUES ";

void AppendValue(std::string& sql, const std::optional<double>& value) {
    if (value)
        AppendDouble(sql, *value);
    else
        sql += "NULL";
}

// ",scale,offset" of a row: the definition its value follows.
void AppendDefinition(std::string& sql, const TagDefinition& tag) {
    sql += ',';
    AppendDouble(sql, tag.scale);
    sql += ',';
    AppendDouble(sql, tag.offset);
}

}  // namespace

TagTable::TagTable(MirrorConnection& connection, const LinkConfig& config)
    : connection_(connection), config_(config) {}

void TagTable::Size() {
    const std::size_t count = config_.tags.size();
    if (stored_.size() == count) return;
    stored_.assign(count, kUnknown);
    pending_.assign(count, kUnknown);
    readAt_.assign(count, 0);
    everRead_.assign(count, false);
    quality_.assign(count, TagQuality::None);
    storedQuality_.assign(count, -1);
    sendingQuality_.clear();
}

void TagTable::Forget() {
    Size();
    std::fill(stored_.begin(), stored_.end(), kUnknown);
    std::fill(storedQuality_.begin(), storedQuality_.end(), -1);
    forgotten_ = true;
}

void TagTable::Start() {
    Size();
    std::fill(everRead_.begin(), everRead_.end(), false);
    std::fill(quality_.begin(), quality_.end(), TagQuality::None);
    Forget();
}

bool TagTable::EverRead(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < everRead_.size() &&
           everRead_[static_cast<std::size_t>(index)];
}

void TagTable::SetQuality(const std::vector<TagQuality>& quality) {
    Size();
    if (quality.size() == quality_.size()) quality_ = quality;
}

void TagTable::QualityStored(bool ok) {
    if (ok && !sendingQuality_.empty()) {
        storedQuality_ = sendingQuality_;
        qualityEpoch_ = connection_.Epoch();
    } else if (!ok) {
        std::fill(storedQuality_.begin(), storedQuality_.end(), -1);
    }
    sendingQuality_.clear();
}

std::vector<std::string> TagTable::QualityChanges() {
    Size();
    if (connection_.Epoch() != qualityEpoch_)
        std::fill(storedQuality_.begin(), storedQuality_.end(), -1);
    std::vector<std::string> statements;
    sendingQuality_ = storedQuality_;
    for (const TagQuality q : {TagQuality::Good, TagQuality::Stale, TagQuality::None}) {
        std::string names;
        for (std::size_t i = 0; i < quality_.size(); ++i) {
            if (quality_[i] != q || storedQuality_[i] == static_cast<int>(q)) continue;
            names += names.empty() ? "'" : ",'";
            names += connection_.Escape(config_.tags[i].name) + "'";
            sendingQuality_[i] = static_cast<int>(q);
        }
        if (!names.empty())
            statements.push_back(std::string("UPDATE tags SET quality = '") + TagQualityName(q) +
                                 "' WHERE name IN (" + names + ")");
    }
    return statements;
}

void TagTable::Create() {
    Forget();
    connection_.Query(kCreateTags);
    connection_.Query(kAddScale);
    connection_.Query(kAddOffset);
    connection_.Query(kAddQuality);
    connection_.Query(kCreateNewTags);
    const auto send = [this](const std::string& sql) { return connection_.Query(sql); };
    if (config_.tags.empty()) {
        connection_.Query("DELETE FROM tags");
        return;
    }
    // One statement whatever its length: split, it would delete kept tags.
    std::string keep = "DELETE FROM tags WHERE name NOT IN (";
    StatementBatch rows(kInsertHead, kRebuildTail, send);
    StatementBatch requests("INSERT IGNORE INTO new_tags (name, value, flag) VALUES ", "", send);
    for (const TagDefinition& tag : config_.tags) {
        const std::string name = "'" + connection_.Escape(tag.name) + "'";
        if (keep.back() != '(') keep += ',';
        keep += name;
        std::string row = "(" + name + ",'" + TagAddressText(tag) + "','" + TagTypeName(tag.type) +
                          "',NULL,'',NULL";
        AppendDefinition(row, tag);
        rows.Add(row + ")");
        requests.Add("(" + name + ",NULL,0)");
    }
    connection_.Query(keep + ")");
    rows.Flush();
    requests.Flush();
}

void TagTable::Hold(int index, uint32_t raw, int64_t readAtMs) {
    Size();
    if (index < 0 || static_cast<std::size_t>(index) >= pending_.size()) return;
    const auto i = static_cast<std::size_t>(index);
    pending_[i] = raw;
    readAt_[i] = readAtMs;
    everRead_[i] = true;
}

std::string TagTable::Row(int index, uint32_t raw) const {
    const TagDefinition& tag = config_.tags[static_cast<std::size_t>(index)];
    std::string row = "('" + connection_.Escape(tag.name) + "','" + TagAddressText(tag) + "','" +
                      TagTypeName(tag.type) + "',";
    AppendValue(row, TagValueFromRaw(tag, raw));
    // The time it was read, on the server's clock as link_stats's times.
    row += ",'" + TagRawText(tag, raw) + "'," +
           ServerTime(readAt_[static_cast<std::size_t>(index)], NowMs());
    AppendDefinition(row, tag);
    return row + ")";
}

std::string TagTable::Update(int index, uint32_t raw) const {
    const TagDefinition& tag = config_.tags[static_cast<std::size_t>(index)];
    const std::optional<double> value = TagValueFromRaw(tag, raw);
    const std::string rawText = "'" + TagRawText(tag, raw) + "'";
    std::string sql = "UPDATE tags SET changed_at = IF(raw <=> " + rawText + " AND value <=> ";
    AppendValue(sql, value);
    sql += ", changed_at, " + ServerTime(readAt_[static_cast<std::size_t>(index)], NowMs()) +
           "), value = ";
    AppendValue(sql, value);
    sql += ", raw = " + rawText + " WHERE name = '" + connection_.Escape(tag.name) + "'";
    return sql;
}

bool TagTable::SendChanges(const StatementBatch::Send& send, bool eachValue) {
    Size();
    sendStart_ = std::chrono::steady_clock::now();
    if (connection_.Epoch() != epoch_ || sendStart_ - lastFullWrite_ >= refreshInterval_) Forget();
    bool ok = true;
    StatementBatch rows(kInsertHead, kChangeTail, send);
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        const int64_t raw = pending_[i];
        if (raw == kUnknown || raw == stored_[i]) continue;
        pending_[i] = kUnknown;
        const int index = static_cast<int>(i);
        if (eachValue) {
            if (!send(Update(index, static_cast<uint32_t>(raw)))) ok = false;
        } else {
            rows.Add(Row(index, static_cast<uint32_t>(raw)));
        }
        stored_[i] = raw;  // taken back by Stored(false)
    }
    rows.Flush();
    std::fill(pending_.begin(), pending_.end(), kUnknown);
    return ok && rows.ok();
}

void TagTable::Stored(bool ok) {
    if (!ok) {
        Forget();
        return;
    }

    epoch_ = connection_.Epoch();
    if (forgotten_) {
        forgotten_ = false;
        lastFullWrite_ = sendStart_;
    }
}

}  // namespace tarnlight::db
