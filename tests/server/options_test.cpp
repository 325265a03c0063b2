// dorvd's command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/options.h"

namespace {

using dorvd::OptionsOutcome;
using dorvd::ServerOptions;

OptionsOutcome parse(const std::vector<std::string>& args, ServerOptions& options,
                     std::string& error) {
    return dorvd::parse_options(args, options, error);
}

TEST(Options, DefaultsAreSafe) {
    ServerOptions options;
    std::string error;
    ASSERT_EQ(parse({}, options, error), OptionsOutcome::run);
    EXPECT_EQ(options.listen_address, "127.0.0.1");
    EXPECT_EQ(options.max_block, 1024u);
    EXPECT_FALSE(options.allow_host_commands);
    EXPECT_GT(options.max_connections, 0);
    EXPECT_EQ(options.statement_timeout_s, 60);
    EXPECT_EQ(options.max_scratch_bytes, 64u * 1024 * 1024);
    EXPECT_EQ(options.auth_delay_ms, 500);
    EXPECT_EQ(options.max_auth_failures, 5);
    // A client may stay idle between requests for ever, and a well-behaved
    // one never meets the other bounds.
    EXPECT_EQ(options.read_timeout_s, 30);
    EXPECT_EQ(options.idle_timeout_s, 0);
    EXPECT_EQ(options.idle_in_transaction_timeout_s, 0);
    EXPECT_EQ(options.send_timeout_s, 60);
    EXPECT_EQ(options.max_database_bytes, 0u);
}

TEST(Options, ReadsTheClientBounds) {
    ServerOptions options;
    std::string error;
    ASSERT_EQ(parse({"--read-timeout", "5", "--idle-timeout=600", "--idle-in-transaction-timeout",
                     "30", "--send-timeout=0", "--max-database-bytes", "2G"},
                    options, error),
              OptionsOutcome::run)
        << error;
    EXPECT_EQ(options.read_timeout_s, 5);
    EXPECT_EQ(options.idle_timeout_s, 600);
    EXPECT_EQ(options.idle_in_transaction_timeout_s, 30);
    EXPECT_EQ(options.send_timeout_s, 0);
    EXPECT_EQ(options.max_database_bytes, 2ULL * 1024 * 1024 * 1024);
    ASSERT_EQ(parse({"--max-database-bytes=0"}, options, error), OptionsOutcome::run) << error;
    EXPECT_EQ(options.max_database_bytes, 0u);
    for (const char* option : {"--read-timeout", "--idle-timeout", "--idle-in-transaction-timeout",
                               "--send-timeout", "--max-database-bytes"}) {
        EXPECT_NE(dorvd::usage_text().find(option), std::string::npos) << option;
    }
}

TEST(Options, ReadsTheLimits) {
    ServerOptions options;
    std::string error;
    ASSERT_EQ(parse({"--statement-timeout", "0", "--max-scratch-bytes=128K", "--auth-delay-ms",
                     "25", "--max-auth-failures=1"},
                    options, error),
              OptionsOutcome::run)
        << error;
    EXPECT_EQ(options.statement_timeout_s, 0);
    EXPECT_EQ(options.max_scratch_bytes, 128u * 1024);
    EXPECT_EQ(options.auth_delay_ms, 25);
    EXPECT_EQ(options.max_auth_failures, 1);
}

TEST(Options, VersionIsAnOutcomeOfItsOwn) {
    ServerOptions options;
    std::string error;
    EXPECT_EQ(parse({"--version"}, options, error), OptionsOutcome::version);
}

TEST(Options, ReadsEveryOptionInBothForms) {
    ServerOptions options;
    std::string error;
    ASSERT_EQ(parse({"--listen", "0.0.0.0", "--port=0", "--data", "/tmp/d", "--block-size=8",
                     "--allow-host-commands", "--max-connections", "3", "--max-result-bytes=2M"},
                    options, error),
              OptionsOutcome::run)
        << error;
    EXPECT_EQ(options.listen_address, "0.0.0.0");
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.data_dir, "/tmp/d");
    EXPECT_EQ(options.max_block, 8u);
    EXPECT_TRUE(options.allow_host_commands);
    EXPECT_EQ(options.max_connections, 3);
    EXPECT_EQ(options.max_result_bytes, 2u * 1024 * 1024);
}

