// The fast mirror: the same tables as one statement per value, from far
// fewer statements, and never a value believed stored that is not.
#include <algorithm>
#include <string>
#include <vector>

#include "db/statement_batch.h"
#include "tests/db/mirror_fixture.h"

namespace tarnlight::db::test {
namespace {

const char* const kValueTables[] = {"plc_i", "plc_m", "plc_q", "plc_ai", "plc_r", "plc_aq"};
const char* const kAllTables[] = {"info",  "plc_i", "plc_m", "plc_q",  "plc_ai", "plc_r", "plc_aq",
                                  "new_i", "new_m", "new_q", "new_ai", "new_r",  "new_aq"};

class FastMirrorTest : public MirrorTest {
  protected:
    void Enable(int type, uint16_t from, uint16_t to) {
        config_.areaEnabled[type] = true;
        config_.areaFrom[type] = from;
        config_.areaTo[type] = to;
    }
    bool Cycle() { return MirrorCycle(mirror_, config_, image_); }
    void SetBit(int type, uint16_t address, uint8_t value) { image_.bits[type][address] = value; }
    void SetWord(int type, uint16_t address, int16_t value) {
        image_.words[type - snp::kAI][address] = static_cast<uint16_t>(value);
    }
    void Tamper(const std::string& table, long id, long value) {
        ASSERT_TRUE(other().Exec("UPDATE " + T(table) + " SET value=" + std::to_string(value) +
                                 " WHERE id=" + std::to_string(id)));
    }
};

TEST(StatementBatchTest, SplitsBelowTheLimitAndLosesNoItem) {
    std::vector<std::string> sent;
    StatementBatch batch(
        "UPDATE t SET v = 1 WHERE id IN (", ")",
        [&](const std::string& sql) {
            sent.push_back(sql);
            return sent.size() != 2;  // the second statement is refused
        },
        48);
    std::string all;
    for (int id = 1; id <= 20; ++id) batch.Add(std::to_string(id));
    batch.Add(std::string(60, '9'));  // longer than any statement may be: goes alone
    batch.Flush();
    batch.Flush();  // nothing left: nothing sent
    EXPECT_FALSE(batch.ok());
    ASSERT_EQ(sent.size(), batch.statementsSent());
    ASSERT_GE(sent.size(), 3u);
    for (size_t i = 0; i + 1 < sent.size(); ++i) {
        EXPECT_LE(sent[i].size(), 48u) << sent[i];
        const std::string& s = sent[i];
        all += (all.empty() ? "" : ",") + s.substr(32, s.size() - 33);
    }
    EXPECT_EQ(sent.front(), "UPDATE t SET v = 1 WHERE id IN (1,2,3,4,5,6,7,8)");
    EXPECT_EQ(all, "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20");
    EXPECT_EQ(sent.back(), "UPDATE t SET v = 1 WHERE id IN (" + std::string(60, '9') + ")");
}

// Both writers, each on a database of its own, through the same memory
// images: every table the same after the build and after every cycle.
TEST_F(FastMirrorTest, BothWritersLeaveTheSameTables) {
    Enable(snp::kI, 1, 64);
    Enable(snp::kM, 100, 400);
    Enable(snp::kQ, 1990, 2000);  // rows above the floor
    Enable(snp::kAI, 1, 16);
    Enable(snp::kR, 200, 300);
    Enable(snp::kAQ, 590, 600);
    LinkConfig eachConfig = config_;
    eachConfig.mirrorEachValue = true;
    eachConfig.dbName = tarnlight::test::UniqueDbName("each");
    MirrorConnection eachConnection;
    PlcMirrorDb each(eachConnection, eachConfig, flags_, image_, writer_);
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    ASSERT_EQ(ConnectMirrorDatabase(eachConnection, each, eachConfig, notifier_),
              DbConnectResult::Ok);
    const auto compare = [&](const std::string& when, const auto& tables) {
        for (const char* table : tables)
            EXPECT_EQ(Dump(table), Dump(table, eachConfig.dbName)) << table << " " << when;
    };
    compare("after the build", kAllTables);

    const int16_t words[] = {-32768, -1, 0, 32767, 1, -2, 0x5555, -0x5556, 256};
    const auto fill = [&](int cycle) {
        for (int type = 0; type < kAreaCount; ++type) {
            for (uint32_t a = config_.areaFrom[type]; a <= config_.areaTo[type]; ++a) {
                const auto address = static_cast<uint16_t>(a);
                if (snp::IsBitArea(type)) {
                    // 0: all 0; 1, 2: all 1; then a 1 walking through all
                    // sixteen positions, and a second one every third cycle.
                    const bool walking =
                        (a + cycle + type) % 16 == 0 || (cycle % 3 == 0 && a % 5 == 0);
                    SetBit(type, address, cycle == 0 ? 0 : cycle <= 2 ? 1 : walking ? 1 : 0);
                } else {
                    SetWord(type, address,
                            cycle == 0 ? 0 : words[(a * (cycle % 4 + 1) + cycle) % 9]);
                }
            }
        }
    };
    // Tables another program altered, the same way in both databases: the
    // same values and requests written, the same flags set.
    for (const std::string& name : {config_.dbName, eachConfig.dbName}) {
        ASSERT_TRUE(other().Exec("USE " + PlcMirrorDb::DatabaseIdentifier(name)));
        for (const char* sql : {"ALTER TABLE new_ai MODIFY value DECIMAL(8,2) NOT NULL",
                                "ALTER TABLE new_aq MODIFY value SMALLINT NULL",
                                "ALTER TABLE plc_r ADD note VARCHAR(10) NOT NULL",
                                "DELETE FROM plc_aq WHERE id = 595",
                                "UPDATE new_ai SET value = 3, flag = 1 WHERE id = 2",
                                "UPDATE new_r SET value = 5, flag = 1 WHERE id = 3",
                                "UPDATE new_aq SET value = NULL, flag = 1 WHERE id IN (4, 5)"})
            ASSERT_TRUE(other().Exec(sql)) << sql;
    }
    // new_aq 4 corrected by its program while %R3 is written.
    writer_.onWrite = [&](const RecordingWriter::Write&) {
        for (const std::string& name : {config_.dbName, eachConfig.dbName})
            other().Exec("UPDATE " + PlcMirrorDb::DatabaseIdentifier(name) +
                         ".new_aq SET value = 12 WHERE id = 4");
    };
    for (int cycle = 0; cycle < 22; ++cycle) {
        if (cycle != 2 && cycle != 12) fill(cycle);  // and twice nothing changed
        ASSERT_TRUE(MirrorCycle(mirror_, config_, image_));
        ASSERT_TRUE(MirrorCycle(each, eachConfig, image_));
        EXPECT_TRUE(mirror_.ServeWriteQueue() && each.ServeWriteQueue());
        compare("after cycle " + std::to_string(cycle), kValueTables);
    }
    compare("with altered tables", kAllTables);
    EXPECT_EQ(writer_.writes.size(), 4u);  // %R3 and %AQ4 from each
    EXPECT_EQ(Cell("new_ai", "flag", 2) + Cell("new_aq", "flag", 4) + Cell("new_aq", "flag", 5),
              "202");
    other().Exec("DROP DATABASE IF EXISTS " + eachConfig.dbName);
}

TEST_F(FastMirrorTest, SendsOnlyWhatChangedInOneTransaction) {
    Enable(snp::kM, 1, 8);
    Enable(snp::kR, 1, 4);
    SetBit(snp::kM, 2, 1);
    SetWord(snp::kR, 4, -7);
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EnableLog();

    // First cycle: nothing is known, every value goes.
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          "START TRANSACTION",
                          "UPDATE plc_m SET value = 1 WHERE id IN (2)",
                          "UPDATE plc_m SET value = 0 WHERE id IN (1,3,4,5,6,7,8)",
                          "UPDATE plc_r SET value = CASE id WHEN 1 THEN 0 WHEN 2 THEN 0 WHEN 3 "
                          "THEN 0 WHEN 4 THEN -7 END WHERE id IN (1,2,3,4)",
                          "COMMIT",
                      }));
    // Nothing changed: not a single statement.
    ASSERT_TRUE(Cycle());
    EXPECT_EQ(Sent().size(), 5u);

    SetBit(snp::kM, 2, 0);
    SetBit(snp::kM, 5, 1);
    SetBit(snp::kM, 7, 1);
    SetWord(snp::kR, 1, -32768);
    SetWord(snp::kR, 3, 32767);
    ASSERT_TRUE(Cycle());
    const auto sent = Sent();
    EXPECT_EQ(std::vector<std::string>(sent.begin() + 5, sent.end()),
              (std::vector<std::string>{
                  "START TRANSACTION",
                  "UPDATE plc_m SET value = 1 WHERE id IN (5,7)",
                  "UPDATE plc_m SET value = 0 WHERE id IN (2)",
                  "UPDATE plc_r SET value = CASE id WHEN 1 THEN -32768 WHEN 3 THEN 32767 END "
                  "WHERE id IN (1,3)",
                  "COMMIT",
              }));
    EXPECT_EQ(Dump("plc_m")[4], (std::vector<std::string>{"5", "1"}));
    EXPECT_EQ(Dump("plc_m")[1], (std::vector<std::string>{"2", "0"}));
    EXPECT_EQ(Cell("plc_r", "value", 1), "-32768");
    EXPECT_EQ(Cell("plc_r", "value", 4), "-7");

    // Values held while the database does not answer are not sent.
    flags_.dbAlive = 0;
    SetBit(snp::kM, 1, 1);
    EXPECT_TRUE(Cycle());
    EXPECT_EQ(Sent().size(), 10u);
}

