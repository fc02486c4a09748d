// MirrorConnection against the private server of the test run.
#include <gtest/gtest.h>

#include "db/mirror_connection.h"
#include "tests/support/fake_mysql_server.h"
#include "tests/support/private_db.h"

namespace tarnlight::db {
namespace {

using test::FakeMysqlServer;
using test::PrivateDbAvailable;
using test::PrivateDbParams;

constexpr const char* kPassword = "tl-Secret-4711";

ConnectionParams FakeServerParams(const FakeMysqlServer& fake, const DbTls& tls) {
    return {"127.0.0.1", "root", kPassword, static_cast<unsigned>(fake.port()), 2, 2, tls};
}

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

// Whoever answers without TLS in its greeting, a man in the middle that
// strips it included, gets not a byte (not even the user name) from the
// modes that demand TLS.
TEST_F(ConnectionTest, ModesThatDemandTlsSendNothingToAServerWithout) {
    const std::string dir = test::PrivateDbDir() + "-conn-fake";
    ASSERT_TRUE(test::MakeTlsServerFiles(dir));
    for (const SslMode mode : {SslMode::Required, SslMode::VerifyCa, SslMode::VerifyIdentity}) {
        FakeMysqlServer fake(FakeMysqlServer::Login::Refuse);
        MirrorConnection connection;
        EXPECT_FALSE(connection.Open(FakeServerParams(fake, {mode, dir + "/ca.pem", "", ""})));
        EXPECT_EQ(fake.Received().size(), 0u) << SslModeName(mode);
        EXPECT_NE(connection.Error().find("SSL is required, but the server does not support it"),
                  std::string::npos)
            << connection.Error();
    }
}

// A server that asks for the cleartext-password login, in its greeting or by
// a switch after the login packet, never gets the password without TLS.
TEST_F(ConnectionTest, ThePasswordNeverGoesOutInClearText) {
    for (const SslMode mode : {SslMode::Disabled, SslMode::Preferred})
        for (const char* greeting : {"mysql_native_password", "mysql_clear_password"}) {
            FakeMysqlServer fake(FakeMysqlServer::Login::AskForClearPassword, greeting);
            MirrorConnection connection;
            EXPECT_FALSE(connection.Open(FakeServerParams(fake, {mode, "", "", ""})));
            const std::string& received = fake.Received();
            EXPECT_EQ(received.find(kPassword), std::string::npos) << SslModeName(mode) << greeting;
            // The switch was asked for after a scramble login that names the user.
            if (std::string(greeting) == "mysql_native_password") {
                EXPECT_NE(received.find("root"), std::string::npos);
            }
            EXPECT_NE(connection.Error().find("need sslMode VERIFY_CA or VERIFY_IDENTITY"),
                      std::string::npos)
                << connection.Error();
        }
}

// A server of its own that takes TLS sessions only, with a certificate for
// 127.0.0.1 from a CA of the test's own: each mode checks what it says and
// no more (REQUIRED takes a certificate nobody can verify, VERIFY_CA one for
// another host name).
TEST_F(ConnectionTest, EachTlsModeChecksTheCertificateAsItSays) {
    test::OwnServer server("conn-tls", true);
    ASSERT_TRUE(server.ok()) << "see " << server.dir() << "/error.log";
    const std::string ca = server.dir() + "/ca.pem", otherCa = server.dir() + "/other-ca.pem";
    struct Case {
        const char* host;
        DbTls tls;
        bool opens;
    };
    for (const auto& [host, tls, opens] :
         std::vector<Case>{{"localhost", {SslMode::Preferred, "", "", ""}, true},
                           {"localhost", {SslMode::Required, "", "", ""}, true},
                           {"localhost", {SslMode::VerifyCa, ca, "", ""}, true},
                           {"127.0.0.1", {SslMode::VerifyCa, otherCa, "", ""}, false},
                           {"localhost", {SslMode::VerifyIdentity, ca, "", ""}, false},
                           {"127.0.0.1", {SslMode::VerifyIdentity, ca, "", ""}, true}}) {
        ConnectionParams params = server.params();
        params.host = host;
        params.tls = tls;
        MirrorConnection connection;
        EXPECT_EQ(connection.Open(params), opens) << host << " " << SslModeName(tls.sslMode) << " "
                                                  << tls.sslCa << ": " << connection.Error();
        if (opens) {
            EXPECT_EQ(connection.TlsDescription().rfind("TLSv1.", 0), 0u);
        }
    }
}

}  // namespace
}  // namespace tarnlight::db
