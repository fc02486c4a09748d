#pragma once
// Many rows in few statements: head + item + "," + item ... + tail, split so
// that no statement grows beyond a limit far below the server's packet limit
// (max_allowed_packet: 16 MiB on current servers, 1 MiB on old ones, and a
// statement longer than it is refused whole).
#include <charconv>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "db/mirror_connection.h"

namespace tarnlight::db {

inline constexpr std::size_t kMaxStatementBytes = 64 * 1024;

// A whole decimal integer text as the server sends it (optional minus
// sign, nothing else around it); false for SQL NULL (nullptr) and anything else.
inline bool ParseInteger(const char* text, unsigned long length, long& value) {
    if (text == nullptr || length == 0) return false;
    const char* end = text + length;
    const auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end;
}

// A number in decimal, as it goes into a statement.
inline void AppendNumber(std::string& out, long value) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    out.append(buf, end);
}

// A finite double in the shortest text that reads back as the same double
// ("1.5", "-1e-07"), as it goes into a statement.
inline void AppendDouble(std::string& out, double value) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    out.append(buf, end);
}

// A whole decimal number text as the server sends it ("12.5", "-1e-07");
// false for SQL NULL, anything else and a value beyond double's range.
inline bool ParseDouble(const char* text, unsigned long length, double& value) {
    if (text == nullptr || length == 0) return false;
    const char* end = text + length;
    const auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end;
}

class StatementBatch {
  public:
    // send gets each complete statement and returns true when the server
    // accepted it.
    using Send = std::function<bool(const std::string& sql)>;

    StatementBatch(std::string_view head, std::string_view tail, Send send,
                   std::size_t limit = kMaxStatementBytes);

    // Appends one item (a row "(1,0)", an id "17"); sends the statement
    // first when the item would take it past the limit.
    void Add(std::string_view item);
    // Sends what has been added since the last statement went out.
    void Flush();
    // False when any statement sent so far was refused.
    bool ok() const { return ok_; }
    unsigned statementsSent() const { return sent_; }

  private:
    std::string head_;
    std::string tail_;
    Send send_;
    std::size_t limit_;
    std::string sql_;
    bool empty_ = true;
    bool ok_ = true;
    unsigned sent_ = 0;
};

// New values for existing rows, many rows per statement:
//   UPDATE t SET value = CASE id WHEN 1 THEN 0 WHEN 2 THEN -7 END WHERE id IN (1,2)
// As one UPDATE per row, it changes the value column of the rows listed that
// exist, nothing else: columns another program added, rows it deleted and
// rows not listed stay as they are. The server tries the WHEN branches one
// after the other for every row, so the time per statement grows with the
// square of its rows: a statement holds at most maxRows rows (128 took the
// least time per row against MariaDB 10.11, about a fifth more than a
// multi-row INSERT ... ON DUPLICATE KEY UPDATE, which would add rows another
// program deleted and fails on a column it added).
class ValueUpdateBatch {
  public:
    using Send = StatementBatch::Send;
    // About 4 KiB of statement at most.
    static constexpr unsigned kMaxRows = 128;

    ValueUpdateBatch(std::string_view table, Send send, unsigned maxRows = kMaxRows);
    // Sends the statement first when it holds maxRows rows.
    void Add(long id, long value);
    void Flush();

  private:
    std::string head_;  // "UPDATE t SET value = CASE id"
    Send send_;
    unsigned maxRows_;
    std::string cases_;  // " WHEN 1 THEN 0 WHEN 2 THEN -7"
    std::string ids_;    // "1,2"
    unsigned rows_ = 0;
};

// Statements that go in one transaction, one commit for all of them. The
// transaction begins with the first statement, so one with nothing to send
// sends nothing at all. A statement that fails does not stop the others.
class Transaction {
  public:
    explicit Transaction(MirrorConnection& connection) : connection_(connection) {}
    bool Send(const std::string& sql);
    StatementBatch::Send Sender() {
        return [this](const std::string& sql) { return Send(sql); };
    }
    // COMMIT when anything was sent. True when every statement, and the
    // commit, succeeded.
    bool Commit();
    bool began() const { return began_; }
    // The transaction began and the COMMIT went through (or nothing was
    // sent): whatever statements of it succeeded are stored.
    bool committed() const { return committed_; }

  private:
    MirrorConnection& connection_;
    bool began_ = false;
    bool ok_ = true;
    bool startOk_ = false;
    bool committed_ = false;
};

}  // namespace tarnlight::db
