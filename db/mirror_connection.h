#pragma once
// The one connection to the MySQL/MariaDB server that holds the mirror
// database, on MariaDB Connector/C.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "types/db_tls.h"

typedef struct st_mysql MYSQL;
typedef struct st_mysql_res MYSQL_RES;

namespace tarnlight::db {

struct ConnectionParams {
    std::string host;  // addressIP
    std::string user;
    std::string password;
    unsigned port = 0;  // 0: the client library's default; otherwise TCP to this port
    unsigned connectTimeoutSeconds = 5;
    // Bounds every read and write on the socket, so a server that stops
    // answering in the middle of a statement cannot freeze the worker.
    unsigned readWriteTimeoutSeconds = 10;
    DbTls tls;  // TLS to the server; sslMode DISABLED: plain TCP
};

// A result set fetched whole to the client (mysql_store_result); released
// when it goes out of scope.
class StoredResult {
  public:
    StoredResult() = default;
    ~StoredResult();
    StoredResult(const StoredResult&) = delete;
    StoredResult& operator=(const StoredResult&) = delete;

    bool HasResultSet() const { return result_ != nullptr; }
    // Moves to the next row; false after the last one.
    bool Next();
    unsigned ColumnCount() const { return columns_; }
    // Column i of the current row; nullptr for SQL NULL or a missing column.
    const char* Column(unsigned i) const;
    unsigned long Length(unsigned i) const;
    // Index of the column named `name` (without regard to case), or
    // ColumnCount() when the result has none: rows are read by name, since
    // another program may have moved a table's columns.
    unsigned ColumnIndex(const char* name) const;
    void Reset();

  private:
    friend class MirrorConnection;
    MYSQL_RES* result_ = nullptr;
    char** row_ = nullptr;
    unsigned long* lengths_ = nullptr;
    unsigned columns_ = 0;
};

using Rows = std::vector<std::vector<std::string>>;

class MirrorConnection {
  public:
    MirrorConnection() = default;
    ~MirrorConnection();
    MirrorConnection(const MirrorConnection&) = delete;
    MirrorConnection& operator=(const MirrorConnection&) = delete;

    // mysql_init + mysql_real_connect (no default database, no socket, no
    // flags) with connect, read and write time-outs and no automatic
    // reconnection, and with params.tls's TLS options (connection_tls.h). False
    // on failure, a session without the TLS the mode demands included, and a
    // TLS file that cannot be read (before any connect); Error() tells why and
    // the handle is closed again. An open connection is closed first.
    bool Open(const ConnectionParams& params);
    bool SelectDatabase(const std::string& name);  // mysql_select_db
    bool Query(const std::string& sql);            // true when the server accepted it
    // Rows the last statement changed, deleted or inserted (mysql_affected_rows);
    // 0 when closed or after a failure.
    unsigned long long AffectedRows();
    // Query + mysql_store_result. False when the statement failed or its
    // result could not be fetched; true with !result.HasResultSet() for a
    // statement that yields no result set.
    bool Select(const std::string& sql, StoredResult& result);
    // Every row of a query as texts (SQL NULL as "NULL"); for tests and tools.
    bool FetchRows(const std::string& sql, Rows& rows);
    bool Ping();   // mysql_ping == 0
    void Close();  // mysql_close; safe when closed
    bool IsOpen() const { return handle_ != nullptr; }
    std::string Error() const;  // mysql_error text of the last failure
    // The server's or client library's number of the last failure
    // (mysql_errno); 0 when there was none or it has no number (abort, TLS
    // files). A writer that must tell a refused row from a lost session asks it.
    unsigned ErrorNumber() const { return lastErrno_; }
    // The TLS version and cipher of the open session ("TLSv1.3
    // TLS_AES_256_GCM_SHA384"), "no TLS" for a plain one, "" while closed.
    // Safe from any thread while another uses the connection.
    std::string TlsDescription() const;
    // The server's id of this session (general log thread_id); 0 when closed.
    unsigned long ThreadId() const;
    // text as the body of a '...' string literal for this connection's
    // character set (mysql_real_escape_string).
    std::string Escape(const std::string& text) const;
    // Changes at every Open and Close and at every failure (statement, ping,
    // database selection): a client that remembers what it stored can tell that the
    // session, and with it what the server holds, may have changed since.
    unsigned long Epoch() const { return epoch_; }
    MYSQL* handle() { return handle_; }
    const ConnectionParams& params() const { return params_; }

    // For a program that is closing while another thread uses the
    // connection: from any thread, makes the statement, ping or database
    // selection that thread is blocked in fail at once (the socket is shut
    // down, so the server drops the session and rolls back its open
    // transaction), and every later call on the connection fail without
    // waiting, Open included, until ClearAbort. A connect under way fails
    // within a twentieth of a second.
    void Abort();
    void ClearAbort();
    bool IsAborted() const { return aborted_.load(); }
    static constexpr const char* kAbortedError = "database connection aborted";

  private:
    // False (with kAbortedError kept) once aborted.
    bool CheckNotAborted();
    void KeepError();
    // Keeps a duplicate of the session's socket for Abort, or releases it.
    // Duplicated, so the number stays ours: the client library may close
    // its own descriptor whenever a call fails, and the number may then be
    // given to another file that Abort must never shut down.
    bool TakeAbortSocket();
    void ReleaseAbortSocket();
    // Sends one statement; false (with the error kept) when not connected or refused.
    bool Send(const std::string& sql);

    MYSQL* handle_ = nullptr;
    ConnectionParams params_;
    std::string lastError_;
    unsigned lastErrno_ = 0;
    unsigned long epoch_ = 0;

    std::atomic<bool> aborted_{false};
    std::mutex abortMutex_;  // orders Abort against taking and releasing the socket
    int abortSocket_ = -1;   // guarded by abortMutex_

    mutable std::mutex tlsMutex_;
    std::string tlsDescription_;  // guarded by tlsMutex_
};

}  // namespace tarnlight::db
