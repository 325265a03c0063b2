// Executing statements: statuses, messages and explanations.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::RawClient;
using dorvd_test::TestServer;

struct ExecCase {
    std::string statement;
    int status;
    std::string message_part; // a part of the message; "" = no message at all
};

// Run in order on one connection: later cases rely on earlier ones.
const ExecCase kSequence[] = {
    {"CREATE TABLE t(id INTEGER, name TEXT)", 0, ""},
    {"INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')", 0, "3 rows affected"},
    {"UPDATE t SET name = 'x' WHERE id = 2", 0, "1 row affected"},
    {"DELETE FROM t WHERE id > 5", 0, "0 rows affected"},
    {"SELECT * FROM t", 0, ""},
    {"", 0, ""},
    {"  -- nothing but a comment", 0, ""},
    {"SELECT * FROM nothere", 1, "no such table: nothere"},
    {"SELEKT 1", 1, "syntax error"},
    {"INSERT INTO t VALUES (4, 'd'); DROP TABLE t", 205, "one statement"},
    {"SELECT abs(-9223372036854775807 - 1)", 1, "integer overflow"},
    {"SELECT 1\0 DROP TABLE t"s, 206, "zero byte"},
    {"ATTACH 'other.db' AS other", 23, "authoriz"},
    {"VACUUM INTO 'copy.db'", 23, "authoriz"},
    {"DETACH DATABASE main", 23, "authoriz"},
    {"SELECT count(*) FROM t", 0, ""},
};

TEST(Statements, AnswerStatusAndMessageAndExplainTheLastStatus) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_TRUE(client.connected());

    const auto first = client.explain();
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.data, "No statement executed yet.");

    for (const ExecCase& c : kSequence) {
        SCOPED_TRACE(c.statement);
        const auto reply = client.exec(c.statement);
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.status, c.status);
        if (c.message_part.empty()) {
            EXPECT_EQ(reply.data, "");
        } else {
            EXPECT_NE(reply.data.find(c.message_part), std::string::npos) << reply.data;
        }
        const auto explanation = client.explain();
        ASSERT_TRUE(explanation.ok);
        EXPECT_EQ(explanation.status, 0);
        EXPECT_FALSE(explanation.data.empty());
        // A failure's explanation is its message.
        if (c.status > 0) {
            EXPECT_EQ(explanation.data, reply.data);
        }
    }
    // Neither refused statement touched the table or the folder.
    const auto count = client.exec("SELECT count(*) FROM t");
    ASSERT_EQ(count.status, 0);
    EXPECT_EQ(client.statement('F').data, "N3"s + '\0');
    EXPECT_FALSE(std::filesystem::exists(server.data_dir() / "copy.db"));
    EXPECT_FALSE(std::filesystem::exists(server.data_dir() / "other.db"));
}

TEST(Statements, ExplainNamesWhatSucceeded) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("CREATE TABLE t(x)").status, 0);
    EXPECT_EQ(client.explain().data, "Statement executed.");
    ASSERT_EQ(client.exec("SELECT 1 UNION ALL SELECT 2").status, 0);
    // A query's rows are read as the client asks for them: their number is not known yet.
    EXPECT_EQ(client.explain().data, "Statement executed; rows pending, read as asked for.");
    ASSERT_EQ(client.exec("SELECT 1 WHERE 0").status, 0);
    EXPECT_EQ(client.explain().data, "Statement executed; 0 rows pending.");
    ASSERT_EQ(client.exec("").status, 0);
    EXPECT_EQ(client.explain().data, "Empty statement: nothing executed.");
}

TEST(Statements, TakeTheLongestTextABlockCarries) {
    TestServer server;
    RawClient client = server.connect();
    // 1018 bytes of statement fill a request block of 1024 bytes.
    const std::string literal(1018 - std::string("SELECT ''").size(), 'q');
    const std::string statement = "SELECT '" + literal + "'";
    ASSERT_EQ(statement.size(), 1018u);
    ASSERT_EQ(client.exec(statement).status, 0);
    EXPECT_EQ(client.statement('F').data, "S" + literal + '\0');
}

TEST(Statements, EachConnectionHasItsOwnScratchDatabaseAndResult) {
    TestServer server;
    RawClient one = server.connect();
    RawClient two = server.connect();
    ASSERT_EQ(one.exec("CREATE TABLE mine(x)").status, 0);
    EXPECT_EQ(two.exec("SELECT * FROM mine").status, 1);
    ASSERT_EQ(one.exec("SELECT 'one'").status, 0);
    ASSERT_EQ(two.exec("SELECT 'two'").status, 0);
    EXPECT_EQ(one.statement('F').data, "Sone"s + '\0');
    EXPECT_EQ(two.statement('F').data, "Stwo"s + '\0');
}

} // namespace
