// Building, reusing and dropping the mirror database on the real server.
#include <algorithm>

#include "tests/db/mirror_fixture.h"

namespace tarnlight::db::test {
namespace {

using SchemaTest = MirrorTest;

const char* const kTables[] = {"plc_i", "plc_m", "plc_q", "plc_ai", "plc_r", "plc_aq",
                               "new_i", "new_m", "new_q", "new_ai", "new_r", "new_aq"};

TEST_F(SchemaTest, DefaultRangesGiveTheFloorRowsAllZeroAndOneInfoRow) {
    config_.areaEnabled[snp::kM] = true;
    ASSERT_EQ(Connect(), DbConnectResult::Ok)
        << (notifier_.boxes.empty() ? "" : notifier_.boxes[0].first);
    EXPECT_TRUE(notifier_.boxes.empty());
    for (const char* table : kTables) {
        const long n = (table[4] == 'a' || table[4] == 'r') ? 256 : 1024;  // word tables
        SCOPED_TRACE(table);
        EXPECT_EQ(Count(table), n);
        EXPECT_EQ(other().Number(std::string("SELECT MIN(id) FROM ") + T(table)), 1);
        EXPECT_EQ(other().Number(std::string("SELECT MAX(id) FROM ") + T(table)), n);
        EXPECT_EQ(Count(table, "value <> 0"), 0);
    }
    for (const char* table : {"new_i", "new_m", "new_q", "new_ai", "new_r", "new_aq"})
        EXPECT_EQ(Count(table, "flag <> 0"), 0) << table;
    EXPECT_EQ(other().Rows("SELECT id, cpu_id, error, plcstate, num_plcstate FROM " + T("info")),
              (Rows{{"1", "", "0", "", "7"}}));
}

TEST_F(SchemaTest, RangesAboveTheFloorAddRowsWhetherEnabledOrNot) {
    config_.areaTo[snp::kM] = 2000;   // disabled
    config_.areaTo[snp::kQ] = 8192;   // enabled, the largest
    config_.areaTo[snp::kR] = 100;    // below the floor
    config_.areaTo[snp::kAQ] = 4096;  // the largest word range
    config_.areaEnabled[snp::kQ] = true;
    config_.areaEnabled[snp::kR] = true;
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EXPECT_EQ(Count("plc_m"), 2000);
    EXPECT_EQ(Count("new_m"), 2000);
    EXPECT_EQ(Count("plc_q"), 8192);
    EXPECT_EQ(Count("new_q"), 8192);
    EXPECT_EQ(Count("plc_r"), 256);
    EXPECT_EQ(Count("new_r"), 256);
    EXPECT_EQ(Count("plc_aq"), 4096);
    EXPECT_EQ(Count("new_aq"), 4096);
    EXPECT_EQ(Count("plc_i"), 1024);
}

TEST_F(SchemaTest, ConnectSendsExactlyTheSchemaStatementsOneByOne) {
    config_.mirrorEachValue = true;
    EnableLog();
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    const std::vector<std::string> sent = Sent();
    ASSERT_EQ(sent.size(), 2u + 13u + 1u + 7680u + 2u + 2u + 6u);
    EXPECT_EQ(sent[0], "DROP DATABASE `" + config_.dbName + "`");
    EXPECT_EQ(sent[1], "CREATE DATABASE `" + config_.dbName + "`");
    EXPECT_EQ(sent[2],
              "CREATE TABLE info   (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, cpu_id CHAR(20), "
              "error TINYINT NOT "
              "NULL, plcstate CHAR(20), num_plcstate TINYINT NOT NULL, PRIMARY KEY (id))");
    EXPECT_EQ(sent[3],
              "CREATE TABLE plc_i  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT "
              "NOT NULL,  PRIMARY "
              "KEY (id))");
    EXPECT_EQ(sent[4],
              "CREATE TABLE plc_m  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT  "
              "NOT NULL, PRIMARY "
              "KEY (id))");
    EXPECT_EQ(sent[9],
              "CREATE TABLE new_i  (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value TINYINT  "
              "NOT NULL, flag "
              "TINYINT  NOT NULL, PRIMARY KEY (id))");
    EXPECT_EQ(sent[14],
              "CREATE TABLE new_aq (id SMALLINT UNSIGNED NOT NULL AUTO_INCREMENT, value SMALLINT "
              "NOT NULL, flag "
              "TINYINT  NOT NULL, PRIMARY KEY (id))");
    for (int i = 3; i <= 8; ++i) EXPECT_EQ(sent[i].size(), 109u) << sent[i];
    for (int i = 9; i <= 14; ++i) EXPECT_EQ(sent[i].size(), 133u) << sent[i];
    EXPECT_EQ(
        sent[15],
        "INSERT INTO info   (id, cpu_id, error, plcstate, num_plcstate) VALUES(1 , '', 0, '' , 7)");
    EXPECT_EQ(sent[16], "INSERT INTO plc_i (id, value) VALUES(1,0)");
    EXPECT_EQ(sent[17], "INSERT INTO new_i (id, value, flag) VALUES(1,0,0)");
    EXPECT_EQ(sent[18], "INSERT INTO plc_i (id, value) VALUES(2,0)");
    EXPECT_EQ(sent[16 + 2 * 1024 - 1], "INSERT INTO new_i (id, value, flag) VALUES(1024,0,0)");
    EXPECT_EQ(sent[16 + 2 * 1024], "INSERT INTO plc_m (id, value) VALUES(1,0)");
    EXPECT_EQ(sent[16 + 6 * 1024], "INSERT INTO plc_ai (id, value) VALUES(1,0)");
    EXPECT_EQ(sent[16 + 6 * 1024 + 2 * 256], "INSERT INTO plc_r (id, value) VALUES(1,0)");
    EXPECT_EQ(sent[sent.size() - 11], "INSERT INTO new_aq (id, value, flag) VALUES(256,0,0)");
    // Then the link's health, its columns in their order, and the areas'
    // (none enabled: no rows).
    EXPECT_EQ(sent[sent.size() - 9],
              "INSERT INTO link_stats (id, updated_at) VALUES (1, UTC_TIMESTAMP(3))");
    EXPECT_EQ(sent[sent.size() - 8],
              "CREATE TABLE area_stats (area VARCHAR(3) NOT NULL, scan_ms INT UNSIGNED NOT NULL "
              "DEFAULT 0, last_read_at DATETIME(3) NULL, `reads` BIGINT UNSIGNED NOT NULL DEFAULT "
              "0, read_ms_last BIGINT UNSIGNED NOT NULL DEFAULT 0, PRIMARY KEY (area))");
    EXPECT_EQ(sent[sent.size() - 7], "DELETE FROM area_stats");
    // Then the tags' tables; no tag defined, so none in them.
    EXPECT_EQ(sent[sent.size() - 6].rfind("CREATE TABLE tags (name VARCHAR(64) NOT NULL", 0), 0u);
    EXPECT_EQ(sent[sent.size() - 2].rfind("CREATE TABLE new_tags (name VARCHAR(64)", 0), 0u);
    EXPECT_EQ(sent.back(), "DELETE FROM tags");
    EXPECT_EQ(
        other().Scalar("SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY ORDINAL_POSITION) FROM "
                       "information_schema.COLUMNS WHERE TABLE_SCHEMA='" +
                       config_.dbName + "' AND TABLE_NAME='link_stats'"),
        "id,link_state,online_since,last_read_at,cycles,cycle_ms_last,cycle_ms_max,requests,"
        "no_ack,reply_timeouts,bad_bcc,wrong_sequence,refused,links_lost,attach_attempts,"
        "db_written,db_rejected,db_refused,last_message,updated_at,journal_rows,journal_bytes,"
        "history_waiting,history_set_aside,history_dropped");
    EXPECT_EQ(other().Scalar("SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY ORDINAL_POSITION) FROM "
                             "information_schema.COLUMNS WHERE TABLE_SCHEMA='" +
                             config_.dbName + "' AND TABLE_NAME='tags'"),
              "name,address,type,value,raw,changed_at,scale,offset,quality");
}

// One area_stats row per enabled area; a kept database keeps the rows of
// the areas still read, with their figures, and loses the others.
TEST_F(SchemaTest, AreaStatsHasOneRowPerEnabledArea) {
    config_.areaEnabled[snp::kI] = true;
    config_.areaEnabled[snp::kR] = true;
    config_.scanMs[snp::kI] = 500;
    EnableLog();
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    const std::vector<std::string> sent = Sent();
    ASSERT_GE(sent.size(), 8u);  // the tags' six follow
    EXPECT_EQ(sent[sent.size() - 8], "DELETE FROM area_stats WHERE area NOT IN ('%I', '%R')");
    EXPECT_EQ(sent[sent.size() - 7],
              "INSERT INTO area_stats (area, scan_ms) VALUES ('%I', 500), ('%R', 0) ON DUPLICATE "
              "KEY UPDATE scan_ms = VALUES(scan_ms)");
    const std::string rows = "SELECT area, scan_ms, last_read_at, `reads`, read_ms_last FROM " +
                             T("area_stats") + " ORDER BY area";
    EXPECT_EQ(other().Rows(rows),
              (Rows{{"%I", "500", "NULL", "0", "0"}, {"%R", "0", "NULL", "0", "0"}}));
    ASSERT_TRUE(other().Exec("UPDATE " + T("area_stats") + " SET `reads` = 7 WHERE area = '%R'"));
    connection_.Close();

    config_.dropBefore = false;
    config_.areaEnabled[snp::kI] = false;
    config_.areaEnabled[snp::kM] = true;
    config_.scanMs[snp::kR] = 2000;
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EXPECT_EQ(other().Rows(rows),
              (Rows{{"%M", "0", "NULL", "0", "0"}, {"%R", "2000", "NULL", "7", "0"}}));
}

TEST_F(SchemaTest, InfoRowCarriesCpuIdAndStateOnlyWhileTheDatabaseIsAlive) {
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EnableLog();
    mirror_.UpdateInfoCpuId("CPU0001");
    mirror_.UpdateInfoPlcState(0);
    EXPECT_EQ(other().Rows("SELECT cpu_id, error, plcstate, num_plcstate FROM " + T("info")),
              (Rows{{"CPU0001", "0", "Run, I/O Enabled", "0"}}));
    mirror_.UpdateInfoPlcState(9);
    EXPECT_EQ(other().Rows("SELECT plcstate, num_plcstate FROM " + T("info")),
              (Rows{{"unknown", "9"}}));
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          "UPDATE info SET cpu_id = 'CPU0001' WHERE id = 1",
                          "UPDATE info SET plcstate = 'Run, I/O Enabled' WHERE id = 1",
                          "UPDATE info SET num_plcstate = 0 WHERE id = 1",
                          "UPDATE info SET plcstate = 'unknown' WHERE id = 1",
                          "UPDATE info SET num_plcstate = 9 WHERE id = 1",
                      }));

    flags_.dbAlive = 0;
    mirror_.UpdateInfoCpuId("OTHER");
    mirror_.UpdateInfoPlcState(6);
    EXPECT_EQ(Sent().size(), 5u);
    EXPECT_EQ(Cell("info", "cpu_id", 1), "CPU0001");
}

