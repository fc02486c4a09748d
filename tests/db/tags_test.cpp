// Tags in the mirror: the tags table, the new_tags requests and the change
// history, in both forms of the writer (the bool: mirrorEachValue).
#include <bit>
#include <cstring>
#include <filesystem>

#include "snp/tag_image.h"
#include "tests/db/mirror_fixture.h"
#include "tests/support/wait_for.h"

namespace tarnlight::db::test {
namespace {

using W = RecordingWriter::Write;

TagDefinition Tag(const std::string& name, const std::string& text) {
    TagDefinition tag;
    std::string problem;
    EXPECT_TRUE(ParseTagDefinition(name, text, &tag, &problem)) << problem;
    return tag;
}

class TagsTest : public MirrorTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        MirrorTest::SetUp();
        if (IsSkipped()) return;
        config_.mirrorEachValue = GetParam();
        config_.tags = {Tag("total", "%R10 DINT"),
                        Tag("level", "%R12 REAL history"),
                        Tag("temp", "%AI3 INT scale=0.5 offset=-40 history deadband=1"),
                        Tag("pump", "%Q5"),
                        Tag("tot", "%R40 UDINT scale=0.01"),
                        Tag("flow", "%R44 INT scale=0.1")};
        config_.historyDb = tarnlight::test::UniqueDbName("hist");
        config_.historyJournal = "/tmp/" + config_.historyDb;
        ASSERT_EQ(Connect(), DbConnectResult::Ok);
    }
    void TearDown() override {
        mirror_.CloseHistory();
        if (other_) other().Exec("DROP DATABASE IF EXISTS `" + config_.historyDb + "`");
        MirrorTest::TearDown();
        std::filesystem::remove_all(config_.historyJournal);
    }
    void SetDint(int32_t v) { SetPair(10, static_cast<uint32_t>(v)); }
    void SetReal(uint32_t bits) { SetPair(12, bits); }
    void SetPair(uint16_t address, uint32_t raw) {
        image_.words[1][address] = static_cast<uint16_t>(raw);
        image_.words[1][address + 1] = static_cast<uint16_t>(raw >> 16);
    }
    // One pass's tags and the end of the cycle, as the worker does it.
    bool Pass() {
        for (size_t i = 0; i < config_.tags.size(); ++i)
            mirror_.ReadTag(static_cast<int>(i), snp::TagRawFromImage(config_.tags[i], image_));
        return mirror_.EndCycle();
    }
    Rows TagRow(const std::string& name) {
        return other().Rows("SELECT address, type, value, raw FROM " + T("tags") + " WHERE name='" +
                            name + "'");
    }
    std::string History(const std::string& name) {
        return other().Scalar(
            "SELECT GROUP_CONCAT(IFNULL(value, 'NULL') ORDER BY changed_at, id "
            "SEPARATOR ' ') FROM `" +
            config_.historyDb + "`.tag_history WHERE name='" + name + "'");
    }
    void AskTag(const std::string& name, const std::string& value) {
        ASSERT_TRUE(other().Exec("REPLACE INTO " + T("new_tags") +
                                 " (name, value, flag) VALUES ('" + name + "', " + value + ", 1)"));
    }
    std::string TagFlag(const std::string& name) {
        return other().Scalar("SELECT flag FROM " + T("new_tags") + " WHERE name='" + name + "'");
    }
};

