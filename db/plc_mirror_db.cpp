#include "db/plc_mirror_db.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <system_error>

#include "db/connection_params.h"
#include "db/statement_batch.h"
#include "db/table_names.h"

namespace tarnlight::db {

namespace {

constexpr std::array<const char*, kAreaCount> kCreateTable = {
    "CREATE TABLE plc_i  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT NOT NULL,  "
    "PRIMARY KEY (id))",
    "CREATE TABLE plc_m  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT  NOT NULL, "
    "PRIMARY KEY (id))",
    "CREATE TABLE plc_q  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT  NOT NULL, "
    "PRIMARY KEY (id))",
    "CREATE TABLE plc_ai (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value SMALLINT NOT NULL, "
    "PRIMARY KEY (id))",
    "CREATE TABLE plc_r  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value SMALLINT NOT NULL, "
    "PRIMARY KEY (id))",
    "CREATE TABLE plc_aq (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value SMALLINT NOT NULL, "
    "PRIMARY KEY (id))",
};

constexpr std::array<const char*, kAreaCount> kCreateRequestTable = {
    "CREATE TABLE new_i  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT  NOT NULL, "
    "flag TINYINT  NOT NULL, PRIMARY KEY (id))",
    "CREATE TABLE new_m  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT  NOT NULL, "
    "flag TINYINT  NOT NULL, PRIMARY KEY (id))",
    "CREATE TABLE new_q  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT  NOT NULL, "
    "flag TINYINT  NOT NULL, PRIMARY KEY (id))",
    "CREATE TABLE new_ai (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value SMALLINT NOT NULL, "
    "flag TINYINT  NOT NULL, PRIMARY KEY (id))",
    "CREATE TABLE new_r  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value SMALLINT NOT NULL, "
    "flag TINYINT  NOT NULL, PRIMARY KEY (id))",
    "CREATE TABLE new_aq (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value SMALLINT NOT NULL, "
    "flag TINYINT  NOT NULL, PRIMARY KEY (id))",
};

constexpr const char* kCreateInfo =
    "CREATE TABLE info   (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, cpu_id CHAR(20), error "
    "TINYINT NOT NULL, "
    "plcstate CHAR(20), num_plcstate TINYINT NOT NULL, PRIMARY KEY (id))";
constexpr const char* kInsertInfo =
    "INSERT INTO info   (id, cpu_id, error, plcstate, num_plcstate) VALUES(1 , '', 0, '' , 7)";

constexpr std::array<std::string_view, kAreaCount> kInsertValuePrefix = {
    "INSERT INTO plc_i (id, value) VALUES(", "INSERT INTO plc_m (id, value) VALUES(",
    "INSERT INTO plc_q (id, value) VALUES(", "INSERT INTO plc_ai (id, value) VALUES(",
    "INSERT INTO plc_r (id, value) VALUES(", "INSERT INTO plc_aq (id, value) VALUES(",
};
constexpr std::array<std::string_view, kAreaCount> kInsertRequestPrefix = {
    "INSERT INTO new_i (id, value, flag) VALUES(", "INSERT INTO new_m (id, value, flag) VALUES(",
    "INSERT INTO new_q (id, value, flag) VALUES(", "INSERT INTO new_ai (id, value, flag) VALUES(",
    "INSERT INTO new_r (id, value, flag) VALUES(", "INSERT INTO new_aq (id, value, flag) VALUES(",
};

// By MemoryType; the bit mirror uses the first three, the word mirror the rest.
constexpr std::array<std::string_view, kAreaCount> kMirrorPrefix = {
    "UPDATE plc_i SET value = ", "UPDATE plc_m SET value = ", "UPDATE plc_q SET value = ",
    "UPDATE plc_ai SET value =", "UPDATE plc_r SET value =",  "UPDATE plc_aq SET value =",
};

constexpr std::array<std::string_view, kAreaCount> kClearPrefix = {
    "UPDATE new_i SET flag = 0 ",  "UPDATE new_m SET flag = 0 ", "UPDATE new_q SET flag = 0 ",
    "UPDATE new_ai SET flag = 0 ", "UPDATE new_r SET flag = 0 ", "UPDATE new_aq SET flag = 0 ",
};

// The controller state texts of the info row, by state number; 7 and above
// is "unknown".
constexpr std::array<std::string_view, 8> kStateNames = {
    "Run, I/O Enabled", "Run, I/O Disabled", "Stop, I/O Disabled", "CPU Stop Faulted",
    "CPU Halted",       "CPU Suspended",     "Stop, I/O Enabled",  "unknown"};

constexpr uint16_t kBitRowFloor = 1024;
constexpr uint16_t kWordRowFloor = 256;
// Ids per pair of multi-row inserts in the batched build: about 12 KiB of
// statement each, and a progress report after every pair.
constexpr unsigned kBuildChunkIds = 1024;

}  // namespace

PlcMirrorDb::PlcMirrorDb(MirrorConnection& connection, const LinkConfig& config, EngineFlags& flags,
                         const snp::MemoryImage& image, snp::PlcWriter& writer)
    : connection_(connection),
      config_(config),
      flags_(flags),
      image_(image),
      writer_(writer),
      changedValues_(connection),
      linkStats_(connection),
      areaStats_(connection, config),
      tags_(connection, config),
      history_(config, journal_) {}

PlcMirrorDb::~PlcMirrorDb() {
    CloseHistory();
}

PlcMirrorDb::HistoryStart PlcMirrorDb::OpenHistory(std::string* error) {
    CloseHistory();
    if (!history_.Enabled()) return HistoryStart::Ok;
    std::vector<TagDefinition> historyTags;
    for (const TagDefinition& tag : config_.tags)
        if (tag.history) historyTags.push_back(tag);
    const uint64_t limit = static_cast<uint64_t>(std::max(config_.historyJournalMB, 1)) << 20;
    switch (journal_.Open(config_.historyJournal, config_.dbName, limit, historyTags, error)) {
        case JournalOpen::Busy:
            return HistoryStart::Busy;
        case JournalOpen::Failed:
            return HistoryStart::Failed;
        case JournalOpen::Ok:
            break;
    }
    history_.Start(journal_.ChangedDefinitions());
    HistoryWriter::Options options{MirrorConnectionParams(config_), config_.historyDb,
                                   config_.dbName, config_.historyDays};
    historyWriter_ = std::make_unique<HistoryWriter>(journal_, std::move(options), stats_);
    historyWriter_->SetPurgeInterval(purgeInterval_);
    historyWriter_->Start();
    return HistoryStart::Ok;
}

void PlcMirrorDb::CloseHistory() {
    if (historyWriter_) {
        // Long enough for a server that answers to take what the last
        // cycles left; the rest waits in the journal for the next start.
        historyWriter_->Stop(std::chrono::milliseconds(2000));
        historyWriter_.reset();
    }
    journal_.Close();
}

std::string PlcMirrorDb::TakeHistoryWarning() {
    if (history_.TakeFullWarning())
        return "W28: History journal full (historyJournalMB): rows dropped, the gap is marked";
    return historyWriter_ ? historyWriter_->TakeWarning() : std::string();
}

void PlcMirrorDb::SetTagQuality(bool reading, const std::array<AreaFreshness, kAreaCount>& areas,
                                int64_t nowMs) {
    std::vector<TagQuality> quality(config_.tags.size(), TagQuality::None);
    for (std::size_t i = 0; i < quality.size(); ++i) {
        const int area = config_.tags[i].area;
        if (area < 0 || area >= kAreaCount) continue;
        quality[i] =
            DecideTagQuality(tags_.EverRead(static_cast<int>(i)), reading, areas[area], nowMs);
    }
    tags_.SetQuality(quality);
    qualitySet_ = true;
}

void PlcMirrorDb::QualityFromStatistics() {
    // The statistics know each area's period and last complete read, and
    // how long a round takes.
    if (qualitySet_ || stats_ == nullptr || config_.tags.empty()) {
        qualitySet_ = false;
        return;
    }
    const LinkStatsSnapshot snapshot = stats_->Snapshot();
    const int64_t nowMs = NowMs();
    const std::array<AreaFreshness, kAreaCount> areas = AreasFreshness(snapshot, nowMs);
    const bool reading = snapshot.state == LinkState::Online && flags_.transmitting.load() != 0;
    SetTagQuality(reading, areas, nowMs);
    qualitySet_ = false;
}

bool PlcMirrorDb::Active() const {
    return config_.dbEnabled && flags_.dbAlive.load() == 1;
}

std::string PlcMirrorDb::DatabaseIdentifier(const std::string& name) {
    // Always quoted: a plain-looking name may be a reserved word ("order",
    // and new server versions add more), and one with a leading digit may
    // read as a number ("1e5").
    std::string quoted = "`";
    for (const char c : name) {
        if (c == '`') quoted += '`';
        quoted += c;
    }
    quoted += '`';
    return quoted;
}

void PlcMirrorDb::DropMirrorDatabase() {
    if (!config_.dbEnabled) return;
    connection_.Query("DROP DATABASE " + DatabaseIdentifier(config_.dbName));
}

void PlcMirrorDb::CreateMirrorDatabase() {
    if (!config_.dbEnabled) return;
    connection_.Query("CREATE DATABASE " + DatabaseIdentifier(config_.dbName));
}

bool PlcMirrorDb::CreateMirrorTables(const BuildProgress& progress) {
    if (!config_.dbEnabled) return true;
    // New or re-created tables hold zeros, not what was stored before.
    changedValues_.Forget();
    // Results are not examined: on a database left from an earlier run the
    // CREATEs and the INSERTs of existing ids fail and only missing rows are
    // added, which keeps the earlier values and pending flags.
    connection_.Query(kCreateInfo);
    for (int type = 0; type < kAreaCount; ++type) connection_.Query(kCreateTable[type]);
    for (int type = 0; type < kAreaCount; ++type) connection_.Query(kCreateRequestTable[type]);
    connection_.Query(kInsertInfo);

    std::array<unsigned, kAreaCount> counts{};
    unsigned total = 0;
    for (int type = 0; type < kAreaCount; ++type) {
        const bool bits = snp::IsBitArea(type);
        const uint16_t floor = bits ? kBitRowFloor : kWordRowFloor;
        // Rows past the image's capacity could never be served: stop there.
        const uint16_t capacity = bits ? snp::kMaxBitAddress : snp::kMaxWordAddress;
        counts[type] = std::min<unsigned>(std::max(floor, config_.areaTo[type]), capacity);
        total += counts[type];
    }
    const auto report = [&](unsigned done) {
        return !progress || progress(static_cast<int>(done * 100ull / total));
    };
    if (!report(0)) return false;
    const bool complete = config_.mirrorEachValue ? AddRowsEachStatement(counts, report)
                                                  : AddRowsBatched(counts, report);
    // After the tables other programs have always found, in the same way: a
    // kept database that lacks it gets it, one that has it keeps its row.
    linkStats_.Create();
    linkStats_.Forget();
    areaStats_.Create();
    areaStats_.Forget();
    tags_.Create();
    return complete && report(total);
}

bool PlcMirrorDb::AddRowsEachStatement(const std::array<unsigned, kAreaCount>& counts,
                                       const std::function<bool(unsigned idsDone)>& report) {
    // Reported every few hundred rows: often enough for a smooth bar, rarely
    // enough to cost nothing next to the statements.
    constexpr unsigned kProgressStep = 256;
    unsigned done = 0;
    std::string valueRow;
    std::string requestRow;
    valueRow.reserve(64);
    requestRow.reserve(64);
    for (int type = 0; type < kAreaCount; ++type) {
        for (unsigned id = 1; id <= counts[type]; ++id) {
            if (++done % kProgressStep == 0 && !report(done)) return false;
            valueRow.assign(kInsertValuePrefix[type]);
            AppendNumber(valueRow, id);
            valueRow.append(",0)");
            connection_.Query(valueRow);
            requestRow.assign(kInsertRequestPrefix[type]);
            AppendNumber(requestRow, id);
            requestRow.append(",0,0)");
            connection_.Query(requestRow);
        }
    }
    return true;
}

bool PlcMirrorDb::AddRowsBatched(const std::array<unsigned, kAreaCount>& counts,
                                 const std::function<bool(unsigned idsDone)>& report) {
    // INSERT IGNORE skips the ids that exist, so a reused database keeps its
    // values and flags. One transaction: one commit for the whole build; a
    // cancelled build commits the rows added so far.
    Transaction transaction(connection_);
    const StatementBatch::Send send = transaction.Sender();
    unsigned done = 0;
    bool carryOn = true;
    std::string row;
    for (int type = 0; type < kAreaCount && carryOn; ++type) {
        const std::string valueTable(kValueTable[type]);
        const std::string requestTable(kRequestTable[type]);
        StatementBatch values("INSERT IGNORE INTO " + valueTable + " (id, value) VALUES ", "",
                              send);
        StatementBatch requests("INSERT IGNORE INTO " + requestTable + " (id, value, flag) VALUES ",
                                "", send);
        for (unsigned id = 1; id <= counts[type] && carryOn; ++id) {
            row.assign("(");
            AppendNumber(row, id);
            row.append(",0");
            values.Add(row + ")");
            requests.Add(row + ",0)");
            if (id % kBuildChunkIds == 0 || id == counts[type]) {
                values.Flush();
                requests.Flush();
                done += (id - 1) % kBuildChunkIds + 1;
                carryOn = report(done);
            }
        }
    }
    transaction.Commit();
    return carryOn;
}

void PlcMirrorDb::UpdateInfoCpuId(const std::string& cpuId) {
    // Kept even while the database is away, so a re-opened (or rebuilt)
    // database gets the controller's ID without waiting for the next attach.
    lastCpuId_ = cpuId;
    cpuIdKnown_ = true;
    if (!Active()) return;
    // The controller accepts any ASCII character in a CPU ID: escaped, so a
    // quote cannot end the literal.
    connection_.Query("UPDATE info SET cpu_id = '" + connection_.Escape(cpuId) + "' WHERE id = 1");
}

void PlcMirrorDb::UpdateInfoPlcState(unsigned plcState) {
    if (!Active()) return;
    const std::string_view name = kStateNames[std::min<unsigned>(plcState, kStateNames.size() - 1)];
    std::string sql = "UPDATE info SET plcstate = '";
    sql.append(name);
    sql.append("' WHERE id = 1");
    connection_.Query(sql);
    sql = "UPDATE info SET num_plcstate = ";
    AppendNumber(sql, static_cast<long>(plcState));
    sql.append(" WHERE id = 1");
    connection_.Query(sql);
}

void PlcMirrorDb::MirrorBitValue(int area, uint16_t address, uint8_t value) {
    if (area < 0 || area >= snp::kBitAreaCount || !Active()) return;
    if (!config_.mirrorEachValue) {
        changedValues_.MirrorBitValue(area, address, value);
        return;
    }
    std::string sql(kMirrorPrefix[area]);
    // The two forms differ in the blanks around the last equals sign.
    sql.append(value == 1 ? "1 WHERE id = " : "0 WHERE id=");
    AppendNumber(sql, address);
    connection_.Query(sql);
}

void PlcMirrorDb::MirrorWordValue(int area, uint16_t address, int16_t value) {
    if (area < 0 || area >= snp::kWordAreaCount || !Active()) return;
    if (!config_.mirrorEachValue) {
        changedValues_.MirrorWordValue(area, address, value);
        return;
    }
    std::string sql(kMirrorPrefix[area + snp::kAI]);
    AppendNumber(sql, value);
    sql.append(" WHERE id=");
    AppendNumber(sql, address);
    connection_.Query(sql);
}

void PlcMirrorDb::JournalTag(int index, uint32_t raw, int64_t readAtMs) {
    if (index < 0 || static_cast<std::size_t>(index) >= config_.tags.size() || !config_.dbEnabled)
        return;
    const TagDefinition& tag = config_.tags[static_cast<std::size_t>(index)];
    // Journalled whether the server is there or not: nothing read is lost.
    if (tag.history) history_.Hold(index, TagValueFromRaw(tag, raw), readAtMs);
}

void PlcMirrorDb::JournalLinkDown(int64_t atMs) {
    if (!config_.dbEnabled) return;
    history_.LinkDown(atMs);
    WriteJournal();
}

void PlcMirrorDb::WriteJournal() {
    if (history_.Enabled() && journal_.IsOpen()) journal_.WriteQueued();
}

void PlcMirrorDb::MirrorTag(int index, uint32_t raw, int64_t readAtMs) {
    if (index < 0 || static_cast<std::size_t>(index) >= config_.tags.size() || !config_.dbEnabled)
        return;
    tags_.Hold(index, raw, readAtMs);
    // Known as read (its quality), written whole when the server is back.
    if (!Active()) tags_.Forget();
}

bool PlcMirrorDb::EndCycle(bool statsNow) {
    // Where a crash's gap begins: the last cycle the journal recorded.
    if (history_.Enabled()) journal_.NoteCycle(NowMs());
    QualityFromStatistics();
    if (!Active()) return true;
    bool ok = true;
    if (config_.mirrorEachValue) {
        // The values have gone one by one; the tags and the row follow,
        // each a statement of its own.
        const StatementBatch::Send send = [this](const std::string& sql) {
            return connection_.Query(sql);
        };
        const bool tagsOk = tags_.SendChanges(send, true);
        tags_.Stored(tagsOk);
        SendStats(statsNow);
        ok = tagsOk;
    } else {
        Transaction transaction(connection_);
        changedValues_.SendCycle(transaction);
        tags_.SendChanges(transaction.Sender(), false);
        for (const std::string& row : StatsStatements(statsNow)) transaction.Send(row);
        ok = transaction.Commit();
        changedValues_.CycleStored(ok);
        tags_.Stored(ok);
        tags_.QualityStored(ok);
    }
    return ok;
}

void PlcMirrorDb::WriteLinkDown() {
    if (!config_.dbEnabled) return;
    // Every value read is now the last one read.
    std::vector<TagQuality> quality(config_.tags.size(), TagQuality::None);
    for (std::size_t i = 0; i < quality.size(); ++i)
        if (tags_.EverRead(static_cast<int>(i))) quality[i] = TagQuality::Stale;
    tags_.SetQuality(quality);
    SendStats(true);  // as any change of the link's state
}

void PlcMirrorDb::SetLinkStats(LinkStats* stats) {
    stats_ = stats;
    linkStats_.SetStats(stats);
    areaStats_.SetStats(stats);
}

std::vector<std::string> PlcMirrorDb::StatsStatements(bool now) {
    // A tag's quality changes with the row that tells why (a lost link).
    std::vector<std::string> statements = tags_.QualityChanges();
    std::string link = linkStats_.Update(now);
    if (link.empty()) return statements;
    statements.push_back(std::move(link));
    for (std::string& area : areaStats_.Update()) statements.push_back(std::move(area));
    return statements;
}

void PlcMirrorDb::WriteLinkStats(bool now) {
    QualityFromStatistics();
    SendStats(now);
}

void PlcMirrorDb::SendStats(bool now) {
    if (!Active()) return;
    const std::vector<std::string> statements = StatsStatements(now);
    if (statements.empty()) return;
    Transaction transaction(connection_);
    for (const std::string& sql : statements) transaction.Send(sql);
    tags_.QualityStored(transaction.Commit());
}

RequestOutcome PlcMirrorDb::Counted(RequestOutcome outcome) {
    if (stats_ == nullptr) return outcome;
    if (outcome == RequestOutcome::Written) ++stats_->counters.db_written;
    if (outcome == RequestOutcome::Rejected) ++stats_->counters.db_rejected;
    if (outcome == RequestOutcome::Refused) ++stats_->counters.db_refused;
    return outcome;
}

void PlcMirrorDb::ClearRequestFlag(int type, uint16_t id, long value) {
    if (type < 0 || type >= kAreaCount || !config_.dbEnabled) return;
    std::string sql(kClearPrefix[type]);
    sql.append(" WHERE id=");
    AppendNumber(sql, id);
    // Another program may have placed a new value on the row since the
    // SELECT: then the row stays flagged and is written in the next cycle.
    sql.append(" AND value=");
    AppendNumber(sql, value);
    connection_.Query(sql);
}

void PlcMirrorDb::MarkRequestRefused(int type, uint16_t id, long value) {
    if (type < 0 || type >= kAreaCount || !config_.dbEnabled) return;
    std::string sql = "UPDATE ";
    sql.append(kRequestTable[type]);
    sql.append(" SET flag = 3 WHERE id=");
    AppendNumber(sql, id);
    // As for the reset: a value placed on the row meanwhile is still to be tried.
    sql.append(" AND value=");
    AppendNumber(sql, value);
    sql.append(" AND flag = 1");
    connection_.Query(sql);
}

void PlcMirrorDb::AppendAsRead(std::string& sql, const char* column, const char* text,
                               unsigned long length) {
    long number = 0;
    if (text == nullptr) {
        sql.append(column).append(" IS NULL");
    } else if (ParseInteger(text, length, number)) {
        sql.append(column).append("=");
        AppendNumber(sql, number);
    } else {
        // Any other text byte for byte, as the query returned it: compared as
        // a number, a FLOAT column's 1.1 never equals '1.1', and a text
        // column's collation takes 'A ' for 'a'.
        sql.append("CAST(").append(column).append(" AS CHAR) = CAST('");
        sql.append(connection_.Escape(std::string(text, length)));
        sql.append("' AS BINARY)");
    }
}

std::string PlcMirrorDb::RejectStatement(int type, const RequestRow& row) {
    // Only the row as it was read: one its program corrected meanwhile (a new
    // value, flag 1 again) is served next time.
    std::string sql = "UPDATE ";
    sql.append(kRequestTable[type]);
    sql.append(" SET flag = 2 WHERE ");
    AppendAsRead(sql, "id", row.id, row.idLength);
    sql.append(" AND ");
    AppendAsRead(sql, "value", row.value, row.valueLength);
    sql.append(" AND flag = 1");
    return sql;
}

void PlcMirrorDb::RejectRequest(int type, const RequestRow& row) {
    connection_.Query(RejectStatement(type, row));
}

RequestOutcome PlcMirrorDb::ServeRow(int type, const RequestRow& row, uint16_t& id, long& value) {
    const bool bits = snp::IsBitArea(type);
    const long maxAddress = bits ? snp::kMaxBitAddress : snp::kMaxWordAddress;
    long parsedId = 0;
    if (!ParseInteger(row.id, row.idLength, parsedId) || parsedId < 1 || parsedId > maxAddress ||
        !ParseInteger(row.value, row.valueLength, value))
        return Counted(RequestOutcome::Rejected);
    id = static_cast<uint16_t>(parsedId);
    // The image holds only what the cycle reads: outside the area's range an
    // address keeps 0 or a value from an earlier connection, so an equal
    // value there proves nothing and the request is written. Inside it, a
    // value read before Tarnlight's own last write to the address proves
    // nothing either: the write may have changed it since.
    const bool inRange =
        config_.areaEnabled[type] && id >= config_.areaFrom[type] && id <= config_.areaTo[type];
    if (inRange && (ledger_ == nullptr || ledger_->Holds(type, id))) {
        const long held =
            bits ? image_.bits[type][id] : static_cast<int16_t>(image_.words[type - snp::kAI][id]);
        if (held == value) return RequestOutcome::AlreadyStored;
    }
    const snp::WriteResult written =
        bits ? writer_.WriteBit(id, value != 0 ? 1 : 0, type)
             : writer_.WriteWord(id, static_cast<uint16_t>(value & 0xFFFF), type - snp::kAI);
    return WriteOutcome(written);
}

RequestOutcome PlcMirrorDb::WriteOutcome(snp::WriteResult written) {
    switch (written) {
        case snp::WriteResult::Written:
            return Counted(RequestOutcome::Written);
        case snp::WriteResult::Refused:
            // Not tried again: the controller would give the same answer,
            // and the rows after it must not wait for it.
            return Counted(RequestOutcome::Refused);
        case snp::WriteResult::Failed:
            break;
    }
    return RequestOutcome::Failed;
}

int PlcMirrorDb::ServeRequests(int type) {
    // A failed SELECT (the table is gone, the server dropped the session)
    // skips this table only.
    std::vector<WriteRequest> rows;
    FetchTable(type, rows);
    return ServeAndFlag(rows) ? 1 : 0;
}

int PlcMirrorDb::ServeBitRequests(int area) {
    if (area < 0 || area >= snp::kBitAreaCount) return 1;
    return ServeRequests(area);
}

int PlcMirrorDb::ServeWordRequests(int area) {
    if (area < 0 || area >= snp::kWordAreaCount) return 1;
    return ServeRequests(area + snp::kAI);
}

bool PlcMirrorDb::ServeWriteQueue() {
    if (!Active()) return true;
    if (config_.mirrorEachValue) {
        // Table by table: a failed write leaves the later tables unread.
        for (int area = 0; area < snp::kBitAreaCount; ++area)
            if (ServeBitRequests(area) != 1) return false;
        for (int area = 0; area < snp::kWordAreaCount; ++area)
            if (ServeWordRequests(area) != 1) return false;
        return ServeTagRequests() == 1;
    }
    return ServeAndFlag(FetchRequests());
}

bool PlcMirrorDb::CheckConnection() {
    if (!config_.dbEnabled) return true;
    if (connection_.Ping()) {
        flags_.dbAlive = 1;
        return true;
    }
    flags_.dbAlive = 0;
    // The session is gone (server restarted, network cut): open a new one
    // with the same parameters, at most once per interval so a dead server
    // costs the cycle at most one short connect attempt now and then.
    const auto now = std::chrono::steady_clock::now();
    if (reconnectTried_ && now - lastReconnect_ < reconnectInterval_) return false;
    reconnectTried_ = true;
    lastReconnect_ = now;
    ConnectionParams params = connection_.params();
    params.connectTimeoutSeconds = std::min(params.connectTimeoutSeconds, kReconnectTimeoutSeconds);
    if (!connection_.Open(params)) return false;
    changedValues_.Forget();  // a new session: the server may have lost anything
    if (!connection_.SelectDatabase(config_.dbName)) {
        // The database went away with the server's data: build it again,
        // the way Connect does.
        CreateMirrorDatabase();
        if (!connection_.SelectDatabase(config_.dbName)) {
            connection_.Close();
            return false;
        }
        CreateMirrorTables();
    }
    flags_.dbAlive = 1;
    // A rebuilt info row starts with an empty CPU ID, and one given while the
    // database was away never reached the row: send the last one again.
    if (cpuIdKnown_) UpdateInfoCpuId(lastCpuId_);
    return true;
}

DbConnectResult ConnectMirrorDatabase(MirrorConnection& connection, PlcMirrorDb& mirror,
                                      const LinkConfig& config, Notifier& notifier,
                                      const BuildProgress& progress) {
    mirror.ForgetCpuId();  // a new connection may reach another controller
    mirror.StartTags();
    if (!config.dbEnabled) return DbConnectResult::Ok;
    // The journal first: a second Tarnlight on the same mirror must not
    // touch its tables at all.
    std::string journalError;
    switch (mirror.OpenHistory(&journalError)) {
        case PlcMirrorDb::HistoryStart::Busy:
            notifier.ShowMessageBox("The history journal " + mirror.historyJournal().path() +
                                        " is in use by another Tarnlight on database " +
                                        config.dbName,
                                    "History journal");
            return DbConnectResult::JournalBusy;
        case PlcMirrorDb::HistoryStart::Failed:
            notifier.ShowMessageBox(journalError, "History journal");
            return DbConnectResult::JournalFailed;
        case PlcMirrorDb::HistoryStart::Ok:
            break;
    }
    const auto result = [&] {
        if (config.portNum < 0 || config.portNum > 65535) {
            notifier.ShowMessageBox("Invalid database port " + std::to_string(config.portNum),
                                    "Database error");
            return DbConnectResult::ConnectFailed;
        }
        const ConnectionParams params = MirrorConnectionParams(config);

        // Between two steps a cancel ends Connect; one that comes during a step
        // wins over the step's failure, so a cancelled Connect shows no box.
        const auto carryOn = [&] { return !progress || progress(0); };
        const auto cancelled = [&] {
            connection.Close();
            return DbConnectResult::Cancelled;
        };
        const auto failed = [&](DbConnectResult result) {
            notifier.ShowMessageBox(connection.Error(), "Database error");
            connection.Close();
            return result;
        };
        if (!carryOn()) return cancelled();
        const bool opened = connection.Open(params);
        if (!carryOn()) return cancelled();
        if (!opened) return failed(DbConnectResult::ConnectFailed);
        if (config.dropBefore) mirror.DropMirrorDatabase();
        if (!carryOn()) return cancelled();
        mirror.CreateMirrorDatabase();  // may already exist
        if (!carryOn()) return cancelled();
        const bool selected = connection.SelectDatabase(config.dbName);
        if (!carryOn()) return cancelled();
        if (!selected) return failed(DbConnectResult::SelectFailed);
        if (!mirror.CreateMirrorTables(progress)) return cancelled();
        return DbConnectResult::Ok;
    }();
    // No link follows a failed Connect: the journal is released at once.
    if (result != DbConnectResult::Ok) mirror.CloseHistory();
    return result;
}

}  // namespace tarnlight::db