TEST_F(SchemaTest, DropBeforeStartsFreshAndDropAfterRemovesTheDatabase) {
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    Request("new_m", 17, 1);
    ASSERT_TRUE(other().Exec("UPDATE " + T("plc_r") + " SET value=-5 WHERE id=3"));
    connection_.Close();

    ASSERT_EQ(Connect(), DbConnectResult::Ok);  // dropBefore
    EXPECT_EQ(Count("new_m", "flag <> 0"), 0);
    EXPECT_EQ(Cell("plc_r", "value", 3), "0");

    mirror_.DropMirrorDatabase();
    EXPECT_FALSE(other().DatabaseExists(config_.dbName));
}

TEST_F(SchemaTest, ReuseKeepsValuesAndFlagsAndAddsOnlyMissingRows) {
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    Request("new_m", 17, 1);
    Request("new_r", 200, -300);
    ASSERT_TRUE(other().Exec("UPDATE " + T("plc_r") + " SET value=-5 WHERE id=3"));
    mirror_.UpdateInfoCpuId("KEPT");
    connection_.Close();

    config_.dropBefore = false;
    config_.areaTo[snp::kM] = 1500;
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EXPECT_EQ(Cell("new_m", "flag", 17), "1");
    EXPECT_EQ(Cell("new_m", "value", 17), "1");
    EXPECT_EQ(Cell("new_r", "value", 200), "-300");
    EXPECT_EQ(Cell("plc_r", "value", 3), "-5");
    EXPECT_EQ(Count("plc_m"), 1500);
    EXPECT_EQ(Count("info"), 1);
    EXPECT_EQ(Cell("info", "cpu_id", 1), "KEPT");
}

