// Value mirroring and the write-back queue against the real server, with a
// recording stand-in for the controller. The queue's behaviour is checked in
// both forms: one statement per row (mirrorEachValue) and batched.
#include <algorithm>

#include "tests/db/mirror_fixture.h"

namespace tarnlight::db::test {
namespace {

using W = RecordingWriter::Write;

// Connected to a freshly built mirror database.
class ConnectedTest : public MirrorTest {
  protected:
    void SetUp() override {
        MirrorTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_EQ(Connect(), DbConnectResult::Ok);
    }
    bool SentContains(const std::string& sql) {
        const auto sent = Sent();
        return std::find(sent.begin(), sent.end(), sql) != sent.end();
    }
    // Five requests in three tables, in the order the queue serves them:
    // %M1 = 1, %R1..3 = 11, 22, 33, %AQ1 = 44.
    void RequestFiveRows() {
        Request("new_m", 1, 1);
        Request("new_r", 1, 11);
        Request("new_r", 2, 22);
        Request("new_r", 3, 33);
        Request("new_aq", 1, 44);
    }
    // Their flags in the same order, as "0 1 1 1 1".
    std::string FiveFlags() {
        return Cell("new_m", "flag", 1) + " " + Cell("new_r", "flag", 1) + " " +
               Cell("new_r", "flag", 2) + " " + Cell("new_r", "flag", 3) + " " +
               Cell("new_aq", "flag", 1);
    }
};

class WriteQueueTest : public ConnectedTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        config_.mirrorEachValue = EachValue();
        ConnectedTest::SetUp();
    }
    static bool EachValue() { return GetParam(); }
};

TEST_F(ConnectedTest, MirrorStatementsAndValuesOneByOne) {
    config_.mirrorEachValue = true;
    EnableLog();
    mirror_.MirrorBitValue(0, 5, 1);
    mirror_.MirrorBitValue(2, 12, 1);
    mirror_.MirrorBitValue(2, 13, 1);
    mirror_.MirrorBitValue(2, 13, 0);
    mirror_.MirrorWordValue(1, 3, -1);
    mirror_.MirrorWordValue(2, 256, 32767);
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          "UPDATE plc_i SET value = 1 WHERE id = 5",
                          "UPDATE plc_q SET value = 1 WHERE id = 12",
                          "UPDATE plc_q SET value = 1 WHERE id = 13",
                          "UPDATE plc_q SET value = 0 WHERE id=13",
                          "UPDATE plc_r SET value =-1 WHERE id=3",
                          "UPDATE plc_aq SET value =32767 WHERE id=256",
                      }));
    EXPECT_EQ(Cell("plc_i", "value", 5), "1");
    EXPECT_EQ(Cell("plc_q", "value", 12), "1");
    EXPECT_EQ(Cell("plc_q", "value", 13), "0");
    EXPECT_EQ(Cell("plc_r", "value", 3), "-1");
    EXPECT_EQ(Cell("plc_aq", "value", 256), "32767");

    // While the database does not answer nothing is mirrored.
    flags_.dbAlive = 0;
    mirror_.MirrorBitValue(0, 6, 1);
    mirror_.MirrorWordValue(0, 6, 1);
    EXPECT_EQ(Sent().size(), 6u);
}

TEST_P(WriteQueueTest, EqualValueInAnEnabledAreaIsAcknowledgedWithoutAWrite) {
    config_.areaEnabled[snp::kM] = true;
    image_.bits[1][10] = 1;
    Request("new_m", 10, 1);
    EnableLog();
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_TRUE(writer_.writes.empty());
    EXPECT_EQ(Cell("new_m", "flag", 10), "0");
    EXPECT_EQ(Cell("new_m", "value", 10), "1");  // only the flag changes
    if (EachValue()) {
        EXPECT_EQ(Sent(), (std::vector<std::string>{
                              "SELECT * FROM `new_i` WHERE flag = 1",
                              "SELECT * FROM `new_m` WHERE flag = 1",
                              "UPDATE new_m SET flag = 0  WHERE id=10 AND value=1",
                              "SELECT * FROM `new_q` WHERE flag = 1",
                              "SELECT * FROM `new_ai` WHERE flag = 1",
                              "SELECT * FROM `new_r` WHERE flag = 1",
                              "SELECT * FROM `new_aq` WHERE flag = 1",
                              "SELECT name, CAST(value AS CHAR) FROM new_tags WHERE flag = 1",
                          }));
    } else {
        const auto sent = Sent();  // one query, one transaction
        ASSERT_EQ(sent.size(), 4u);
        EXPECT_EQ(sent[0].rfind("SELECT 0, CAST(id AS CHAR), CAST(value AS CHAR) FROM", 0), 0u);
        EXPECT_EQ(sent[2], "UPDATE new_m SET flag = 0 WHERE (id, value) IN ((10,1))");
    }

    // The same row while %M10 reads 0: written, then acknowledged.
    image_.bits[1][10] = 0;
    Request("new_m", 10, 1);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{true, 10, 1, 1}}));
    EXPECT_EQ(Cell("new_m", "flag", 10), "0");

    // Outside the read range (1..48) the image proves nothing: %M100 and
    // %R200 are written although their image cells hold the requested value.
    image_.words[1][200] = 7;
    config_.areaEnabled[snp::kR] = true;
    Request("new_m", 100, 0);
    Request("new_r", 200, 7);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes,
              (std::vector<W>{{true, 10, 1, 1}, {true, 100, 0, 1}, {false, 200, 7, 1}}));
    EXPECT_EQ(Cell("new_m", "flag", 100), "0");
    EXPECT_EQ(Cell("new_r", "flag", 200), "0");
}

