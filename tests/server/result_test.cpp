// Reading a query result: header line and rows, value records, end of data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "result_reading.h"
#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::kEndOfData;
using dorvd_test::RawClient;
using dorvd_test::record_fields;
using dorvd_test::run;
using dorvd_test::TestServer;

TEST(Lines, HeaderAndRowsShareOneColumnLayout) {
    TestServer server;
    RawClient client = server.connect();
    run(client, "CREATE TABLE people(name TEXT, city TEXT, age INTEGER)");
    run(client, "INSERT INTO people VALUES ('Al', 'Rome', 7), ('Beatrice', 'Oslo', NULL), "
                "('Cy', 'Kristiansand', 101)");
    run(client, "SELECT name, city, age FROM people ORDER BY name");

    const auto header = client.statement('H', "\x02");
    ASSERT_EQ(header.status, 0);
    EXPECT_EQ(header.data, "name     city         age");
    const std::vector<std::string> expected_rows = {
        "Al       Rome         7",
        "Beatrice Oslo         ",
        "Cy       Kristiansand 101",
    };
    std::vector<std::string> rows;
    for (;;) {
        const auto row = client.statement('R', "\0"s);
        ASSERT_TRUE(row.ok);
        if (row.status == kEndOfData) {
            EXPECT_EQ(row.data, "");
            break;
        }
        ASSERT_EQ(row.status, 0);
        rows.push_back(row.data);
        ASSERT_LE(rows.size(), expected_rows.size());
    }
    EXPECT_EQ(rows, expected_rows);

    // The key cut the way the client's selection does it: at the offset of
    // the column name in the header, as many characters as the key needs.
    const size_t city = header.data.find("city");
    const std::vector<std::string> cities = {"Rome", "Oslo", "Kristiansand"};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].substr(city, cities[i].size()), cities[i]);
    }

    // The header can be asked again; it does not move the row cursor.
    EXPECT_EQ(client.statement('H', "\x00"s).data, header.data);
    EXPECT_EQ(client.statement('R', "\x00"s).status, kEndOfData);
}

TEST(Lines, ShowLineBreaksInValuesAsBlanks) {
    TestServer server;
    RawClient client = server.connect();
    run(client, "SELECT 'two' || char(10) || 'lines' AS v, 'tab' || char(9) AS w");
    EXPECT_EQ(client.statement('R', "\0"s).data, "two lines tab ");
    // A value record keeps the value as it is.
    run(client, "SELECT 'two' || char(10) || 'lines' AS v");
    EXPECT_EQ(client.statement('F').data, "Stwo\nlines"s + '\0');
}

TEST(ValueRecords, TypeEachFieldAndShowNullAsEmptyText) {
    TestServer server;
    RawClient client = server.connect();
    run(client, "CREATE TABLE v(t TEXT, i INTEGER, r REAL, d DATE, dt DATETIME, tm TIME, "
                "n TEXT, b BLOB, odd DATE, num_in_date DATE)");
    run(client, "INSERT INTO v VALUES ('x', 42, 2.5, '1996-03-01', '1996-12-08 09:05:03', "
                "'09:05:03', NULL, x'00FF', 'soon', 19960301)");
    run(client, "SELECT * FROM v");

    const auto header = client.statement('V');
    ASSERT_EQ(header.status, 0);
    EXPECT_EQ(record_fields(header.data),
              (std::vector<std::string>{"St", "Si", "Sr", "Sd", "Sdt", "Stm", "Sn", "Sb", "Sodd",
                                        "Snum_in_date"}));

    const auto row = client.statement('F');
    ASSERT_EQ(row.status, 0);
    EXPECT_EQ(record_fields(row.data),
              (std::vector<std::string>{"Sx", "N42", "N2.5", "D19960301000000", "T19961208090503",
                                        "T19700101090503", "S", "S00FF", "Ssoon", "N19960301"}));

    EXPECT_EQ(client.statement('F').status, kEndOfData);
    // Lines show dates as stored.
    run(client, "SELECT d, dt FROM v");
    EXPECT_EQ(client.statement('R', "\0"s).data, "1996-03-01 1996-12-08 09:05:03");
}

TEST(ValueRecords, TypeExpressionsByTheirValues) {
    TestServer server;
    RawClient client = server.connect();
    run(client, "SELECT 1 + 1 AS two, 'a' || 'b' AS ab, NULL AS nil, 0.1 * 3 AS r");
    EXPECT_EQ(record_fields(client.statement('F').data),
              (std::vector<std::string>{"N2", "Sab", "S", "N0.3"}));
}

TEST(EndOfData, RowsThenMinusNineAgainAndAgain) {
    TestServer server;
    RawClient client = server.connect();
    run(client, "SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3");
    // Line and value requests share one cursor.
    EXPECT_EQ(client.statement('R', "\0"s).data, "1");
    EXPECT_EQ(client.statement('F').data, "N2"s + '\0');
    EXPECT_EQ(client.statement('R', "\0"s).data, "3");
    for (int i = 0; i < 2; ++i) {
        const auto line = client.statement('R', "\0"s);
        EXPECT_EQ(line.status, kEndOfData);
        EXPECT_EQ(line.blocks.size(), 1u);
        const auto record = client.statement('F');
        EXPECT_EQ(record.status, kEndOfData);
        EXPECT_EQ(record.data, "");
    }
    EXPECT_NE(client.explain().data.find("No further row"), std::string::npos);
}

TEST(EndOfData, AnEmptyResultHasAHeaderButNoRow) {
    TestServer server;
    RawClient client = server.connect();
    run(client, "CREATE TABLE t(alpha INTEGER, beta TEXT)");
    run(client, "SELECT * FROM t");
    EXPECT_EQ(client.statement('H', "\0"s).data, "alpha beta");
    EXPECT_EQ(record_fields(client.statement('V').data),
              (std::vector<std::string>{"Salpha", "Sbeta"}));
    EXPECT_EQ(client.statement('R', "\0"s).status, kEndOfData);
}

