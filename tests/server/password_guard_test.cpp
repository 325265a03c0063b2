// Passwords are never quoted back, guessing them is slowed, and the
// password file is for the server's user only.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>

#include "log_capture.h"
#include "server/base/log.h"
#include "test_server.h"

namespace {

using dorvd_test::LogCapture;
using dorvd_test::RawClient;
using dorvd_test::TestServer;
using Clock = std::chrono::steady_clock;

constexpr int kWrongPassword = 202;

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class PasswordNotQuoted : public ::testing::TestWithParam<const char*> {};

TEST_P(PasswordNotQuoted, InTheReplyTheExplanationOrTheLog) {
    LogCapture log;
    TestServer server([](auto& o) { o.auth_delay_ms = 0; });
    RawClient client = server.connect();
    const auto reply = client.exec(GetParam());
    ASSERT_TRUE(reply.ok);
    EXPECT_NE(reply.status, 0);
    EXPECT_EQ(reply.data.find("geheim"), std::string::npos) << reply.data;
    EXPECT_EQ(client.explain().data.find("geheim"), std::string::npos) << client.explain().data;
    EXPECT_EQ(client.echo("sync"), "sync");
    EXPECT_NE(log.text().find("status "), std::string::npos) << log.text();
    EXPECT_EQ(log.text().find("geheim"), std::string::npos) << log.text();
}

INSTANTIATE_TEST_SUITE_P(
    Statements, PasswordNotQuoted,
    ::testing::Values("OPEN DATABASE 'secret' 'geheim'", "OPEN DATABASE secret geheim",
                      "OPEN DATABASE 'secret' \"geheim\"", "OPEN DATABASE 'sample' AS 'x' 'geheim'",
                      "OPEN DATABASE 'secret' AS 'geheim' geheim",
                      "OPEN DATABASE 'secret' AS 'geheimX'", "OPEN DATABASE 'secret' AS 'geheim"));

TEST(PasswordGuessing, IsAnsweredLaterEachTimeAndEndsTheConnection) {
    LogCapture log;
    TestServer server([](auto& o) {
        o.auth_delay_ms = 40;
        o.max_auth_failures = 4;
    });
    RawClient client = server.connect();
    // The right password after the second wrong one starts the address's
    // count again; the connection's own count goes on to its limit.
    const long long expected_ms[] = {40, 80, 40, 80};
    for (int failure = 1; failure <= 4; ++failure) {
        SCOPED_TRACE(failure);
        const long long expected = expected_ms[failure - 1];
        const auto start = Clock::now();
        const auto reply = client.exec("OPEN DATABASE 'secret' AS 'guess'");
        const long long took = ms_since(start);
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.status, kWrongPassword);
        EXPECT_GE(took, expected);
        EXPECT_LT(took, expected + 1000);
        EXPECT_NE(log.text().find("127.0.0.1:"), std::string::npos);
        EXPECT_NE(log.text().find("wrong password " + std::to_string(failure) + " of 4"),
                  std::string::npos)
            << log.text();
        if (failure == 2) {
            // Asked once the delay is over, the right password opens at once.
            const auto right = Clock::now();
            EXPECT_EQ(client.exec("OPEN DATABASE 'secret' AS 'geheim'").status, 0);
            EXPECT_LT(ms_since(right), 500);
        }
        if (failure == 4) {
            EXPECT_NE(reply.data.find("Too many wrong passwords: the connection is closed."),
                      std::string::npos)
                << reply.data;
        }
    }
    EXPECT_TRUE(client.closed_by_server());
    EXPECT_TRUE(log.wait_for("closed after too many wrong passwords"));
    // Only that connection ended.
    EXPECT_EQ(server.connect().echo("next"), "next");
}