TEST_P(WriteQueueTest, RequestsAreWrittenAsTheControllerTakesThem) {
    // Any non-zero bit request is True.
    Request("new_q", 3, 5);
    // A disabled word area is written without comparison, every time.
    image_.words[0][2] = 0xFFFF;
    Request("new_ai", 2, -1);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{true, 3, 1, 2}, {false, 2, 0xFFFF, 0}}));
    EXPECT_EQ(Count("new_q", "flag <> 0"), 0);
    EXPECT_EQ(Count("new_ai", "flag <> 0"), 0);

    Request("new_ai", 2, -1);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    ASSERT_EQ(writer_.writes.size(), 3u);
    EXPECT_EQ(writer_.writes[2], (W{false, 2, 0xFFFF, 0}));

    // An enabled word area compares the signed image value.
    config_.areaEnabled[snp::kR] = true;
    image_.words[1][7] = static_cast<uint16_t>(-300);
    Request("new_r", 7, -300);
    Request("new_r", 8, -300);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    ASSERT_EQ(writer_.writes.size(), 4u);
    EXPECT_EQ(writer_.writes[3], (W{false, 8, static_cast<uint16_t>(-300), 1}));
    EXPECT_EQ(Count("new_r", "flag <> 0"), 0);

    // Another program moves a column: the rows are still read by name.
    ASSERT_TRUE(other_->Exec("ALTER TABLE " + T("new_r") + " MODIFY value SMALLINT NOT NULL FIRST"))
        << other_->Error();
    Request("new_r", 3, 9);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    ASSERT_EQ(writer_.writes.size(), 5u);
    EXPECT_EQ(writer_.writes[4], (W{false, 3, 9, 1}));
    EXPECT_EQ(Cell("new_r", "flag", 3), "0");
}

TEST_P(WriteQueueTest, AFailedWriteStopsThatTableAndAllLaterTables) {
    RequestFiveRows();
    writer_.failAt = 2;  // new_m 1, new_r 1, then new_r 2 fails
    EnableLog();
    EXPECT_FALSE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes,
              (std::vector<W>{{true, 1, 1, 1}, {false, 1, 11, 1}, {false, 2, 22, 1}}));
    EXPECT_EQ(FiveFlags(), "0 0 1 1 1");
    if (EachValue()) {
        EXPECT_FALSE(SentContains("SELECT * FROM `new_aq` WHERE flag = 1"));
    }

    // Next cycle, the controller answering again: the rest is written.
    writer_.failAt = -1;
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes.size(), 6u);
    EXPECT_EQ(Count("new_r", "flag <> 0"), 0);
    EXPECT_EQ(Count("new_aq", "flag <> 0"), 0);
}

// A row the controller refused gets flag 3 and holds up nothing; it waits
// for its program to flag it again. A row whose value changed during the
// refused write still asks for the new value and stays pending.
TEST_P(WriteQueueTest, RefusedRowsAreMarkedAndTheQueueGoesOn) {
    RequestFiveRows();
    writer_.refuse = {1, 3};  // new_r 1, then new_r 3
    writer_.onWrite = [&](const W& w) {
        if (w.value == 33) other().Exec("UPDATE " + T("new_r") + " SET value=34 WHERE id=3");
    };
    EnableLog();
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes.size(), 5u);
    EXPECT_EQ(FiveFlags(), "0 3 0 1 0");
    EXPECT_EQ(Cell("new_r", "value", 1), "11");
    if (EachValue()) {
        EXPECT_TRUE(SentContains("UPDATE new_r SET flag = 3 WHERE id=1 AND value=11 AND flag = 1"));
    } else {
        EXPECT_TRUE(SentContains(
            "UPDATE new_r SET flag = 3 WHERE flag = 1 AND (id, value) IN ((1,11),(3,33))"));
    }

    // Not tried again until flagged anew.
    writer_.refuse.clear();
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    ASSERT_EQ(writer_.writes.size(), 6u);
    EXPECT_EQ(writer_.writes[5], (W{false, 3, 34, 1}));
    Request("new_r", 1, 11);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    ASSERT_EQ(writer_.writes.size(), 7u);
    EXPECT_EQ(writer_.writes[6], (W{false, 1, 11, 1}));
    EXPECT_EQ(Count("new_r", "flag <> 0"), 0);
}

