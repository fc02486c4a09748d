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

// The six pending-request queries as one statement; the first column is the
// table's MemoryType. A failure (a table dropped or broken by another
// program) sends the six queries one by one instead.
constexpr const char* kPendingUnion =
    "SELECT 0, id, value FROM new_i WHERE flag = 1 UNION ALL "
    "SELECT 1, id, value FROM new_m WHERE flag = 1 UNION ALL "
    "SELECT 2, id, value FROM new_q WHERE flag = 1 UNION ALL "
    "SELECT 3, id, value FROM new_ai WHERE flag = 1 UNION ALL "
    "SELECT 4, id, value FROM new_r WHERE flag = 1 UNION ALL "
    "SELECT 5, id, value FROM new_aq WHERE flag = 1";

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
                type < kAreaCount)
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
    }
    rows.Reset();

    std::array<std::vector<FlagReset>, kAreaCount> resets;
    bool failed = false;
    for (const PendingRequest& request : pending) {
        const RequestRow row{request.id ? request.id->data() : nullptr,
                             request.id ? request.id->size() : 0,
                             request.value ? request.value->data() : nullptr,
                             request.value ? request.value->size() : 0};
        uint16_t id = 0;
        long value = 0;
        const RequestOutcome outcome = ServeRequest(request.type, row, id, value);
        if (outcome == RequestOutcome::Failed) {
            failed = true;  // this row and the later ones keep flag 1
            break;
        }
        if (outcome == RequestOutcome::Rejected)
            RejectRequest(request.type, row.id, row.idLength);
        else
            resets[request.type].push_back({id, value});
    }
    // The rows served before a failed write stay served.
    SendFlagResets(resets);
    return !failed;
}

bool PlcMirrorDb::SendFlagResets(const std::array<std::vector<FlagReset>, kAreaCount>& resets) {
    Transaction transaction(connection_);
    std::string item;
    for (int type = 0; type < kAreaCount; ++type) {
        if (resets[type].empty()) continue;
        // Only while the row still asks for the value served: a request
        // changed since it was read stays flagged and is served next cycle.
        StatementBatch batch(
            "UPDATE " + std::string(kRequestTable[type]) + " SET flag = 0 WHERE (id, value) IN (",
            ")", transaction.Sender());
        for (const FlagReset& reset : resets[type]) {
            item.assign("(");
            AppendNumber(item, reset.id);
            item += ',';
            AppendNumber(item, reset.value);
            item += ')';
            batch.Add(item);
        }
        batch.Flush();
    }
    return transaction.Commit();
}

}  // namespace tarnlight::db