TEST_F(SchemaTest, CpuIdAndDatabaseNameCannotInjectStatements) {
    EXPECT_EQ(PlcMirrorDb::DatabaseIdentifier("plc_memory"), "`plc_memory`");
    EXPECT_EQ(PlcMirrorDb::DatabaseIdentifier("2024"), "`2024`");
    EXPECT_EQ(PlcMirrorDb::DatabaseIdentifier("plc-memory"), "`plc-memory`");
    EXPECT_EQ(PlcMirrorDb::DatabaseIdentifier("a`b"), "`a``b`");
    EXPECT_EQ(PlcMirrorDb::DatabaseIdentifier("1e5"), "`1e5`");
    EXPECT_EQ(PlcMirrorDb::DatabaseIdentifier("2024plant"), "`2024plant`");

    ASSERT_TRUE(other().Exec("CREATE DATABASE IF NOT EXISTS tl_injection_canary"));
    config_.dbName = "tl`; DROP DATABASE tl_injection_canary; --" + std::to_string(getpid());
    ASSERT_EQ(Connect(), DbConnectResult::Ok)
        << (notifier_.boxes.empty() ? "" : notifier_.boxes[0].first);
    EXPECT_TRUE(other().DatabaseExists(config_.dbName));
    EXPECT_TRUE(other().DatabaseExists("tl_injection_canary"));
    EXPECT_TRUE(other().DatabaseExists("mysql"));
    EXPECT_EQ(Count("plc_i"), 1024);

    mirror_.UpdateInfoCpuId("x', error=1 -- ");
    EXPECT_EQ(other().Rows("SELECT cpu_id, error FROM " + T("info")),
              (Rows{{"x', error=1 --", "0"}}));
    mirror_.UpdateInfoCpuId("a\\'b");
    EXPECT_EQ(Cell("info", "cpu_id", 1), "a\\'b");

    mirror_.DropMirrorDatabase();
    EXPECT_FALSE(other().DatabaseExists(config_.dbName));
    EXPECT_TRUE(other().DatabaseExists("tl_injection_canary"));

    config_.dbName = "order";  // a reserved word
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    mirror_.DropMirrorDatabase();  // as at the end of the link (dropAfter)
    EXPECT_FALSE(other().DatabaseExists("order"));

    // Unquoted, the server would read the name as the number 1e5 and a word.
    config_.dbName = "1e5_" + std::to_string(getpid());
    ASSERT_EQ(Connect(), DbConnectResult::Ok)
        << (notifier_.boxes.empty() ? "" : notifier_.boxes[0].first);
    EXPECT_TRUE(other().DatabaseExists(config_.dbName));
    EXPECT_EQ(Count("new_aq"), 256);
}

