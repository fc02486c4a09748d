#include "db/mirror_connection.h"

#include <fcntl.h>
#include <mysql.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "db/connection_tls.h"

namespace tarnlight::db {

namespace {

// The connection whose Open runs on this thread, for the wait below.
thread_local const std::atomic<bool>* openAborted = nullptr;

// Every wait of the client library for its socket, in short slices: an Open
// under way (the socket is not ours before it has ended) then ends soon
// after an Abort, instead of at the end of its time-out.
int WaitForSocket(my_socket socket, my_bool isRead, int timeoutMs) {
    constexpr int kSliceMs = 50;
    pollfd entry{socket, static_cast<short>(isRead ? POLLIN : POLLOUT), 0};
    for (int waited = 0;;) {
        if (openAborted != nullptr && openAborted->load()) return -1;
        const int slice = timeoutMs < 0 ? kSliceMs : std::min(kSliceMs, timeoutMs - waited);
        const int ready = ::poll(&entry, 1, slice);
        if (ready != 0) return ready;
        waited += slice;
        if (timeoutMs >= 0 && waited >= timeoutMs) return 0;
    }
}

}  // namespace

StoredResult::~StoredResult() {
    Reset();
}

void StoredResult::Reset() {
    if (result_ != nullptr) mysql_free_result(result_);
    result_ = nullptr;
    row_ = nullptr;
    lengths_ = nullptr;
    columns_ = 0;
}

bool StoredResult::Next() {
    if (result_ == nullptr) return false;
    row_ = mysql_fetch_row(result_);
    if (row_ == nullptr) return false;
    lengths_ = mysql_fetch_lengths(result_);
    return true;
}

const char* StoredResult::Column(unsigned i) const {
    if (row_ == nullptr || i >= columns_) return nullptr;
    return row_[i];
}

unsigned StoredResult::ColumnIndex(const char* name) const {
    if (result_ == nullptr) return columns_;
    const MYSQL_FIELD* fields = mysql_fetch_fields(result_);
    for (unsigned i = 0; i < columns_; ++i) {
        if (fields[i].name != nullptr && ::strcasecmp(fields[i].name, name) == 0) return i;
    }
    return columns_;
}

unsigned long StoredResult::Length(unsigned i) const {
    if (row_ == nullptr || lengths_ == nullptr || i >= columns_) return 0;
    return lengths_[i];
}

MirrorConnection::~MirrorConnection() {
    Close();
}

bool MirrorConnection::Open(const ConnectionParams& params) {
    Close();
    ++epoch_;
    params_ = params;
    if (!CheckNotAborted()) return false;
    if (!CheckTlsFiles(params.tls, &lastError_)) return false;
    handle_ = mysql_init(nullptr);
    if (handle_ == nullptr) {
        lastError_ = "MySQL client library: out of memory";
        return false;
    }
    const unsigned connectTimeout = params.connectTimeoutSeconds;
    const unsigned ioTimeout = params.readWriteTimeoutSeconds;
    mysql_options(handle_, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    if (ioTimeout > 0) {
        mysql_options(handle_, MYSQL_OPT_READ_TIMEOUT, &ioTimeout);
        mysql_options(handle_, MYSQL_OPT_WRITE_TIMEOUT, &ioTimeout);
    }
    if (params.port != 0) {
        // With host "localhost" the client library would take its default
        // socket and ignore the port: a configured port means TCP.
        const unsigned protocol = MYSQL_PROTOCOL_TCP;
        mysql_options(handle_, MYSQL_OPT_PROTOCOL, &protocol);
    }
    if (!SetTlsOptions(handle_, params.tls, &lastError_)) {
        mysql_close(handle_);
        handle_ = nullptr;
        return false;
    }
    mysql_optionsv(handle_, MARIADB_OPT_IO_WAIT, reinterpret_cast<void*>(&WaitForSocket));
    openAborted = &aborted_;
    const bool connected =
        mysql_real_connect(handle_, params.host.c_str(), params.user.c_str(),
                           params.password.c_str(), nullptr, params.port, nullptr, 0) != nullptr;
    openAborted = nullptr;
    if (!connected || !TakeAbortSocket()) {
        KeepError();
        if (!aborted_.load()) ExplainRefusedLoginMethod(handle_, params.tls, &lastError_);
        mysql_close(handle_);
        handle_ = nullptr;
        return false;
    }
    // A second guard behind the library's refusal before the login.
    std::string tlsError;
    if (!CheckSessionTls(handle_, params.tls, &tlsError)) {
        Close();
        lastError_ = tlsError;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(tlsMutex_);
        tlsDescription_ = SessionTlsDescription(handle_);
    }
    lastError_.clear();
    lastErrno_ = 0;
    return true;
}

std::string MirrorConnection::TlsDescription() const {
    std::lock_guard<std::mutex> lock(tlsMutex_);
    return tlsDescription_;
}

bool MirrorConnection::TakeAbortSocket() {
    std::lock_guard<std::mutex> lock(abortMutex_);
    // Aborted while the connect ran: the new session ends at once.
    if (aborted_.load()) return false;
    const my_socket socket = mysql_get_socket(handle_);
    // Without a duplicate (no descriptor left) the connection still works;
    // an Abort then only stops the calls after the running one.
    abortSocket_ = socket >= 0 ? ::fcntl(socket, F_DUPFD_CLOEXEC, 0) : -1;
    return true;
}

void MirrorConnection::ReleaseAbortSocket() {
    std::lock_guard<std::mutex> lock(abortMutex_);
    if (abortSocket_ >= 0) ::close(abortSocket_);
    abortSocket_ = -1;
}

void MirrorConnection::Abort() {
    std::lock_guard<std::mutex> lock(abortMutex_);
    aborted_.store(true);
    // Both directions: a blocked read returns at once, and so does a write
    // that waits for room in a full send buffer.
    if (abortSocket_ >= 0) ::shutdown(abortSocket_, SHUT_RDWR);
}

void MirrorConnection::ClearAbort() {
    aborted_.store(false);
}

bool MirrorConnection::CheckNotAborted() {
    if (!aborted_.load()) return true;
    KeepError();
    return false;
}

bool MirrorConnection::SelectDatabase(const std::string& name) {
    if (handle_ == nullptr) {
        lastError_ = "not connected";
        return false;
    }
    if (!CheckNotAborted()) return false;
    if (mysql_select_db(handle_, name.c_str()) != 0) {
        KeepError();
        return false;
    }
    return true;
}

bool MirrorConnection::Send(const std::string& sql) {
    if (handle_ == nullptr) {
        lastError_ = "not connected";
        return false;
    }
    if (!CheckNotAborted()) return false;
    // mysql_real_query: the length is known, no strlen per statement.
    if (mysql_real_query(handle_, sql.data(), sql.size()) != 0) {
        KeepError();
        return false;
    }
    return true;
}

bool MirrorConnection::Query(const std::string& sql) {
    if (!Send(sql)) return false;
    // A statement that unexpectedly yields rows must not leave them unread,
    // or the next statement would fail out of sync.
    if (mysql_field_count(handle_) != 0) {
        MYSQL_RES* result = mysql_store_result(handle_);
        if (result != nullptr) mysql_free_result(result);
    }
    return true;
}

unsigned long long MirrorConnection::AffectedRows() {
    if (handle_ == nullptr) return 0;
    const my_ulonglong rows = mysql_affected_rows(handle_);
    return rows == static_cast<my_ulonglong>(-1) ? 0 : rows;
}

bool MirrorConnection::Select(const std::string& sql, StoredResult& result) {
    result.Reset();
    if (!Send(sql)) return false;
    result.result_ = mysql_store_result(handle_);
    if (result.result_ == nullptr) {
        // No result set: fine for a statement without one, a failure when the
        // statement had columns and fetching them broke off.
        if (mysql_field_count(handle_) != 0) {
            KeepError();
            return false;
        }
        return true;
    }
    result.columns_ = mysql_num_fields(result.result_);
    return true;
}

bool MirrorConnection::FetchRows(const std::string& sql, Rows& rows) {
    rows.clear();
    StoredResult result;
    if (!Select(sql, result)) return false;
    while (result.Next()) {
        std::vector<std::string> row;
        row.reserve(result.ColumnCount());
        for (unsigned i = 0; i < result.ColumnCount(); ++i) {
            const char* text = result.Column(i);
            row.emplace_back(text != nullptr ? std::string(text, result.Length(i))
                                             : std::string("NULL"));
        }
        rows.push_back(std::move(row));
    }
    return true;
}

bool MirrorConnection::Ping() {
    if (handle_ == nullptr || !CheckNotAborted()) return false;
    if (mysql_ping(handle_) != 0) {
        KeepError();
        return false;
    }
    return true;
}

void MirrorConnection::Close() {
    ReleaseAbortSocket();
    {
        std::lock_guard<std::mutex> lock(tlsMutex_);
        tlsDescription_.clear();
    }
    if (handle_ != nullptr) {
        mysql_close(handle_);
        ++epoch_;
    }
    handle_ = nullptr;
}

std::string MirrorConnection::Error() const {
    return lastError_;
}

unsigned long MirrorConnection::ThreadId() const {
    return handle_ != nullptr ? mysql_thread_id(handle_) : 0;
}

std::string MirrorConnection::Escape(const std::string& text) const {
    if (handle_ == nullptr) {
        // No session, no character set to consult: escape the bytes that end
        // or disturb a literal, as the client library does for single-byte sets.
        std::string out;
        out.reserve(text.size() + 8);
        for (const char c : text) {
            switch (c) {
                case '\0':
                    out += "\\0";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\x1a':
                    out += "\\Z";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\'':
                    out += "\\'";
                    break;
                case '"':
                    out += "\\\"";
                    break;
                default:
                    out += c;
            }
        }
        return out;
    }
    std::string out(text.size() * 2 + 1, '\0');
    const unsigned long n = mysql_real_escape_string(handle_, out.data(), text.data(), text.size());
    if (n == static_cast<unsigned long>(-1)) return std::string();
    out.resize(n);
    return out;
}

void MirrorConnection::KeepError() {
    ++epoch_;
    lastErrno_ = handle_ != nullptr ? mysql_errno(handle_) : 0;
    // Whatever the client library says then, the abort is the cause.
    if (aborted_.load()) {
        lastErrno_ = 0;
        lastError_ = kAbortedError;
        return;
    }
    // A failure after which the library has closed its side of the session
    // (a lost connection, a time-out): the duplicate must not keep the
    // session open on the server, with its transaction and locks.
    if (handle_ != nullptr && mysql_get_socket(handle_) < 0) ReleaseAbortSocket();
    const char* text = handle_ != nullptr ? mysql_error(handle_) : nullptr;
    lastError_ = (text != nullptr && *text != '\0') ? text : "unknown database error";
}

}  // namespace tarnlight::db
