// The write-back queue in its three steps: the pending rows read (the seven
// tables in one round trip), each row served on the line, and the flags sent
// back (in batches, in one transaction). Rows are served in the same order,
// with the same checks and writes, whichever thread runs which step.
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
// first column is the table's MemoryType, kTagRequests for new_tags, whose
// name stands in the id column. A union gives each column one type for all
// its parts, so each part's id and value go as text, the text that table's
// own query returns: a part's type (a DECIMAL column another program made of
// new_ai's values) changes nothing in the others. A failure (a table dropped
// or broken by another program) sends the seven queries one by one instead.
constexpr const char* kPendingUnion =
    "SELECT 0, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_i WHERE flag = 1 UNION ALL "
    "SELECT 1, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_m WHERE flag = 1 UNION ALL "
    "SELECT 2, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_q WHERE flag = 1 UNION ALL "
    "SELECT 3, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_ai WHERE flag = 1 UNION ALL "
    "SELECT 4, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_r WHERE flag = 1 UNION ALL "
    "SELECT 5, CAST(id AS CHAR), CAST(value AS CHAR) FROM new_aq WHERE flag = 1 UNION ALL "
    "SELECT 6, CAST(name AS CHAR), CAST(value AS CHAR) FROM new_tags WHERE flag = 1";
// The columns by name: another program may have added or moved columns.
constexpr const char* kPendingTags =
    "SELECT name, CAST(value AS CHAR) FROM new_tags WHERE flag = 1";

std::optional<std::string> ColumnText(const StoredResult& rows, unsigned i) {
    const char* text = rows.Column(i);
    if (text == nullptr) return std::nullopt;
    return std::string(text, rows.Length(i));
}

}  // namespace

PlcMirrorDb::RequestRow PlcMirrorDb::RowOf(const WriteRequest& request) {
    return {request.id ? request.id->data() : nullptr, request.id ? request.id->size() : 0,
            request.value ? request.value->data() : nullptr,
            request.value ? request.value->size() : 0};
}

void PlcMirrorDb::FetchTable(int type, std::vector<WriteRequest>& pending) {
    StoredResult rows;
    if (type == kTagRequests) {
        if (!connection_.Select(kPendingTags, rows) || !rows.HasResultSet()) return;
        while (rows.Next()) pending.push_back({type, ColumnText(rows, 0), ColumnText(rows, 1)});
        return;
    }
    // A statement without a result set leaves nothing to do.
    if (!connection_.Select(kPendingQuery[type], rows) || !rows.HasResultSet()) return;
    // By name: a table whose columns another program reordered must not
    // turn an id into a value. Without both columns there is nothing to serve.
    const unsigned idColumn = rows.ColumnIndex("id");
    const unsigned valueColumn = rows.ColumnIndex("value");
    if (idColumn >= rows.ColumnCount() || valueColumn >= rows.ColumnCount()) return;
    while (rows.Next())
        pending.push_back({type, ColumnText(rows, idColumn), ColumnText(rows, valueColumn)});
}

std::vector<WriteRequest> PlcMirrorDb::FetchRequests() {
    std::vector<WriteRequest> pending;
    if (!Active()) return pending;
    StoredResult rows;
    if (connection_.Select(kPendingUnion, rows) && rows.HasResultSet()) {
        long type = -1;
        while (rows.Next())
            if (ParseInteger(rows.Column(0), rows.Length(0), type) && type >= 0 &&
                type <= kTagRequests)
                pending.push_back(
                    {static_cast<int>(type), ColumnText(rows, 1), ColumnText(rows, 2)});
        // Table by table as one by one; within a table in the server's order.
        std::stable_sort(
            pending.begin(), pending.end(),
            [](const WriteRequest& a, const WriteRequest& b) { return a.type < b.type; });
        return pending;
    }
    // A table whose query fails is skipped this time.
    for (int type = 0; type <= kTagRequests; ++type) FetchTable(type, pending);
    return pending;
}

