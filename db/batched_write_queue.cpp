// The write-back queue in few statements: the six request tables in one
// round trip, the flag resets in batches in one transaction. Rows are served
// in the same order, with the same checks and writes, as one by one.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "db/plc_mirror_db.h"
#include "db/statement_batch.h"
#include "db/table_names.h"

namespace tarnlight::db {

namespace {

// The six pending-request queries and that of new_tags as one statement; the
// first column is the table's MemoryType, kTagTable for new_tags, whose
// name stands in the id column. A union gives each column one type for all its parts,
// so each part's id and value go as text, the text that table's own query
// returns: a part's type (a DECIMAL column another program made of new_ai's
// values) changes nothing in the others. A failure (a table dropped or broken
// by another program) sends the six queries one by one instead.
constexpr const char* kPendingUnion =
    "SELECT 0, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_i WHERE flag = 1 UNION ALL "
    "SELECT 1, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_m WHERE flag = 1 UNION ALL "
    "SELECT 2, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_q WHERE flag = 1 UNION ALL "
    "SELECT 3, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_ai WHERE flag = 1 UNION ALL "
    "SELECT 4, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_r WHERE flag = 1 UNION ALL "
    "SELECT 5, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_aq WHERE flag = 1 UNION ALL "
    "SELECT 6, CAST(name AS CHAR), CAST(value AS CHAR) FROM new_tags WHERE flag = 1";
constexpr int kTagTable = kAreaCount;
constexpr const char* kPendingTags =
    "SELECT name, CAST(value AS CHAR) FROM new_tags WHERE flag = 1";

// One pending row, copied out of its result set.
struct PendingRequest {
    int type;
    std::optional<std::string> id;  // nullopt for SQL NULL
    std::optional<std::string> value;
};

std::optional<std::string> ColumnText(const StoredResult& rows, unsigned i) {
    const char* text = rows.Column(i);
    if (text == nullptr) return std::nullopt;
    return std::string(text, rows.Length(i));
}

}  // namespace

bool PlcMirrorDb::ServeWriteQueueBatched() {
    std::vector<PendingRequest> pending;
    StoredResult rows;
    if (connection_.Select(kPendingUnion, rows) && rows.HasResultSet()) {
        long type = -1;
        while (rows.Next())
            if (ParseInteger(rows.Column(0), rows.Length(0), type) && type >= 0 &&
                type <= kTagTable)
                pending.push_back(
                    {static_cast<int>(type), ColumnText(rows, 1), ColumnText(rows, 2)});
        // Table by table as one by one; within a table in the server's order.
        std::stable_sort(
            pending.begin(), pending.end(),
            [](const PendingRequest& a, const PendingRequest& b) { return a.type < b.type; });
    } else {
        // A table whose query fails is skipped for this cycle.
        for (int type = 0; type < kAreaCount; ++type) {
            if (!connection_.Select(kPendingQuery[type], rows) || !rows.HasResultSet()) continue;
            while (rows.Next()) pending.push_back({type, ColumnText(rows, 0), ColumnText(rows, 1)});
        }
        if (connection_.Select(kPendingTags, rows) && rows.HasResultSet())
            while (rows.Next())
                pending.push_back({kTagTable, ColumnText(rows, 0), ColumnText(rows, 1)});
    }
    rows.Reset();

    FlagResets served;
    FlagResets refused;
    std::vector<std::string> tagChanges;
    bool failed = false;
    for (const PendingRequest& request : pending) {
        const RequestRow row{request.id ? request.id->data() : nullptr,
                             request.id ? request.id->size() : 0,
                             request.value ? request.value->data() : nullptr,
                             request.value ? request.value->size() : 0};
        if (request.type == kTagTable) {
            const RequestOutcome outcome = ServeTagRequest(row);
            if (outcome == RequestOutcome::Failed) {
                failed = true;
                break;
            }
            if (outcome == RequestOutcome::Rejected)
                connection_.Query(TagFlagChange(row, kFlagRejected));
            else
                tagChanges.push_back(
                    TagFlagChange(row, outcome == RequestOutcome::Refused ? kFlagRefused : 0));
            continue;
        }
        uint16_t id = 0;
        long value = 0;
        const RequestOutcome outcome = ServeRequest(request.type, row, id, value);
        if (outcome == RequestOutcome::Failed) {
            failed = true;  // this row and the later ones keep flag 1
            break;
        }
        if (outcome == RequestOutcome::Rejected)
            RejectRequest(request.type, row);
        else if (outcome == RequestOutcome::Refused)
            refused[request.type].push_back({id, value});
        else
            served[request.type].push_back({id, value});
    }
    // The rows served before a failed write stay served.
    SendFlagResets(served, refused, tagChanges);
    return !failed;
}

bool PlcMirrorDb::SendFlagResets(const FlagResets& served, const FlagResets& refused,
                                 const std::vector<std::string>& tagChanges) {
    Transaction transaction(connection_);
    std::string item;
    // Only while the row still asks for the value sent: a request changed
    // since it was read stays flagged and is served next cycle.
    const auto send = [&](int type, const std::vector<FlagReset>& rows, const char* change) {
        if (rows.empty()) return;
        StatementBatch batch("UPDATE " + std::string(kRequestTable[type]) + change, ")",
                             transaction.Sender());
        for (const FlagReset& row : rows) {
            item.assign("(");
            AppendNumber(item, row.id);
            item += ',';
            AppendNumber(item, row.value);
            item += ')';
            batch.Add(item);
        }
        batch.Flush();
    };
    for (int type = 0; type < kAreaCount; ++type) {
        send(type, served[type], " SET flag = 0 WHERE (id, value) IN (");
        send(type, refused[type], " SET flag = 3 WHERE flag = 1 AND (id, value) IN (");
    }
    // Few per pass, and each compares the value as read: one statement each.
    for (const std::string& sql : tagChanges) transaction.Send(sql);
    return transaction.Commit();
}

}  // namespace tarnlight::db