// A value row another program changed shows what stays believed stored:
// it is put right only once the writer has forgotten.
TEST_F(FastMirrorTest, ForgetsWhatItStoredWheneverTheServerMayNotHoldIt) {
    Enable(snp::kM, 1, 8);
    Enable(snp::kQ, 1, 4);
    Enable(snp::kAQ, 1, 4);
    SetBit(snp::kM, 3, 1);
    SetWord(snp::kAQ, 2, 1000);
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    mirror_.SetReconnectInterval(std::chrono::milliseconds(0));
    mirror_.SetValueRefreshInterval(std::chrono::hours(1));
    ASSERT_TRUE(Cycle());
    const auto tamper = [&] {
        Tamper("plc_m", 3, 0);
        Tamper("plc_aq", 2, 5);
    };
    const auto putRight = [&] {
        return Cell("plc_m", "value", 3) == "1" && Cell("plc_aq", "value", 2) == "1000";
    };

    tamper();
    ASSERT_TRUE(Cycle());
    EXPECT_FALSE(putRight()) << "believed stored: not sent again";

    // A statement that fails (another program moved plc_q away): the other
    // tables are written all the same, and nothing is believed stored.
    ASSERT_TRUE(other().Exec("RENAME TABLE " + T("plc_q") + " TO " + T("plc_q_away")));
    SetBit(snp::kQ, 1, 1);
    SetBit(snp::kM, 4, 1);
    EXPECT_FALSE(Cycle());
    EXPECT_EQ(Cell("plc_m", "value", 4), "1");
    ASSERT_TRUE(other().Exec("RENAME TABLE " + T("plc_q_away") + " TO " + T("plc_q")));
    ASSERT_TRUE(Cycle());
    EXPECT_TRUE(putRight()) << "after a failed statement";
    EXPECT_EQ(Cell("plc_q", "value", 1), "1");

    // The connection re-opened.
    tamper();
    ASSERT_TRUE(other().Exec("KILL " + std::to_string(connection_.ThreadId())));
    ASSERT_TRUE(mirror_.CheckConnection());
    ASSERT_TRUE(Cycle());
    EXPECT_TRUE(putRight()) << "after the re-open";

    // The tables built again (here: a reused database, rows kept).
    tamper();
    config_.dropBefore = false;
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    ASSERT_TRUE(Cycle());
    EXPECT_TRUE(putRight()) << "after Connect";
    tamper();
    ASSERT_TRUE(mirror_.CreateMirrorTables());
    ASSERT_TRUE(Cycle());
    EXPECT_TRUE(putRight()) << "after the rebuild";

    // The refresh interval over.
    tamper();
    ASSERT_TRUE(Cycle());
    EXPECT_FALSE(putRight());
    mirror_.SetValueRefreshInterval(std::chrono::milliseconds(0));
    ASSERT_TRUE(Cycle());
    EXPECT_TRUE(putRight()) << "after the refresh interval";
}