ServedRequest PlcMirrorDb::Serve(const WriteRequest& request) {
    ServedRequest served{request};
    const RequestRow row = RowOf(request);
    if (request.type == kTagRequests)
        served.outcome = ServeTagRow(row);
    else if (request.type >= 0 && request.type < kAreaCount)
        served.outcome = ServeRow(request.type, row, served.address, served.value);
    else
        served.outcome = RequestOutcome::Rejected;
    return served;
}

bool PlcMirrorDb::ServeAndFlag(const std::vector<WriteRequest>& rows) {
    std::vector<ServedRequest> served;
    bool failed = false;
    for (const WriteRequest& request : rows) {
        served.push_back(Serve(request));
        // This row and the later ones keep flag 1.
        if (served.back().outcome == RequestOutcome::Failed) {
            failed = true;
            break;
        }
    }
    // The rows served before a failed write stay served.
    SendFlagChanges(served);
    return !failed;
}

bool PlcMirrorDb::SendFlagChanges(const std::vector<ServedRequest>& served) {
    if (served.empty()) return true;
    if (!Active()) return false;
    if (config_.mirrorEachValue) {
        bool ok = true;
        for (const ServedRequest& s : served) {
            const RequestRow row = RowOf(s.request);
            switch (s.outcome) {
                case RequestOutcome::Rejected:
                    if (s.request.type == kTagRequests)
                        ok = connection_.Query(TagFlagChange(row, kFlagRejected)) && ok;
                    else
                        RejectRequest(s.request.type, row);
                    break;
                case RequestOutcome::AlreadyStored:
                case RequestOutcome::Written:
                    if (s.request.type == kTagRequests)
                        ok = connection_.Query(TagFlagChange(row, 0)) && ok;
                    else
                        ClearRequestFlag(s.request.type, s.address, s.value);
                    break;
                case RequestOutcome::Refused:
                    if (s.request.type == kTagRequests)
                        ok = connection_.Query(TagFlagChange(row, kFlagRefused)) && ok;
                    else
                        MarkRequestRefused(s.request.type, s.address, s.value);
                    break;
                case RequestOutcome::Failed:
                    break;
            }
        }
        return ok;
    }

    Transaction transaction(connection_);
    std::array<std::vector<const ServedRequest*>, kAreaCount> done;
    std::array<std::vector<const ServedRequest*>, kAreaCount> refused;
    for (const ServedRequest& s : served) {
        if (s.outcome == RequestOutcome::Failed) continue;
        const RequestRow row = RowOf(s.request);
        if (s.request.type == kTagRequests) {
            // Few per pass, and each compares the value as read: one statement each.
            const int flag = s.outcome == RequestOutcome::Rejected  ? kFlagRejected
                             : s.outcome == RequestOutcome::Refused ? kFlagRefused
                                                                    : 0;
            transaction.Send(TagFlagChange(row, flag));
        } else if (s.outcome == RequestOutcome::Rejected) {
            transaction.Send(RejectStatement(s.request.type, row));
        } else if (s.outcome == RequestOutcome::Refused) {
            refused[s.request.type].push_back(&s);
        } else {
            done[s.request.type].push_back(&s);
        }
    }
    // Only while the row still asks for the value sent: a request changed
    // since it was read stays flagged and is served next time.
    std::string item;
    const auto send = [&](int type, const std::vector<const ServedRequest*>& rows,
                          const char* change) {
        if (rows.empty()) return;
        StatementBatch batch("UPDATE " + std::string(kRequestTable[type]) + change, ")",
                             transaction.Sender());
        for (const ServedRequest* row : rows) {
            item.assign("(");
            AppendNumber(item, row->address);
            item += ',';
            AppendNumber(item, row->value);
            item += ')';
            batch.Add(item);
        }
        batch.Flush();
    };
    for (int type = 0; type < kAreaCount; ++type) {
        send(type, done[type], " SET flag = 0 WHERE (id, value) IN (");
        send(type, refused[type], " SET flag = 3 WHERE flag = 1 AND (id, value) IN (");
    }
    // A statement that failed on its own (a table another program broke)
    // leaves its row flagged, to be served again; only a lost commit is
    // worth sending again.
    transaction.Commit();
    return transaction.committed();
}

}  // namespace tarnlight::db