TEST_P(TagsTest, TheTagsTableHoldsTypedScaledValuesAndFollowsTheDefinitions) {
    EXPECT_EQ(TagRow("total"), (Rows{{"%R10", "DINT", "NULL", ""}}));
    SetDint(-123456);
    SetReal(std::bit_cast<uint32_t>(-2.5f));
    image_.words[0][3] = 500;  // 500 x 0.5 - 40
    image_.bits[2][5] = 1;
    ASSERT_TRUE(Pass());
    EXPECT_EQ(TagRow("total"), (Rows{{"%R10", "DINT", "-123456", "FFFE1DC0"}}));
    EXPECT_EQ(TagRow("level"), (Rows{{"%R12", "REAL", "-2.5", "C0200000"}}));
    EXPECT_EQ(TagRow("temp"), (Rows{{"%AI3", "INT", "210", "01F4"}}));
    EXPECT_EQ(TagRow("pump"), (Rows{{"%Q5", "BOOL", "1", "1"}}));
    EXPECT_EQ(other().Rows("SELECT scale, `offset` FROM " + T("tags") + " WHERE name='temp'"),
              (Rows{{"0.5", "-40"}}));
    const std::string changed = "SELECT changed_at FROM " + T("tags") + " WHERE name='total'";
    const std::string totalAt = other().Scalar(changed);
    EXPECT_FALSE(totalAt.empty());

    // A NaN from the controller: no value, its bits. Written again anyway
    // (the refresh), an unchanged tag keeps its time.
    SetReal(0x7FC00001);
    mirror_.SetValueRefreshInterval(std::chrono::milliseconds(0));
    ASSERT_TRUE(Pass());
    EXPECT_EQ(TagRow("level"), (Rows{{"%R12", "REAL", "NULL", "7FC00001"}}));
    EXPECT_EQ(other().Scalar(changed), totalAt);

    // A kept database is rebuilt to the definitions: a removed tag goes, a
    // new one appears, one that changed its type, scale or offset starts
    // unknown. A table of a version without scale and offset gets them.
    config_.dropBefore = false;
    config_.tags = {Tag("total", "%R10 DINT"), Tag("level", "%R12 UDINT"), Tag("fresh", "%M7"),
                    Tag("temp", "%AI3 INT scale=0.5 offset=-5")};
    ASSERT_TRUE(other().Exec("ALTER TABLE " + T("tags") + " DROP scale, DROP `offset`"));
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EXPECT_EQ(
        other().Rows("SELECT name, value, scale, `offset` FROM " + T("tags") + " ORDER BY name"),
        (Rows{{"fresh", "NULL", "1", "0"},
              {"level", "NULL", "1", "0"},
              {"temp", "NULL", "0.5", "-5"},
              {"total", "-123456", "1", "0"}}));
}

TEST_P(TagsTest, ValuesAreTheDecimalsAPersonComputesAndReadBackAsWritten) {
    SetPair(40, 123456790);  // x 0.01
    ASSERT_TRUE(Pass());
    EXPECT_EQ(TagRow("tot"), (Rows{{"%R40", "UDINT", "1234567.9", "075BCD16"}}));

    // Written from new_tags and read again: the same number in both tables.
    writer_.onWrite = [&](const W& w) {
        image_.words[w.area][w.address] = w.value;
        if (w.count == 2) image_.words[w.area][w.address + 1] = w.high;
    };
    AskTag("flow", "3236.7");
    AskTag("level", "3236.7");
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    ASSERT_TRUE(Pass());
    EXPECT_EQ(other().Rows("SELECT t.value, t.value = n.value FROM " + T("tags") + " t JOIN " +
                           T("new_tags") + " n USING (name) WHERE n.name IN ('flow', 'level')"),
              (Rows{{"3236.7", "1"}, {"3236.7", "1"}}));
}

TEST_P(TagsTest, NewTagsAreEncodedWrittenInOneRequestAndFlaggedAsTheRawRows) {
    Request("new_r", 10, 7);  // raw rows first, in the same pass
    AskTag("total", "-123456");
    AskTag("pump", "1");
    AskTag("nosuch", "1");
    AskTag("level", "NULL");
    AskTag("temp", "20000");  // 40080 raw: no INT
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    // new_tags in the order of its rows (by name).
    EXPECT_EQ(
        writer_.writes,
        (std::vector<W>{{false, 10, 7, 1}, {true, 5, 1, 2}, {false, 10, 0x1DC0, 1, 2, 0xFFFE}}));
    EXPECT_EQ(
        TagFlag("total") + TagFlag("pump") + TagFlag("nosuch") + TagFlag("level") + TagFlag("temp"),
        "00222");

    // Refused by the controller: 3. Changed while on the line: stays 1.
    writer_.writes.clear();
    writer_.refuse = {0};
    AskTag("temp", "10.2");  // rounded to the nearest raw value, 100
    AskTag("total", "5");
    writer_.onWrite = [&](const W& w) {
        if (w.count == 2)
            other().Exec("UPDATE " + T("new_tags") + " SET value=6 WHERE name='total'");
    };
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{false, 3, 100, 0}, {false, 10, 5, 1, 2, 0}}));
    EXPECT_EQ(TagFlag("temp") + TagFlag("total"), "31");
}

