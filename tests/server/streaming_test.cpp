// Results read row by row: value records of any size, failures met while
// stepping, line requests mixed in, pipelined requests, and writers of the
// same database while a long read is under way.
#include <gtest/gtest.h>

#include <chrono>
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

std::string numbers_to(int last) {
    return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
           std::to_string(last) + ") ";
}

std::string row_text(int n) {
    return "row " + std::to_string(n) + " of a result larger than the bound";
}

// Status and data of one reply read after its request was sent ahead.
struct Answer {
    int status = 0;
    std::string data;
};

Answer read_answer(RawClient& client) {
    Answer answer;
    const auto blocks = client.read_reply();
    if (!blocks || blocks->empty()) {
        ADD_FAILURE() << "no reply";
        return answer;
    }
    for (size_t i = 0; i < blocks->size(); ++i) {
        const auto& block = (*blocks)[i];
        EXPECT_EQ(block.type, 'S');
        if (block.payload.size() < 2) {
            ADD_FAILURE() << "reply block without a status";
            return answer;
        }
        const int status =
            static_cast<int16_t>((static_cast<unsigned char>(block.payload[0]) << 8) |
                                 static_cast<unsigned char>(block.payload[1]));
        if (i == 0) answer.status = status;
        answer.data += block.payload.substr(2);
    }
    return answer;
}

TEST(Streaming, ValueRecordsOfAResultLargerThanTheBoundComeWholeAndInOrder) {
    TestServer server([](auto& o) { o.max_result_bytes = 64 * 1024; });
    RawClient client = server.connect();
    constexpr int kRows = 20000; // about 1 MB of records, 16 times the bound
    run(client, "CREATE TABLE t(n INTEGER, s TEXT)");
    run(client, "INSERT INTO t " + numbers_to(kRows) +
                    "SELECT x, 'row ' || x || ' of a result larger than the bound' FROM c");
    run(client, "SELECT n, s FROM t ORDER BY n");

    const auto header = client.statement('V');
    ASSERT_EQ(header.status, 0);
    EXPECT_EQ(record_fields(header.data), (std::vector<std::string>{"Sn", "Ss"}));
    int rows = 0;
    for (;;) {
        const auto row = client.statement('F');
        ASSERT_TRUE(row.ok);
        if (row.status == kEndOfData) break;
        ASSERT_EQ(row.status, 0) << client.explain().data;
        ++rows;
        ASSERT_LE(rows, kRows);
        ASSERT_EQ(row.data, "N" + std::to_string(rows) + '\0' + "S" + row_text(rows) + '\0');
    }
    EXPECT_EQ(rows, kRows);
    EXPECT_EQ(client.statement('F').status, kEndOfData);
    EXPECT_EQ(client.explain().data, "No further row: the result has been read to its end.");
}

TEST(Streaming, AFailureMetWhileSteppingEndsTheResultWithItsStatus) {
    TestServer server;
    RawClient client = server.connect();
    // abs() of the smallest integer fails, here on the third row only.
    run(client, numbers_to(5) +
                    "SELECT CASE WHEN x = 3 THEN abs(-9223372036854775807 - 1) ELSE x END FROM c");
    EXPECT_EQ(client.statement('F').data, "N1"s + '\0');
    EXPECT_EQ(client.statement('F').data, "N2"s + '\0');
    const auto failure = client.statement('F');
    ASSERT_TRUE(failure.ok);
    EXPECT_EQ(failure.status, 1);
    EXPECT_EQ(failure.data, "");
    EXPECT_EQ(client.explain().data, "integer overflow");
    // The result ended with the failure; the connection goes on.
    EXPECT_EQ(client.statement('F').status, kEndOfData);
    run(client, "SELECT 7");
    EXPECT_EQ(client.statement('F').data, "N7"s + '\0');
}

TEST(Streaming, ANewStatementEndsTheResultBeingRead) {
    TestServer server;
    RawClient client = server.connect();
    run(client, numbers_to(1000) + "SELECT x FROM c");
    EXPECT_EQ(client.statement('F').data, "N1"s + '\0');
    EXPECT_EQ(client.statement('F').data, "N2"s + '\0');
    run(client, "SELECT 'next'");
    EXPECT_EQ(client.statement('F').data, "Snext"s + '\0');
    EXPECT_EQ(client.statement('F').status, kEndOfData);
    // A statement without rows leaves no result to read either.
    run(client, numbers_to(1000) + "SELECT x FROM c");
    EXPECT_EQ(client.statement('F').data, "N1"s + '\0');
    run(client, "CREATE TABLE t(x)");
    EXPECT_EQ(client.statement('F').status, kEndOfData);
    EXPECT_EQ(client.statement('R', "\0"s).status, kEndOfData);
}

// Line and record requests share one position in the result; the first
// line request reads the rows still unread into memory for the layout.
struct MixCase {
    const char* name;
    std::vector<std::string> requests; // "H", "R", "V", "F"
    std::vector<std::string> answers;  // data of each reply; "-9" for end of data
};

class MixedRequests : public ::testing::TestWithParam<MixCase> {};

