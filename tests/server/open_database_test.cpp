// OPEN DATABASE over the wire: passwords, unknown names, what gets opened.
#include <gtest/gtest.h>

#include <fstream>
#include <sqlite3.h>
#include <string>

#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::RawClient;
using dorvd_test::TestServer;

constexpr int kOk = 0;
constexpr int kUnknownDatabase = 201;
constexpr int kWrongPassword = 202;
constexpr int kSyntax = 203;

std::string first_field(RawClient& client, const std::string& query) {
    const auto reply = client.exec(query);
    if (reply.status != 0) return "status " + std::to_string(reply.status) + ": " + reply.data;
    const std::string data = client.statement('F').data;
    return data.substr(0, data.find('\0'));
}

struct OpenCase {
    const char* statement;
    int status;
    const char* explanation_part;
};

class OpenDatabase : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenDatabase, AnswersAndExplains) {
    const OpenCase& c = GetParam();
    TestServer server;
    RawClient client = server.connect();
    const auto reply = client.exec(c.statement);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, c.status) << reply.data;
    const std::string explanation = client.explain().data;
    EXPECT_NE(explanation.find(c.explanation_part), std::string::npos) << explanation;
    if (c.status != kOk) {
        // Nothing was opened.
        EXPECT_EQ(first_field(client, "SELECT count(*) FROM customers"),
                  "status 1: no such table: customers");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenDatabase,
    ::testing::Values(
        OpenCase{"OPEN DATABASE 'sample'", kOk, "Databases open: sample."},
        OpenCase{"open database 'secret' as 'geheim'", kOk, "Databases open: secret."},
        OpenCase{"Open Database \"secret\" As \"geheim\"", kOk, "secret"},
        OpenCase{"OPEN DATABASE 'sample' AS 'not needed'", kOk, "sample"},
        OpenCase{"OPEN DATABASE 'secret'", kWrongPassword, "Wrong password for database 'secret'"},
        OpenCase{"OPEN DATABASE 'secret' AS 'GEHEIM'", kWrongPassword, "secret"},
        OpenCase{"OPEN DATABASE 'nosuch'", kUnknownDatabase, "Unknown database 'nosuch'"},
        OpenCase{"OPEN DATABASE '../sample'", kUnknownDatabase, "Unknown database '../sample'"},
        OpenCase{"OPEN DATABASE 'sample', 'secret' AS 'wrong'", kWrongPassword, "secret"},
        OpenCase{"OPEN DATABASE", kSyntax, "database name expected"},
        OpenCase{"OPEN DATABASE 'sample' AS", kSyntax, "password after AS"},
        OpenCase{"OPEN DATABASE 'sample", kSyntax, "unterminated quote"}));

TEST(OpenDatabase, BeforeAnyOpenStatementsUseAScratchDatabase) {
    TestServer server;
    RawClient client = server.connect();
    EXPECT_EQ(first_field(client, "SELECT * FROM customers"), "status 1: no such table: customers");
    ASSERT_EQ(client.exec("CREATE TABLE scratch(x)").status, kOk);
    ASSERT_EQ(client.exec("INSERT INTO scratch VALUES (5)").status, kOk);
    EXPECT_EQ(first_field(client, "SELECT x FROM scratch"), "N5");
}

TEST(OpenDatabase, OpensSeveralAndAddressesThemWithAndWithoutTheirNames) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("OPEN DATABASE 'secret' AS 'geheim', 'sample'").status, kOk);
    EXPECT_EQ(first_field(client, "SELECT count(*) FROM customers"), "N6");
    EXPECT_EQ(first_field(client, "SELECT count(*) FROM sample.customers"), "N6");
    EXPECT_EQ(first_field(client, "SELECT count(*) FROM salaries"), "N3");
    EXPECT_EQ(first_field(client, "SELECT count(*) FROM secret.salaries"), "N3");
    // Opening one again changes nothing.
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, kOk);
    EXPECT_EQ(client.explain().data, "Databases open: secret, sample.");

    // A new table lands in the first database opened, in its file.
    ASSERT_EQ(client.exec("CREATE TABLE notes(text TEXT)").status, kOk);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((server.data_dir() / "secret.db").c_str(), &db, SQLITE_OPEN_READONLY,
                              nullptr),
              SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema WHERE name = 'notes'", -1,
                                 &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 1);
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

TEST(OpenDatabase, ReadsThePasswordFileAtEveryOpen) {
    TestServer server;
    {
        std::ofstream passwords(server.data_dir() / "passwords");
        passwords << "# comment\n\nthis line has no colon\nsample:pw with blank\r\n";
    }
    RawClient client = server.connect();
    EXPECT_EQ(client.exec("OPEN DATABASE 'sample'").status, kWrongPassword);
    // The password file no longer lists secret: it opens without one.
    EXPECT_EQ(client.exec("OPEN DATABASE 'secret'").status, kOk);
    EXPECT_EQ(client.exec("OPEN DATABASE 'sample' AS 'pw with blank'").status, kOk);
    EXPECT_EQ(first_field(client, "SELECT count(*) FROM sample.customers"), "N6");
}

TEST(OpenDatabase, AnUnreadablePasswordFileOpensNothing) {
    TestServer server;
    std::filesystem::remove(server.data_dir() / "passwords");
    std::filesystem::create_directory(server.data_dir() / "passwords");
    RawClient client = server.connect();
    const auto reply = client.exec("OPEN DATABASE 'sample'");
    EXPECT_EQ(reply.status, 207);
    EXPECT_NE(reply.data.find("password file"), std::string::npos) << reply.data;
    EXPECT_EQ(first_field(client, "SELECT count(*) FROM customers"),
              "status 1: no such table: customers");
}

TEST(OpenDatabase, AFileThatIsNoDatabaseIsRefusedAndTheConnectionGoesOn) {
    TestServer server;
    {
        std::ofstream junk(server.data_dir() / "junk.db");
        junk << std::string(4096, 'j');
    }
    RawClient client = server.connect();
    const auto reply = client.exec("OPEN DATABASE 'junk'");
    EXPECT_EQ(reply.status, 26);
    EXPECT_NE(reply.data.find("Cannot open database 'junk'"), std::string::npos) << reply.data;
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, kOk);
    EXPECT_EQ(client.exec("OPEN DATABASE 'junk'").status, 26);
    EXPECT_EQ(first_field(client, "SELECT count(*) FROM customers"), "N6");
}

TEST(OpenDatabase, ASecondServerStartKeepsTheDataFolderAsItIs) {
    dorvd_test::TempFolder folder;
    {
        std::ofstream passwords(folder.path() / "passwords");
        passwords << "own:pw\n";
        std::ofstream db(folder.path() / "own.db");
    }
    TestServer server([&](auto& o) { o.data_dir = folder.path(); });
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "sample.db"));
    std::ifstream passwords(folder.path() / "passwords");
    std::string content((std::istreambuf_iterator<char>(passwords)),
                        std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "own:pw\n");
    RawClient client = server.connect();
    EXPECT_EQ(client.exec("OPEN DATABASE 'own' AS 'pw'").status, kOk);
}

} // namespace