// The count belongs to the client's address, not to its connection: a new
// connection's attempt waits for the delay, whatever its password, and
// holds no thread while it waits.
TEST(PasswordGuessing, CountsAcrossConnectionsOfOneAddress) {
    LogCapture log;
    TestServer server([](auto& o) { o.auth_delay_ms = 600; });
    {
        RawClient guesser = server.connect();
        ASSERT_TRUE(
            guesser.send_block('S', std::string("E") + '\0' + "OPEN DATABASE 'secret' AS 'first'"));
        ASSERT_TRUE(log.wait_for("wrong password 1 of 5"));
        // It hangs up before its answer.
    }
    RawClient owner = server.connect();
    const auto start = Clock::now();
    EXPECT_EQ(owner.exec("OPEN DATABASE 'secret' AS 'geheim'").status, 0);
    EXPECT_GE(ms_since(start), 300) << "the right password was answered before the delay";
    EXPECT_NE(log.text().find("password attempt waits"), std::string::npos) << log.text();
    // Another database needs no waiting.
    RawClient other = server.connect();
    const auto quick = Clock::now();
    EXPECT_EQ(other.exec("OPEN DATABASE 'sample'").status, 0);
    EXPECT_LT(ms_since(quick), 300);
    // The right password reset the count: the next wrong one waits the first delay only.
    const auto again = Clock::now();
    EXPECT_EQ(owner.exec("OPEN DATABASE 'secret' AS 'typo'").status, kWrongPassword);
    EXPECT_GE(ms_since(again), 600);
    EXPECT_LT(ms_since(again), 1100);
}

TEST(PasswordGuessing, AWaitingAttemptWhoseClientLeavesIsLetGo) {
    LogCapture log;
    TestServer server([](auto& o) {
        o.auth_delay_ms = 5000;
        o.max_connections = 2;
    });
    RawClient first = server.connect();
    ASSERT_TRUE(first.send_block('S', std::string("E") + '\0' + "OPEN DATABASE 'secret' AS 'x'"));
    ASSERT_TRUE(log.wait_for("wrong password 1 of 5"));
    first.close_now();
    ASSERT_TRUE(log.wait_for("closed by the client while waiting"));
    {
        RawClient waiting = server.connect();
        ASSERT_TRUE(
            waiting.send_block('S', std::string("E") + '\0' + "OPEN DATABASE 'secret' AS 'y'"));
        ASSERT_TRUE(log.wait_for("password attempt waits"));
    }
    // Both slots are free again long before the delay is over.
    const auto start = Clock::now();
    RawClient a = server.connect();
    RawClient b = server.connect();
    EXPECT_EQ(a.echo("a"), "a");
    EXPECT_EQ(b.echo("b"), "b");
    EXPECT_LT(ms_since(start), 3000);
    // The attempt that left was never checked: one wrong password so far.
    EXPECT_EQ(log.text().find("wrong password 2"), std::string::npos) << log.text();
}

TEST(PasswordGuessing, TheDefaultDelayIsHalfASecond) {
    TestServer server;
    RawClient client = server.connect();
    const auto start = Clock::now();
    EXPECT_EQ(client.exec("OPEN DATABASE 'secret' AS 'guess'").status, kWrongPassword);
    EXPECT_GE(ms_since(start), 500);
    // Unknown names and syntax errors are not slowed.
    const auto quick = Clock::now();
    EXPECT_EQ(client.exec("OPEN DATABASE 'nosuch'").status, 201);
    EXPECT_LT(ms_since(quick), 400);
}

TEST(PasswordFile, IsCreatedReadableByTheServersUserOnly) {
    TestServer server;
    const auto file = server.data_dir() / "passwords";
    ASSERT_TRUE(std::filesystem::exists(file));
    const auto permissions = std::filesystem::status(file).permissions();
    EXPECT_EQ(permissions & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(Log, LinesBeginWithTheTimeInUtc) {
    LogCapture log;
    TestServer server;
    server.connect().close_now();
    ASSERT_TRUE(log.wait_for("closed by the client"));
    const std::regex line("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ dorvd: .+");
    const std::string text = log.text();
    size_t start = 0;
    int lines = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string one = text.substr(start, end - start);
        EXPECT_TRUE(std::regex_match(one, line)) << one;
        ++lines;
    }
    EXPECT_GE(lines, 3); // created files, opened, closed
    EXPECT_EQ(dorvd::log_time(std::chrono::system_clock::from_time_t(1796880621)),
              "2026-12-10T05:30:21Z");
}

} // namespace
