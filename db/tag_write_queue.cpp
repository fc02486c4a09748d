// The write-back queue of new_tags: a row names a tag and the value to write
// as the engineer reads it; the value is encoded with the tag's scale and
// offset and written in one request, as the raw tables' rows are, with the
// same flags and the same checks of the row as it was read.
#include <string>

#include "db/plc_mirror_db.h"
#include "db/statement_batch.h"
#include "snp/tag_image.h"
#include "types/tag.h"

namespace tarnlight::db {

RequestOutcome PlcMirrorDb::ServeTagRow(const RequestRow& row) {
    if (row.id == nullptr) return Counted(RequestOutcome::Rejected);
    const int index = FindTag(config_.tags, std::string_view(row.id, row.idLength));
    double value = 0.0;
    uint32_t raw = 0;
    if (index < 0 || !ParseDouble(row.value, row.valueLength, value))
        return Counted(RequestOutcome::Rejected);
    const TagDefinition& tag = config_.tags[static_cast<std::size_t>(index)];
    if (TagRawFromValue(tag, value, &raw) != TagEncodeResult::Ok)
        return Counted(RequestOutcome::Rejected);
    // Always written, even when the image holds the bits: a raw row served
    // before it may have changed the cells since they were read.
    return WriteOutcome(snp::WriteTagRaw(writer_, tag, raw));
}

std::string PlcMirrorDb::TagFlagChange(const RequestRow& row, int flag) {
    std::string sql = "UPDATE new_tags SET flag = ";
    AppendNumber(sql, flag);
    sql += " WHERE ";
    if (row.id == nullptr)
        sql += "name IS NULL";
    else
        sql += "name = '" + connection_.Escape(std::string(row.id, row.idLength)) + "'";
    sql += " AND ";
    AppendAsRead(sql, "value", row.value, row.valueLength);
    if (flag != 0) sql += " AND flag = 1";
    return sql;
}

int PlcMirrorDb::ServeTagRequests() {
    std::vector<WriteRequest> rows;
    FetchTable(kTagRequests, rows);
    return ServeAndFlag(rows) ? 1 : 0;
}

}  // namespace tarnlight::db
