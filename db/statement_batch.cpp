#include "db/statement_batch.h"

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

bool Transaction::Send(const std::string& sql) {
    if (!began_) {
        began_ = true;
        if (!connection_.Query("START TRANSACTION")) ok_ = false;
    }
    if (connection_.Query(sql)) return true;
    ok_ = false;
    return false;
}

bool Transaction::Commit() {
    if (began_ && !connection_.Query("COMMIT")) ok_ = false;
    return ok_;
}

}  // namespace tarnlight::db