TEST_F(SchemaTest, DisabledDatabaseSendsNothingAtAll) {
    config_.dbEnabled = false;
    EnableLog();
    EXPECT_EQ(Connect(), DbConnectResult::Ok);
    EXPECT_FALSE(connection_.IsOpen());
    // Even on an open session none of the operations sends a statement.
    ASSERT_TRUE(connection_.Open(params_)) << connection_.Error();
    mirror_.DropMirrorDatabase();
    mirror_.CreateMirrorDatabase();
    mirror_.CreateMirrorTables();
    mirror_.UpdateInfoCpuId("CPU");
    mirror_.UpdateInfoPlcState(1);
    mirror_.MirrorBitValue(0, 1, 1);
    mirror_.MirrorWordValue(0, 1, 1);
    mirror_.ClearRequestFlag(0, 1, 1);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_TRUE(mirror_.CheckConnection());
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(other().DatabaseExists(config_.dbName));
}

TEST_F(SchemaTest, ConnectFailuresShowTheServerErrorAndClose) {
    config_.dbPassword = "wrong";
    EXPECT_EQ(Connect(), DbConnectResult::ConnectFailed);
    ASSERT_EQ(notifier_.boxes.size(), 1u);
    EXPECT_NE(notifier_.boxes[0].first.find("Access denied"), std::string::npos)
        << notifier_.boxes[0].first;
    EXPECT_EQ(notifier_.boxes[0].second, "Database error");
    EXPECT_FALSE(connection_.IsOpen());

    // A name the server refuses: CREATE fails unjudged, the selection fails.
    config_.dbPassword = params_.password;
    config_.dbName = "tl_" + std::string(70, 'x');
    EXPECT_EQ(Connect(), DbConnectResult::SelectFailed);
    ASSERT_EQ(notifier_.boxes.size(), 2u);
    EXPECT_FALSE(notifier_.boxes[1].first.empty());
    EXPECT_EQ(notifier_.boxes[1].second, "Database error");
    EXPECT_FALSE(connection_.IsOpen());

    config_.portNum = 70000;
    EXPECT_EQ(Connect(), DbConnectResult::ConnectFailed);
    EXPECT_EQ(notifier_.boxes.size(), 3u);
}

}  // namespace
}  // namespace tarnlight::db::test