TEST_P(MixedRequests, AnswerFromOnePosition) {
    const MixCase& c = GetParam();
    TestServer server;
    RawClient client = server.connect();
    run(client, "CREATE TABLE p(name TEXT, age INTEGER)");
    run(client, "INSERT INTO p VALUES ('Al', 7), ('Beatrice', NULL), ('Cy', 101)");
    run(client, "SELECT name, age FROM p ORDER BY name");
    ASSERT_EQ(c.requests.size(), c.answers.size());
    for (size_t i = 0; i < c.requests.size(); ++i) {
        const char code = c.requests[i][0];
        const auto reply = code == 'H'   ? client.statement('H', "\x02")
                           : code == 'R' ? client.statement('R', "\0"s)
                                         : client.statement(code);
        ASSERT_TRUE(reply.ok);
        if (c.answers[i] == "-9") {
            EXPECT_EQ(reply.status, kEndOfData) << "request " << i;
        } else {
            EXPECT_EQ(reply.status, 0) << "request " << i;
            EXPECT_EQ(reply.data, c.answers[i]) << "request " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MixedRequests,
    ::testing::Values(
        MixCase{"LinesOnly",
                {"H", "R", "R", "R", "R"},
                {"name     age", "Al       7", "Beatrice ", "Cy       101", "-9"}},
        MixCase{"RecordsThenLines",
                {"V", "F", "H", "R", "R", "R", "F"},
                {"Sname\0Sage\0"s, "SAl\0N7\0"s, "name     age", "Beatrice ", "Cy       101", "-9",
                 "-9"}},
        MixCase{"LinesThenRecords",
                {"R", "F", "V", "R", "F"},
                {"Al       7", "SBeatrice\0S\0"s, "Sname\0Sage\0"s, "Cy       101", "-9"}},
        MixCase{"HeaderAfterTheLastRecord",
                {"F", "F", "F", "F", "H", "R"},
                {"SAl\0N7\0"s, "SBeatrice\0S\0"s, "SCy\0N101\0"s, "-9", "name age", "-9"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Streaming, PipelinedRowRequestsAreAnsweredInOrder) {
    TestServer server;
    RawClient client = server.connect();
    run(client, numbers_to(10) + "SELECT x, 'r' || x FROM c");
    // Twelve 'F' requests in one send, then a version request.
    std::string requests;
    for (int i = 0; i < 12; ++i)
        requests += "\x00\x05S\x01"s + "F";
    requests += "\x00\x05S\x01"s + "A";
    ASSERT_TRUE(client.send_bytes(requests));
    for (int i = 1; i <= 10; ++i) {
        const Answer answer = read_answer(client);
        EXPECT_EQ(answer.status, 0);
        EXPECT_EQ(answer.data, "N" + std::to_string(i) + '\0' + "Sr" + std::to_string(i) + '\0');
    }
    EXPECT_EQ(read_answer(client).status, kEndOfData);
    EXPECT_EQ(read_answer(client).status, kEndOfData);
    const Answer version = read_answer(client);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.data.rfind("dorvd ", 0), 0u) << version.data;
}

// A long read holds a read transaction on its database; the data files are
// in write-ahead-log mode, so other connections still write (and the reader
// keeps seeing the rows as they were when its query started).
TEST(Streaming, AnotherConnectionWritesWhileAResultIsRead) {
    TestServer server;
    RawClient reader = server.connect();
    RawClient writer = server.connect();
    run(reader, "OPEN DATABASE 'sample'");
    run(writer, "OPEN DATABASE 'sample'");
    run(reader, "CREATE TABLE big(n INTEGER)");
    run(reader, "INSERT INTO big " + numbers_to(1000) + "SELECT x FROM c");
    run(reader, "PRAGMA journal_mode");
    EXPECT_EQ(reader.statement('F').data, "Swal"s + '\0');

    run(reader, "SELECT n FROM big ORDER BY n");
    for (int i = 1; i <= 10; ++i)
        ASSERT_EQ(reader.statement('F').data, "N" + std::to_string(i) + '\0');
    const auto started = std::chrono::steady_clock::now();
    const auto insert = writer.exec("INSERT INTO big VALUES (1001)");
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(insert.status, 0) << insert.data;
    EXPECT_EQ(insert.data, "1 row affected");
    // Not held up by the reader (a busy wait would take up to 5 s).
    EXPECT_LT(waited, 2.0);
    run(writer, "UPDATE big SET n = -n WHERE n = 500");

    int rows = 10;
    for (;;) {
        const auto row = reader.statement('F');
        if (row.status == kEndOfData) break;
        ASSERT_EQ(row.status, 0);
        ++rows;
        ASSERT_EQ(row.data, "N" + std::to_string(rows) + '\0');
    }
    EXPECT_EQ(rows, 1000);
    run(reader, "SELECT count(*), min(n) FROM big");
    EXPECT_EQ(reader.statement('F').data, "N1001\0N-500\0"s);
}

TEST(Streaming, LineResultsOfAllConnectionsShareTheServerBound) {
    TestServer server([](auto& o) {
        o.max_result_bytes = 1024 * 1024;
        o.max_total_result_bytes = 1024 * 1024;
    });
    RawClient first = server.connect();
    RawClient second = server.connect();
    const std::string query = numbers_to(4000) + "SELECT x, 'a value of some length' FROM c";
    run(first, query);
    ASSERT_EQ(first.statement('H', "\x02").status, 0);
    run(second, query);
    const auto refused = second.statement('H', "\x02");
    EXPECT_EQ(refused.status, 204);
    EXPECT_NE(second.explain().data.find("all connections"), std::string::npos)
        << second.explain().data;
    // Value records need no share of it.
    run(second, query);
    EXPECT_EQ(second.statement('F').data, "N1\0Sa value of some length\0"s);
    // Once the first result is dropped its share is free again.
    run(first, "SELECT 1");
    run(second, query);
    EXPECT_EQ(second.statement('H', "\x02").status, 0);
}

} // namespace
