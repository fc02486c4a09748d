#include "db/statement_batch.h"

#include <algorithm>
#include <utility>

namespace tarnlight::db {

StatementBatch::StatementBatch(std::string_view head, std::string_view tail, Send send,
                               std::size_t limit)
    : head_(head), tail_(tail), send_(std::move(send)), limit_(limit) {
    sql_.reserve(limit_);
    sql_ = head_;
}

void StatementBatch::Add(std::string_view item) {
    // An item too long for any statement still goes out, alone.
    if (!empty_ && sql_.size() + 1 + item.size() + tail_.size() > limit_) Flush();
    if (!empty_) sql_ += ',';
    sql_.append(item);
    empty_ = false;
}

void StatementBatch::Flush() {
    if (empty_) return;
    sql_ += tail_;
    if (!send_(sql_)) ok_ = false;
    ++sent_;
    sql_ = head_;
    empty_ = true;
}

ValueUpdateBatch::ValueUpdateBatch(std::string_view table, Send send, unsigned maxRows)
    : send_(std::move(send)), maxRows_(std::max(1u, maxRows)) {
    head_.append("UPDATE ").append(table).append(" SET value = CASE id");
}

void ValueUpdateBatch::Add(long id, long value) {
    if (rows_ >= maxRows_) Flush();
    cases_ += " WHEN ";
    AppendNumber(cases_, id);
    cases_ += " THEN ";
    AppendNumber(cases_, value);
    if (rows_ > 0) ids_ += ',';
    AppendNumber(ids_, id);
    ++rows_;
}

void ValueUpdateBatch::Flush() {
    if (rows_ == 0) return;
    send_(head_ + cases_ + " END WHERE id IN (" + ids_ + ")");
    cases_.clear();
    ids_.clear();
    rows_ = 0;
}

bool Transaction::Send(const std::string& sql) {
    if (!began_) {
        began_ = true;
        startOk_ = connection_.Query("START TRANSACTION");
        if (!startOk_) ok_ = false;
    }
    if (connection_.Query(sql)) return true;
    ok_ = false;
    return false;
}

bool Transaction::Commit() {
    committed_ = !began_ || (connection_.Query("COMMIT") && startOk_);
    if (!committed_) ok_ = false;
    return ok_;
}

}  // namespace tarnlight::db
