// Passwords are never quoted back, guessing them is slowed, and the
// password file is for the server's user only.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>

#include "log_capture.h"
#include "server/log.h"
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
    long long expected = 40;
    for (int failure = 1; failure <= 4; ++failure, expected *= 2) {
        SCOPED_TRACE(failure);
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
            // The right password still opens before the limit; failures keep counting.
            EXPECT_EQ(client.exec("OPEN DATABASE 'secret' AS 'geheim'").status, 0);
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