TEST_P(WriteQueueTest, ATableWhoseSelectFailsIsSkipped) {
    ASSERT_TRUE(other().Exec("DROP TABLE " + T("new_m")));
    Request("new_q", 4, 1);
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{true, 4, 1, 2}}));
    EXPECT_EQ(Cell("new_q", "flag", 4), "0");
}

TEST_P(WriteQueueTest, ARequestChangedDuringItsWriteStaysFlaggedWithTheNewValue) {
    Request("new_r", 7, 100);
    writer_.onWrite = [&](const W& w) {
        if (w.value == 100)
            other().Exec("UPDATE " + T("new_r") + " SET value=99, flag=1 WHERE id=7");
    };
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(Cell("new_r", "flag", 7), "1");
    EXPECT_EQ(Cell("new_r", "value", 7), "99");

    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{false, 7, 100, 1}, {false, 7, 99, 1}}));
    EXPECT_EQ(Cell("new_r", "flag", 7), "0");
}

TEST_P(WriteQueueTest, MalformedRowsAreRejectedAndTheQueueGoesOn) {
    config_.areaEnabled[snp::kM] = true;
    // Rows the program never created: ids past the image.
    ASSERT_TRUE(other().Exec("INSERT INTO " + T("new_m") + " VALUES(9000,1,1)"));
    ASSERT_TRUE(other().Exec("INSERT INTO " + T("new_r") + " VALUES(9000,5,1)"));
    ASSERT_TRUE(other().Exec("UPDATE " + T("new_r") + " SET flag=1 WHERE id=4"));
    // Tables altered by another program: texts that are not integers.
    ASSERT_TRUE(other().Exec("ALTER TABLE " + T("new_aq") + " MODIFY value VARCHAR(10) NOT NULL"));
    ASSERT_TRUE(other().Exec("UPDATE " + T("new_aq") + " SET value='abc', flag=1 WHERE id=4"));
    ASSERT_TRUE(other().Exec("ALTER TABLE " + T("new_ai") + " MODIFY id VARCHAR(10) NOT NULL"));
    ASSERT_TRUE(other().Exec("INSERT INTO " + T("new_ai") + " VALUES('x''1',3,1)"));
    Request("new_aq", 5, 7);
    EnableLog();

    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{false, 4, 0, 1}, {false, 5, 7, 2}}));
    EXPECT_EQ(Cell("new_m", "flag", 9000), "2");
    EXPECT_EQ(Cell("new_r", "flag", 9000), "2");
    EXPECT_EQ(Cell("new_aq", "flag", 4), "2");
    EXPECT_EQ(other().Scalar("SELECT flag FROM " + T("new_ai") + " WHERE id='x''1'"), "2");
    EXPECT_TRUE(SentContains("UPDATE new_r SET flag = 2 WHERE id=9000 AND value=5 AND flag = 1"));
    EXPECT_TRUE(
        SentContains("UPDATE new_ai SET flag = 2 WHERE CAST(id AS CHAR) = "
                     "CAST('x\\'1' AS BINARY) AND value=3 AND flag = 1"));

    // Rejected rows are not seen again.
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_EQ(writer_.writes, (std::vector<W>{{false, 4, 0, 1}, {false, 5, 7, 2}}));
}

TEST_P(WriteQueueTest, NothingIsServedWhileTheDatabaseDoesNotAnswer) {
    Request("new_m", 2, 1);
    EnableLog();
    flags_.dbAlive = 0;
    EXPECT_TRUE(mirror_.ServeWriteQueue());
    EXPECT_TRUE(writer_.writes.empty());
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Cell("new_m", "flag", 2), "1");
}

INSTANTIATE_TEST_SUITE_P(Forms, WriteQueueTest, ::testing::Values(true, false), FormName);

}  // namespace
}  // namespace tarnlight::db::test