TEST_P(TagsTest, HistoryAppendsBeyondTheDeadbandAndWhenTheLinkGoesDown) {
    for (const int raw : {100, 101, 103, 105, 106}) {  // 10, 10.5, 11.5, 12.5, 13
        image_.words[0][3] = static_cast<uint16_t>(raw);
        ASSERT_TRUE(Pass());
    }
    SetReal(0x7F800000);  // infinity: no data
    ASSERT_TRUE(Pass());
    SetReal(std::bit_cast<uint32_t>(1.5f));
    ASSERT_TRUE(Pass());
    mirror_.WriteLinkDown(NowMs());
    mirror_.WriteLinkDown(NowMs());  // nothing more to say
    EXPECT_TRUE(tarnlight::test::WaitFor([&] { return History("temp") == "10 11.5 13 NULL"; }));
    EXPECT_EQ(History("level"), "0 NULL 1.5 NULL");
    EXPECT_EQ(History("total"), "NULL");  // not marked history: no row

    // Neither dropBefore nor dropAfter touches it.
    mirror_.DropMirrorDatabase();
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    EXPECT_EQ(History("temp"), "10 11.5 13 NULL");
}

// On the history writer's connection, in batches; a tag's newest row stays
// however old, and other sources' rows are theirs.
TEST_P(TagsTest, RetentionDeletesOldRowsButEachTagsNewest) {
    mirror_.SetHistoryPurgeInterval(std::chrono::milliseconds(50));
    ASSERT_EQ(Connect(), DbConnectResult::Ok);
    ASSERT_TRUE(Pass());  // makes the table: two rows
    const std::string table = "`" + config_.historyDb + "`.tag_history";
    const std::string count = "SELECT COUNT(*) FROM " + table;
    ASSERT_TRUE(tarnlight::test::WaitFor([&] { return other().Number(count) == 2; }));
    const std::string insert = "INSERT INTO " + table + " (name, value, changed_at, source) ";
    const std::string source = "'" + config_.dbName + "'";
    // The writer's deletion runs meanwhile: a statement it deadlocks with is
    // rolled back whole and sent again, as any program would.
    const auto exec = [&](const std::string& sql) {
        return tarnlight::test::WaitFor([&] { return other().Exec(sql); });
    };
    ASSERT_TRUE(exec(insert + "SELECT 'old', seq, UTC_TIMESTAMP(3) - INTERVAL 40 DAY + " +
                     "INTERVAL seq SECOND, " + source + " FROM " + T("seq_1_to_2500")));
    ASSERT_TRUE(exec(insert + "VALUES ('new', 1, UTC_TIMESTAMP(3) - INTERVAL 20 DAY, " + source +
                     "), ('old', 1, '2000-01-01', 'other')"));
    EXPECT_TRUE(tarnlight::test::WaitFor([&] { return other().Number(count) == 2 + 3; }));
    EXPECT_EQ(
        other().Rows("SELECT value, source FROM " + table + " WHERE name = 'old' ORDER BY id"),
        (Rows{{"2500", config_.dbName}, {"1", "other"}}));
}

INSTANTIATE_TEST_SUITE_P(Forms, TagsTest, ::testing::Bool(), FormName);

}  // namespace
}  // namespace tarnlight::db::test
