// The tag history through its journal: nothing lost while the server is away
// or the table locked, renamed or shared, the time of the read kept, every
// gap marked.
#include <filesystem>

#include "db/server_clock.h"
#include "tests/db/mirror_fixture.h"
#include "tests/support/wait_for.h"

namespace tarnlight::db::test {
namespace {

using tarnlight::test::WaitFor;

class HistoryTest : public MirrorTest {
  protected:
    void SetUp() override {
        MirrorTest::SetUp();
        if (IsSkipped()) return;
        TagDefinition level;
        ASSERT_TRUE(ParseTagDefinition("level", "%R12 INT history", &level, nullptr));
        config_.tags = {level};
        config_.historyDb = tarnlight::test::UniqueDbName("hist");
        journal_ = std::filesystem::temp_directory_path() / config_.historyDb;
        config_.historyJournal = journal_.string();
        config_.historyDays = 0;  // the rows' times lie in the past: kept
        mirror_.SetLinkStats(&stats_);
    }
    void TearDown() override {
        mirror_.CloseHistory();
        if (other_) other().Exec("DROP DATABASE IF EXISTS `" + config_.historyDb + "`");
        MirrorTest::TearDown();
        std::filesystem::remove_all(journal_);
    }
    // "value@ms ..." of the table's rows of level, in the order of the readers' queries.
    std::string History(tarnlight::test::OtherClient& client,
                        const std::string& table = "tag_history") {
        std::string text;
        for (const auto& row :
             client.Rows("SELECT IFNULL(value, 'NULL'), changed_at FROM `" + config_.historyDb +
                         "`." + table + " WHERE name = 'level' ORDER BY changed_at, id"))
            text += (text.empty() ? "" : " ") + row[0] + "@" +
                    std::to_string(ParseDateTime(row[1]).value_or(-1) - base_);
        return text;
    }
    std::string History() { return History(other()); }
    void Read(int value, int64_t atMs) {
        mirror_.ReadTag(0, static_cast<uint16_t>(value), base_ + atMs);
    }