TEST(EndOfData, WithoutAPendingResultEveryResultRequestIsMinusNine) {
    TestServer server;
    RawClient client = server.connect();
    const auto ask_all = [&](const char* after) {
        SCOPED_TRACE(after);
        for (const auto& [code, argument] : {std::pair{'H', "\0"s}, std::pair{'R', "\0"s},
                                             std::pair{'V', ""s}, std::pair{'F', ""s}}) {
            const auto reply = client.statement(code, argument);
            ASSERT_TRUE(reply.ok);
            EXPECT_EQ(reply.status, kEndOfData) << code;
            EXPECT_EQ(reply.data, "") << code;
        }
        EXPECT_NE(client.explain().data.find("No result pending"), std::string::npos);
    };
    ask_all("before any statement");
    run(client, "CREATE TABLE t(x)");
    ask_all("after a statement without rows");
    run(client, "SELECT 1");
    ASSERT_EQ(client.exec("SELECT * FROM nothere").status, 1);
    ask_all("after a failed query, which drops the earlier result");
}

// Small blocks split every reply; the data must be the same as in big ones.
class SmallBlocks : public ::testing::TestWithParam<size_t> {};

TEST_P(SmallBlocks, CarryTheSameDataAsOneBigBlock) {
    const size_t block_size = GetParam();
    TestServer small([block_size](auto& o) { o.max_block = block_size; });
    TestServer big;
    const std::vector<std::string> setup = {
        "CREATE TABLE w(name TEXT, amount REAL, day DATE)",
        "INSERT INTO w VALUES ('a rather long name that spans blocks', 1234.5, '1996-03-01'), "
        "('x', NULL, '2024-02-29')",
        "SELECT * FROM w",
    };
    RawClient a = small.connect();
    RawClient b = big.connect();
    for (const std::string& statement : setup) {
        run(a, statement);
        run(b, statement);
    }
    const std::vector<std::pair<char, std::string>> requests = {
        {'H', "\0"s}, {'V', ""}, {'R', "\0"s}, {'F', ""}, {'F', ""}, {'M', "\0"s}};
    for (const auto& [code, argument] : requests) {
        SCOPED_TRACE(std::string(1, code));
        const auto split = a.statement(code, argument);
        const auto whole = b.statement(code, argument);
        ASSERT_TRUE(split.ok);
        ASSERT_TRUE(whole.ok);
        EXPECT_EQ(split.status, whole.status);
        EXPECT_EQ(split.data, whole.data);
        EXPECT_EQ(whole.blocks.size(), 1u);
        const size_t room = block_size - 6;
        EXPECT_EQ(split.blocks.size(), std::max<size_t>(1, (whole.data.size() + room - 1) / room));
        for (const auto& block : split.blocks)
            EXPECT_LE(block.length, block_size);
    }
    // A failure's message is split too.
    const auto failure = a.exec("SELECT * FROM a_table_that_is_not_there");
    EXPECT_EQ(failure.status, 1);
    EXPECT_EQ(failure.data, "no such table: a_table_that_is_not_there");
    EXPECT_GT(failure.blocks.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmallBlocks, ::testing::Values(7, 8, 16));

// Value records need no memory for the whole result; the line layout does.
TEST(MemoryBound, RefusesLinesOfAResultTooLargeAndKeepsServing) {
    TestServer server([](auto& o) { o.max_result_bytes = 64 * 1024; });
    RawClient client = server.connect();
    // Without a LIMIT this query never ends: only the bound stops the lines.
    run(client, "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c");
    EXPECT_EQ(client.statement('F').data, "N1"s + '\0');
    EXPECT_EQ(client.statement('F').data, "N2"s + '\0');
    const auto reply = client.statement('H', "\x02");
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 204);
    EXPECT_EQ(reply.data, "");
    const std::string why = client.explain().data;
    EXPECT_NE(why.find("65536 bytes"), std::string::npos) << why;
    EXPECT_NE(why.find("value records"), std::string::npos) << why;
    // The refused result is gone.
    EXPECT_EQ(client.statement('F').status, kEndOfData);
    EXPECT_EQ(client.statement('R', "\0"s).status, kEndOfData);

    run(client, "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT 100) "
                "SELECT sum(x) FROM c");
    EXPECT_EQ(client.statement('F').data, "N5050"s + '\0');
}

// A statement that writes and returns rows is read to its end at once;
// rows past the result bound are dropped and its changes stand.
TEST(WritingStatements, ReturnTheirRowsReadWholeAndBounded) {
    TestServer server([](auto& o) { o.max_result_bytes = 64 * 1024; });
    RawClient client = server.connect();
    run(client, "CREATE TABLE t(id INTEGER PRIMARY KEY, b TEXT)");
    const auto small = client.exec("INSERT INTO t(b) VALUES ('x'), ('y'), ('z') RETURNING id");
    ASSERT_EQ(small.status, 0);
    for (const char* expected : {"N1", "N2", "N3"})
        EXPECT_EQ(client.statement('F').data, expected + "\0"s);
    EXPECT_EQ(client.statement('F').status, kEndOfData);
    const auto large = client.exec("INSERT INTO t(b) WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL "
                                   "SELECT i + 1 FROM c WHERE i < 100) SELECT printf('%.*c', 2000, "
                                   "'r') FROM c RETURNING b");
    EXPECT_EQ(large.status, 204) << large.data;
    run(client, "SELECT count(*) FROM t");
    EXPECT_EQ(client.statement('F').data, "N103"s + '\0');
}

} // namespace
