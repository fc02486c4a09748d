// MirrorConnection against the private server of the test run.
#include <gtest/gtest.h>

#include "db/mirror_connection.h"
#include "tests/support/private_db.h"

namespace tarnlight::db {
namespace {

using test::PrivateDbAvailable;
using test::PrivateDbParams;

class ConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!PrivateDbAvailable()) GTEST_SKIP() << "TARNLIGHT_TEST_DB_DIR not set: no test server";
    }
};

TEST_F(ConnectionTest, OpensQueriesAndCloses) {
    MirrorConnection connection;
    ASSERT_TRUE(connection.Open(PrivateDbParams())) << connection.Error();
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_TRUE(connection.Ping());
    EXPECT_NE(connection.ThreadId(), 0u);

    Rows rows;
    ASSERT_TRUE(connection.FetchRows("SELECT 1, NULL, 'a''b'", rows)) << connection.Error();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "NULL", "a'b"}));

    // A statement without a result set: accepted, no rows, no error.
    StoredResult result;
    EXPECT_TRUE(connection.Select("DO 1", result));
    EXPECT_FALSE(result.HasResultSet());
    EXPECT_FALSE(result.Next());

    // A query that returns rows through Query() leaves the session usable.
    EXPECT_TRUE(connection.Query("SELECT 1"));
    EXPECT_TRUE(connection.Query("DO 2"));

    EXPECT_FALSE(connection.Query("THIS IS NOT SQL"));
    EXPECT_NE(connection.Error().find("SQL syntax"), std::string::npos) << connection.Error();
    EXPECT_FALSE(connection.SelectDatabase("tl_database_that_does_not_exist"));
    EXPECT_NE(connection.Error().find("tl_database_that_does_not_exist"), std::string::npos);

    connection.Close();
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(connection.Ping());
    EXPECT_FALSE(connection.Query("DO 1"));
    connection.Close();  // safe twice
}

// The test server's socket is not at the library's default path: only a
// TCP connection to the given port reaches it.
TEST_F(ConnectionTest, LocalhostWithAPortConnectsOverTcpToThatPort) {
    ConnectionParams params = PrivateDbParams();
    params.host = "localhost";
    MirrorConnection connection;
    ASSERT_TRUE(connection.Open(params)) << connection.Error();
    Rows rows;
    ASSERT_TRUE(connection.FetchRows("SELECT @@port", rows)) << connection.Error();
    EXPECT_EQ(rows[0][0], std::to_string(params.port));
}

TEST_F(ConnectionTest, FailedOpenKeepsTheErrorAndClosesTheHandle) {
    ConnectionParams params = PrivateDbParams();
    params.password = "wrong password";
    MirrorConnection connection;
    EXPECT_FALSE(connection.Open(params));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_NE(connection.Error().find("Access denied"), std::string::npos) << connection.Error();

    params = PrivateDbParams();
    params.port = 1;  // nothing listens there
    params.connectTimeoutSeconds = 2;
    EXPECT_FALSE(connection.Open(params));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(connection.Error().empty());
}

TEST_F(ConnectionTest, EscapesStringLiterals) {
    MirrorConnection connection;
    EXPECT_EQ(connection.Escape("x', error=1 -- "), "x\\', error=1 -- ");  // without a session too
    ASSERT_TRUE(connection.Open(PrivateDbParams())) << connection.Error();
    const std::string nasty = std::string("a'b\"c\\d\0e", 9);
    Rows rows;
    ASSERT_TRUE(connection.FetchRows("SELECT HEX('" + connection.Escape(nasty) + "')", rows));
    EXPECT_EQ(rows[0][0], "61276222635C640065");
}

}  // namespace
}  // namespace tarnlight::db
