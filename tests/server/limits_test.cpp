// Bounds on one request: how long a statement runs, how large one value and
// the scratch database grow, and statements whose client has gone.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "log_capture.h"
#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::LogCapture;
using dorvd_test::RawClient;
using dorvd_test::TestServer;
using Clock = std::chrono::steady_clock;

// Counts for ever: no bound, no rows to collect.
constexpr const char* kEndless =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c";

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(StatementTimeout, StopsAnEndlessStatementWithAClearStatus) {
    TestServer server([](auto& o) { o.statement_timeout_s = 1; });
    RawClient client = server.connect();
    const auto start = Clock::now();
    const auto reply = client.exec(kEndless);
    const double took = seconds_since(start);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 209);
    EXPECT_NE(reply.data.find("longer than this server allows (1 s)"), std::string::npos)
        << reply.data;
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(client.explain().data, reply.data);
    // The connection goes on, and a short statement is not affected.
    ASSERT_EQ(client.exec("SELECT 1").status, 0);
    EXPECT_EQ(client.statement('F').data, "N1"s + '\0');
}

TEST(StatementTimeout, ALimitOfZeroLetsAStatementRunOnUntilItsClientLeaves) {
    LogCapture log;
    TestServer server([](auto& o) {
        o.statement_timeout_s = 0;
        o.max_connections = 1;
    });
    {
        RawClient client = server.connect();
        ASSERT_TRUE(client.send_block('S', "E "s + kEndless));
        // Past the default limit's smallest useful value: still running.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_EQ(log.text().find("status 209"), std::string::npos) << log.text();
    }
    EXPECT_TRUE(log.wait_for("the client closed the connection")) << log.text();
}

TEST(StatementTimeout, AStatementWhoseClientHasGoneIsStoppedAndItsSlotFreed) {
    LogCapture log;
    TestServer server([](auto& o) { o.max_connections = 1; });
    {
        RawClient client = server.connect();
        ASSERT_TRUE(client.send_block('S', "E "s + kEndless));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_TRUE(log.wait_for("The statement was stopped: the client closed the connection."))
        << log.text();
    // The only slot is free again long before the statement limit of 60 s.
    bool served = false;
    const auto start = Clock::now();
    while (!served && seconds_since(start) < 5.0) {
        RawClient next = server.connect();
        served = next.echo("next") == "next";
        if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(served);
}

struct TooBigCase {
    const char* statement;
    size_t max_result_bytes;
    const char* limit_text;
};

class ValueLength : public ::testing::TestWithParam<TooBigCase> {};

TEST_P(ValueLength, IsBoundedByTheResultBound) {
    const TooBigCase& c = GetParam();
    TestServer server([&](auto& o) { o.max_result_bytes = c.max_result_bytes; });
    RawClient client = server.connect();
    const auto start = Clock::now();
    const auto reply = client.exec(c.statement);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 18) << reply.data;
    EXPECT_NE(reply.data.find("string or blob too big"), std::string::npos) << reply.data;
    EXPECT_NE(reply.data.find(c.limit_text), std::string::npos) << reply.data;
    // Refused when the bound is reached (the unbounded server took seconds).
    EXPECT_LT(seconds_since(start), 3.0);
    ASSERT_EQ(client.exec("SELECT length(randomblob(1000))").status, 0);
    EXPECT_EQ(client.statement('F').data, "N1000"s + '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueLength,
    ::testing::Values(
        TooBigCase{"SELECT length(randomblob(400000000))", 16 * 1024 * 1024, "16777216 bytes"},
        TooBigCase{"SELECT length(zeroblob(400000000))", 16 * 1024 * 1024, "16777216 bytes"},
        TooBigCase{"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 20) "
                   "SELECT length(group_concat(hex(zeroblob(1000000)))) FROM c",
                   16 * 1024 * 1024, "16777216 bytes"},
        TooBigCase{"SELECT length(randomblob(2000000))", 1024 * 1024, "1048576 bytes"},
        TooBigCase{"SELECT length(replace(hex(zeroblob(600000)), '0', 'ab'))", 1024 * 1024,
                   "1048576 bytes"}));

class ScratchSize : public ::testing::TestWithParam<const char*> {};

// Fills the table with 100 KB values until the bound stops it.
TEST_P(ScratchSize, IsBoundedWithAClearStatus) {
    TestServer server([](auto& o) { o.max_scratch_bytes = 1024 * 1024; });
    RawClient client = server.connect();
    ASSERT_EQ(client.exec(GetParam()).status, 0);
    const auto reply = client.exec(
        "INSERT INTO big WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < 100) SELECT randomblob(100000) FROM c");
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 13) << reply.data;
    EXPECT_NE(reply.data.find("hold at most 1048576 bytes"), std::string::npos) << reply.data;
    // The statement was undone; the table takes what fits.
    ASSERT_EQ(client.exec("SELECT count(*) FROM big").status, 0);
    EXPECT_EQ(client.statement('F').data, "N0"s + '\0');
    EXPECT_EQ(client.exec("INSERT INTO big VALUES (randomblob(100000))").status, 0);
}

INSTANTIATE_TEST_SUITE_P(Tables, ScratchSize,
                         ::testing::Values("CREATE TABLE big(b BLOB)",
                                           "CREATE TEMP TABLE big(b BLOB)"));

// Sorts and the like spill to temporary files, which SQLite deletes as soon
// as it opens them: they are bounded together with the temporary database.
TEST(ScratchSize, BoundsTheTemporaryFiles) {
    TestServer server([](auto& o) { o.max_scratch_bytes = 1024 * 1024; });
    RawClient client = server.connect();
    const auto sorted = [&](int rows) {
        return client.exec("SELECT count(*) FROM (WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL "
                           "SELECT i + 1 FROM c WHERE i < " +
                           std::to_string(rows) +
                           ") SELECT randomblob(1000) AS b FROM c ORDER BY b)");
    };
    const auto reply = sorted(20000);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 13) << reply.data;
    EXPECT_NE(reply.data.find("temporary files"), std::string::npos) << reply.data;
    EXPECT_NE(reply.data.find("1048576 bytes"), std::string::npos) << reply.data;
    // The files of the failed sort were let go: a smaller one fits.
    ASSERT_EQ(sorted(500).status, 0);
    EXPECT_EQ(client.statement('F').data, "N500"s + '\0');
}