    std::filesystem::path journal_;
    LinkStats stats_;
    // Read times well in the past: the rows must carry them, not their arrival.
    const int64_t base_ = 1700000000000;
};

TEST_F(HistoryTest, AnOutageLosesNothingAndKeepsTheTimesOfTheReadsAndTheGaps) {
    tarnlight::test::OwnServer server("hist-outage");
    ASSERT_TRUE(server.ok());
    const ConnectionParams own = server.params();
    config_.portNum = static_cast<int32_t>(own.port);
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    tarnlight::test::OtherClient watcher(own);
    Read(12, 0);
    ASSERT_TRUE(WaitFor([&] { return History(watcher) == "12@0"; }));

    // Down: every change, the lost link, a Disconnect and a new Connect's
    // journal stay on disk, on the offset measured before.
    ASSERT_EQ(tarnlight::test::RunPrivateDbScript("stop", server.dir()), 0);
    Read(22, 1000);
    Read(22, 2000);  // no change, no row
    Read(33, 3000);
    mirror_.WriteLinkDown(base_ + 4000);
    Read(44, 5000);
    mirror_.CloseHistory();  // Disconnect
    ASSERT_EQ(mirror_.OpenHistory(), PlcMirrorDb::HistoryStart::Ok);
    Read(44, 6000);  // the first value of a new link: always a row
    mirror_.WriteLinkDown(base_ + 7000);
    EXPECT_TRUE(WaitFor([&] { return stats_.Snapshot().counters.history_waiting == 7; }));
    EXPECT_TRUE(WaitFor([&] {
        return mirror_.TakeHistoryWarning().rfind("W31: History rows wait in the journal", 0) == 0;
    }));

    ASSERT_EQ(tarnlight::test::RunPrivateDbScript("start", server.dir()), 0);
    tarnlight::test::OtherClient back(own);
    // The reopened journal found the last value open: a crash's gap at the
    // last cycle it recorded.
    const std::string all = "12@0 22@1000 33@3000 NULL@4000 44@5000 NULL@5000 44@6000 NULL@7000";
    EXPECT_TRUE(WaitFor([&] { return History(back) == all; }, std::chrono::seconds(20)))
        << History(back);
    // The counter follows the commit that moved the last rows.
    EXPECT_TRUE(WaitFor([&] { return stats_.Snapshot().counters.history_waiting == 0; }));
}

TEST_F(HistoryTest, ALockedTableAndAFullJournalMarkTheGapCountAndWarn) {
    config_.historyJournalMB = 1;
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    Read(1, 0);
    ASSERT_TRUE(WaitFor([&] { return History() == "1@0"; }));
    tarnlight::test::OtherClient locker(params_);
    ASSERT_TRUE(locker.Exec("LOCK TABLES `" + config_.historyDb + "`.tag_history READ"));
    // A mebibyte of rows waits; then rows are dropped, counted, and said once.
    const auto dropped = [&] { return mirror_.historyJournal().figures().dropped; };
    int64_t at = 1;
    for (; dropped() == 0 && at < 200000; ++at) Read(at % 2 + 2, at);
    const int64_t firstDropped = at - 1;
    Read(9, at);
    ++at;
    EXPECT_EQ(mirror_.TakeHistoryWarning(),
              "W28: History journal full (historyJournalMB): rows dropped, the gap is marked");
    EXPECT_EQ(dropped(), 2u);
    EXPECT_TRUE(WaitFor([&] { return stats_.Snapshot().counters.history_dropped == 2; }));
    EXPECT_GT(stats_.Snapshot().counters.journal_bytes, 1000000u);

    // Unlocked, the rows go in order; the first row with room again follows
    // a NULL at the time of the first drop.
    ASSERT_TRUE(locker.Exec("UNLOCK TABLES"));
    ASSERT_TRUE(WaitFor([&] { return stats_.Snapshot().counters.history_waiting == 0; },
                        std::chrono::seconds(60)));
    Read(7, at);
    ASSERT_TRUE(WaitFor([&] {
        return other().Scalar("SELECT COUNT(*) FROM `" + config_.historyDb +
                              "`.tag_history WHERE value = 7") == "1";
    }));
    EXPECT_EQ(other().Scalar("SELECT changed_at FROM `" + config_.historyDb +
                             "`.tag_history WHERE value IS NULL"),
              DateTimeLiteral(base_ + firstDropped).substr(1, 23));
    EXPECT_EQ(other().Number("SELECT COUNT(*) FROM `" + config_.historyDb + "`.tag_history"),
              firstDropped + 2);  // every row journalled, once; the gap; the 7
}

TEST_F(HistoryTest, ARenamedTableIsMadeAgainAndSharedTablesKeepTheirSources) {
    // A table from before the column source: altered in place, its rows kept as this mirror's.
    ASSERT_TRUE(other().Exec("CREATE DATABASE `" + config_.historyDb + "`"));
    ASSERT_TRUE(
        other().Exec("CREATE TABLE `" + config_.historyDb +
                     "`.tag_history (name VARCHAR(64) NOT NULL, value DOUBLE NULL, "
                     "changed_at DATETIME(3) NOT NULL, id BIGINT UNSIGNED NOT NULL "
                     "AUTO_INCREMENT, PRIMARY KEY (id), INDEX name_time (name, changed_at))"));
    ASSERT_TRUE(other().Exec(
        "INSERT INTO `" + config_.historyDb +
        "`.tag_history (name, value, changed_at) VALUES ('level', 5, '2023-11-14 22:13:19.000')"));
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    Read(6, 0);
    ASSERT_TRUE(WaitFor([&] { return History() == "5@-1000 6@0"; })) << History();
    EXPECT_EQ(other().Scalar("SELECT GROUP_CONCAT(DISTINCT source) FROM `" + config_.historyDb +
                             "`.tag_history"),
              config_.dbName);

    // Archived away: made again at the writer's next try, said once; the rows waited.
    ASSERT_TRUE(other().Exec("RENAME TABLE `" + config_.historyDb + "`.tag_history TO `" +
                             config_.historyDb + "`.tag_history_archive"));
    Read(7, 1000);
    ASSERT_TRUE(WaitFor([&] { return History() == "7@1000"; })) << History();
    EXPECT_TRUE(WaitFor([&] { return !mirror_.TakeHistoryWarning().empty(); }));
    EXPECT_EQ(History(other(), "tag_history_archive"), "5@-1000 6@0");

    // A second mirror on the same history database: its own rows, its own name.
    LinkConfig second = config_;
    second.dbName = tarnlight::test::UniqueDbName("mirror2");
    EngineFlags flags;
    MirrorConnection connection;
    PlcMirrorDb mirror(connection, second, flags, image_, writer_);
    ASSERT_EQ(ConnectMirrorDatabase(connection, mirror, second, notifier_), DbConnectResult::Ok);
    mirror.ReadTag(0, 8, base_ + 2000);
    mirror.CloseHistory();
    other().Exec("DROP DATABASE `" + second.dbName + "`");
    EXPECT_EQ(other().Rows("SELECT source, value FROM `" + config_.historyDb +
                           "`.tag_history ORDER BY id"),
              (Rows{{config_.dbName, "7"}, {second.dbName, "8"}}));
    // The same mirror and folder twice: refused, its journal never shared.
    PlcMirrorDb twin(connection, config_, flags, image_, writer_);
    EXPECT_EQ(ConnectMirrorDatabase(connection, twin, config_, notifier_),
              DbConnectResult::JournalBusy);
}

}  // namespace
}  // namespace tarnlight::db::test