TEST(Options, TotalResultBound) {
    ServerOptions options;
    std::string error;
    EXPECT_EQ(options.max_total_result_bytes, 256u * 1024 * 1024);
    ASSERT_EQ(parse({"--max-total-result-bytes", "1G"}, options, error), OptionsOutcome::run)
        << error;
    EXPECT_EQ(options.max_total_result_bytes, 1024u * 1024 * 1024);
    EXPECT_EQ(parse({"--max-total-result-bytes", "12"}, options, error), OptionsOutcome::error);
    EXPECT_NE(error.find("--max-total-result-bytes"), std::string::npos) << error;
    EXPECT_NE(dorvd::usage_text().find("--max-total-result-bytes"), std::string::npos);
}

TEST(Options, HelpWins) {
    ServerOptions options;
    std::string error;
    EXPECT_EQ(parse({"--port", "5", "--help"}, options, error), OptionsOutcome::help);
    EXPECT_NE(dorvd::usage_text().find("--allow-host-commands"), std::string::npos);
}

TEST(Options, ChoosesTheBackend) {
    ServerOptions options;
    std::string error;
    ASSERT_EQ(parse({}, options, error), OptionsOutcome::run);
    EXPECT_EQ(options.backend, dorvd::BackendKind::sqlite);
    EXPECT_FALSE(options.sample);
    ASSERT_EQ(
        parse({"--pg=host=/tmp dbname=d", "--backend", "postgresql", "--sample"}, options, error),
        OptionsOutcome::run)
        << error;
    EXPECT_EQ(options.backend, dorvd::BackendKind::postgresql);
    EXPECT_EQ(options.pg_conninfo, "host=/tmp dbname=d");
    EXPECT_TRUE(options.sample);
}

struct BadCase {
    std::vector<std::string> args;
    const char* error_part;
};

class BadOptions : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadOptions, AreRefusedWithAReason) {
    ServerOptions options;
    std::string error;
    EXPECT_EQ(parse(GetParam().args, options, error), OptionsOutcome::error);
    EXPECT_NE(error.find(GetParam().error_part), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadOptions,
    ::testing::Values(BadCase{{"--port", "65536"}, "--port"}, BadCase{{"--port", "-1"}, "--port"},
                      BadCase{{"--port", "80x"}, "--port"}, BadCase{{"--port"}, "needs a value"},
                      BadCase{{"--block-size", "6"}, "--block-size"},
                      BadCase{{"--block-size", "1025"}, "--block-size"},
                      BadCase{{"--max-connections", "0"}, "--max-connections"},
                      BadCase{{"--max-result-bytes", "100"}, "--max-result-bytes"},
                      BadCase{{"--max-result-bytes", "5X"}, "--max-result-bytes"},
                      BadCase{{"--max-result-bytes", "99999999999G"}, "--max-result-bytes"},
                      BadCase{{"--allow-host-commands=yes"}, "takes no value"},
                      BadCase{{"--data="}, "--data"}, BadCase{{"--verbose"}, "unknown option"},
                      BadCase{{"--statement-timeout", "-5"}, "--statement-timeout"},
                      BadCase{{"--statement-timeout", "86401"}, "--statement-timeout"},
                      BadCase{{"--max-scratch-bytes", "1K"}, "--max-scratch-bytes"},
                      BadCase{{"--auth-delay-ms", "60001"}, "--auth-delay-ms"},
                      BadCase{{"--max-auth-failures", "0"}, "--max-auth-failures"},
                      BadCase{{"--version=1"}, "takes no value"},
                      BadCase{{"--backend", "mysql"}, "--backend"},
                      BadCase{{"--pg", "dbname=x"}, "--pg needs --backend postgresql"},
                      BadCase{{"--sample=yes"}, "takes no value"},
                      BadCase{{"--read-timeout", "-1"}, "--read-timeout"},
                      BadCase{{"--read-timeout"}, "needs a value"},
                      BadCase{{"--idle-timeout", "86401"}, "--idle-timeout"},
                      BadCase{{"--idle-in-transaction-timeout", "x"},
                              "--idle-in-transaction-timeout"},
                      BadCase{{"--send-timeout", "1.5"}, "--send-timeout"},
                      BadCase{{"--max-database-bytes", "1K"}, "--max-database-bytes"},
                      BadCase{{"--max-database-bytes", "9Q"}, "--max-database-bytes"}));

} // namespace