TEST_F(FastMirrorTest, LargestRangesAllStoredInStatementsBelowTheLimit) {
    for (int type = 0; type < kAreaCount; ++type)
        Enable(type, 1, snp::IsBitArea(type) ? snp::kMaxBitAddress : snp::kMaxWordAddress);
    for (uint32_t a = 1; a <= snp::kMaxBitAddress; ++a)
        for (int type = snp::kI; type <= snp::kQ; ++type)
            SetBit(type, static_cast<uint16_t>(a), (a * 7 + type) % 3 == 0);
    for (uint32_t a = 1; a <= snp::kMaxWordAddress; ++a)
        for (int type = snp::kAI; type <= snp::kAQ; ++type)
            SetWord(type, static_cast<uint16_t>(a), static_cast<int16_t>(a * 4099 + type));
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EnableLog();
    ASSERT_TRUE(Cycle());
    const auto sent = Sent();
    EXPECT_LE(sent.size(), 2u + 6u + 3u * snp::kMaxWordAddress / ValueUpdateBatch::kMaxRows);
    for (const std::string& sql : sent) EXPECT_LE(sql.size(), kMaxStatementBytes);
    for (int type = 0; type < kAreaCount; ++type) {
        const Rows rows = Dump(kValueTables[type]);
        ASSERT_EQ(rows.size(), snp::IsBitArea(type) ? snp::kMaxBitAddress : snp::kMaxWordAddress);
        long wrong = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            const auto a = static_cast<uint16_t>(i + 1);
            const long expected = snp::IsBitArea(type)
                                      ? image_.bits[type][a]
                                      : static_cast<int16_t>(image_.words[type - snp::kAI][a]);
            wrong += rows[i][0] != std::to_string(a) || rows[i][1] != std::to_string(expected);
        }
        EXPECT_EQ(wrong, 0) << kValueTables[type];
    }
}