TEST(DatabaseSize, IsUnboundedUnlessGiven) {
    const auto fill = [](size_t bound) {
        TestServer server([&](auto& o) { o.max_database_bytes = bound; });
        RawClient client = server.connect();
        EXPECT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
        EXPECT_EQ(client.exec("CREATE TABLE fill(b BLOB)").status, 0);
        return client.exec("INSERT INTO fill WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT "
                           "i + 1 FROM c WHERE i < 40) SELECT randomblob(100000) FROM c");
    };
    EXPECT_EQ(fill(0).status, 0);
    const auto bounded = fill(1024 * 1024);
    EXPECT_EQ(bounded.status, 13) << bounded.data;
    EXPECT_NE(bounded.data.find("an opened database at most 1048576 bytes"), std::string::npos)
        << bounded.data;
}

// A row is bounded before any of it is converted, read as value records
// or as lines; a row within the bound is sent.
TEST(RowSize, IsBoundedBeforeItIsConverted) {
    TestServer server([](auto& o) { o.max_result_bytes = 1024 * 1024; });
    struct Case {
        const char* columns;
        char request;
        int status;
    };
    const Case cases[] = {
        {"hex(randomblob(300000)), hex(randomblob(300000))", 'F', 204},
        {"hex(randomblob(300000)), hex(randomblob(300000))", 'H', 204},
        {"randomblob(300000), randomblob(300000)", 'F', 204}, // two digits a byte
        {"hex(randomblob(200000)), hex(randomblob(200000))", 'F', 0},
        {"randomblob(200000)", 'H', 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.columns) + " " + c.request);
        RawClient client = server.connect();
        ASSERT_EQ(client.exec(std::string("SELECT ") + c.columns).status, 0);
        const auto reply = client.statement(c.request, c.request == 'H' ? "\0"s : ""s);
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.status, c.status);
        if (c.status != 0) {
            EXPECT_EQ(reply.data, "");
            EXPECT_NE(client.explain().data.find("A row of the result is larger than"),
                      std::string::npos);
        } else {
            const auto row = c.request == 'H' ? client.statement('R', "\0"s) : reply;
            EXPECT_GT(row.data.size(), 200000u);
        }
        ASSERT_EQ(client.exec("SELECT 1").status, 0);
        EXPECT_EQ(client.statement('F').data, "N1"s + '\0');
    }
}

TEST(ScratchSize, BoundsTheTemporaryDatabaseOnceADatabaseIsOpen) {
    TestServer server([](auto& o) { o.max_scratch_bytes = 1024 * 1024; });
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
    ASSERT_EQ(client.exec("CREATE TEMP TABLE big(b BLOB)").status, 0);
    const auto reply = client.exec(
        "INSERT INTO big WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < 100) SELECT randomblob(100000) FROM c");
    EXPECT_EQ(reply.status, 13) << reply.data;
}

} // namespace