// The table build in both forms: progress from 0 to 100 in steps, a cancel
// that stops it, and a reused database that keeps its rows.
class BuildTest : public MirrorTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        MirrorTest::SetUp();
        config_.mirrorEachValue = GetParam();
    }
    DbConnectResult ConnectWith(const BuildProgress& progress) {
        return ConnectMirrorDatabase(connection_, mirror_, config_, notifier_, progress);
    }
};

TEST_P(BuildTest, ReportsProgressCanBeCancelledAndKeepsAReusedDatabase) {
    std::vector<int> reports;
    // Cancelled past the half: the rows so far stay, the connection closes.
    EXPECT_EQ(ConnectWith([&](int percent) {
                  reports.push_back(percent);
                  return percent < 50;
              }),
              DbConnectResult::Cancelled);
    EXPECT_FALSE(connection_.IsOpen());
    EXPECT_EQ(reports.front(), 0);
    EXPECT_GE(reports.back(), 50);
    EXPECT_LT(reports.back(), 100);
    EXPECT_EQ(Count("new_i"), 1024);
    EXPECT_GT(Count("new_m"), 0);
    EXPECT_EQ(Count("new_aq"), 0);

    // Built to the end on the reused database: the rows there keep their
    // values and flags, the missing ones are added.
    Request("new_i", 7, 1);
    ASSERT_TRUE(other().Exec("UPDATE " + T("plc_m") + " SET value=1 WHERE id=9"));
    config_.dropBefore = false;
    config_.areaTo[snp::kR] = 1000;
    reports.clear();
    EnableLog();
    ASSERT_EQ(ConnectWith([&](int percent) {
                  reports.push_back(percent);
                  return true;
              }),
              DbConnectResult::Ok);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(reports.front(), 0);
    EXPECT_EQ(reports.back(), 100);
    EXPECT_GE(reports.size(), 6u);  // a bar that moves, not one jump
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_LE(reports[i] - reports[i - 1], 30);
    for (const auto& [table, rows] : std::vector<std::pair<std::string, long>>{{"plc_i", 1024},
                                                                               {"new_m", 1024},
                                                                               {"plc_ai", 256},
                                                                               {"plc_r", 1000},
                                                                               {"new_r", 1000},
                                                                               {"new_aq", 256}})
        EXPECT_EQ(Count(table), rows) << table;
    EXPECT_EQ(Cell("new_i", "flag", 7), "1");
    EXPECT_EQ(Cell("new_i", "value", 7), "1");
    EXPECT_EQ(Cell("plc_m", "value", 9), "1");
    EXPECT_EQ(Count("info"), 1);
    if (!GetParam()) {
        // One pair of multi-row inserts per area of at most 1024 ids, one commit.
        const auto sent = Sent();
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                                [](const std::string& sql) {
                                    return sql.rfind("INSERT IGNORE INTO ", 0) == 0;
                                }),
                  12);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "COMMIT"), 1);
        const std::string first =
            "INSERT IGNORE INTO new_ai (id, value, flag) VALUES (1,0,0),(2,0,0),";
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                                [&](const std::string& sql) {
                                    return sql.rfind(first, 0) == 0 && sql.size() > 9 &&
                                           sql.substr(sql.size() - 9) == "(256,0,0)";
                                }),
                  1);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, BuildTest, ::testing::Values(true, false), FormName);

}  // namespace
}  // namespace tarnlight::db::test
