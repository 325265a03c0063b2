// The dorvd program itself: its options, its start-up line and a clean
// shutdown on SIGTERM and SIGINT.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <regex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "raw_client.h"
#include "test_server.h"

extern char** environ;

namespace {

using dorvd_test::RawClient;

struct Process {
    pid_t pid = -1;
    int output = -1; // standard output
    int errors = -1; // standard error
};

Process start(const std::vector<std::string>& args) {
    Process process;
    int fds[2];
    int error_fds[2];
    if (pipe(fds) != 0) return process;
    if (pipe(error_fds) != 0) {
        close(fds[0]);
        close(fds[1]);
        return process;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, error_fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, error_fds[0]);
    std::vector<std::string> all = {DORVD_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&process.pid, DORVD_BINARY, &actions, nullptr, argv.data(), environ) != 0) {
        process.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    close(error_fds[1]);
    process.output = fds[0];
    process.errors = error_fds[0];
    return process;
}

// Reads standard output (or standard error) up to its end, or to the first
// line when first_line_only is set, waiting at most ten seconds.
std::string read_output(const Process& process, bool first_line_only, bool errors = false) {
    std::string text;
    const int fd = errors ? process.errors : process.output;
    pollfd watch{fd, POLLIN, 0};
    while (poll(&watch, 1, 10000) > 0) {
        char c;
        if (read(fd, &c, 1) != 1) break;
        text += c;
        if (first_line_only && c == '\n') break;
    }
    return text;
}

// The exit status, or -1 when it did not end within ten seconds (it is then killed).
int wait_for_exit(Process& process) {
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (waitpid(process.pid, &status, WNOHANG) == process.pid) {
            close(process.output);
            close(process.errors);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        usleep(10000);
    }
    kill(process.pid, SIGKILL);
    waitpid(process.pid, nullptr, 0);
    close(process.output);
    close(process.errors);
    return -1;
}

TEST(Program, PrintsHelpOnStandardOutput) {
    Process process = start({"--help"});
    ASSERT_GT(process.pid, 0);
    const std::string help = read_output(process, false);
    for (const char* option :
         {"--allow-host-commands", "--statement-timeout", "--max-scratch-bytes", "--auth-delay-ms",
          "--max-auth-failures", "--version"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option << " in\n" << help;
    }
    EXPECT_EQ(read_output(process, false, true), "");
    EXPECT_EQ(wait_for_exit(process), 0);
}

TEST(Program, PrintsItsVersion) {
    Process process = start({"--version"});
    ASSERT_GT(process.pid, 0);
    const std::string version = read_output(process, false);
    EXPECT_EQ(version.rfind("dorvd ", 0), 0u) << version;
    EXPECT_NE(version.find("(SQLite 3."), std::string::npos) << version;
    EXPECT_EQ(wait_for_exit(process), 0);
}

struct BadOptionCase {
    std::vector<std::string> args;
    const char* reason;
};

class BadOption : public ::testing::TestWithParam<BadOptionCase> {};

TEST_P(BadOption, IsRefusedWithItsReasonAndTheUsageOnStandardError) {
    Process process = start(GetParam().args);
    ASSERT_GT(process.pid, 0);
    const std::string errors = read_output(process, false, true);
    EXPECT_NE(errors.find(GetParam().reason), std::string::npos) << errors;
    EXPECT_NE(errors.find("Usage: dorvd [options]"), std::string::npos) << errors;
    EXPECT_EQ(read_output(process, false), "");
    EXPECT_EQ(wait_for_exit(process), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadOption,
    ::testing::Values(BadOptionCase{{"--block-size", "3"}, "--block-size"},
                      BadOptionCase{{"--verbose"}, "unknown option '--verbose'"},
                      BadOptionCase{{"-x"}, "unknown option '-x'"},
                      BadOptionCase{{"--statement-timeout", "-1"}, "--statement-timeout"}));

class Shutdown : public ::testing::TestWithParam<int> {};

TEST_P(Shutdown, OnSignalClosesConnectionsAndExitsWithZero) {
    dorvd_test::TempFolder folder;
    Process process = start({"--port", "0", "--data", (folder.path() / "data").string()});
    ASSERT_GT(process.pid, 0);
    const std::string line = read_output(process, true);
    const std::string prefix = "dorvd: listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int port = std::stoi(line.substr(prefix.size()));
    ASSERT_GT(port, 0);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "data" / "sample.db"));
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "data" / "passwords"));

    RawClient client(static_cast<uint16_t>(port));
    ASSERT_EQ(client.echo("before"), "before");
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
    kill(process.pid, GetParam());
    // Every log line begins with the time in UTC.
    const std::string log = read_output(process, false, true);
    EXPECT_EQ(wait_for_exit(process), 0);
    EXPECT_TRUE(client.closed_by_server());
    EXPECT_FALSE(RawClient(static_cast<uint16_t>(port)).connected());
    const std::regex log_line_form("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ dorvd: [^\\n]+\\n");
    int lines = 0;
    for (std::sregex_iterator it(log.begin(), log.end(), log_line_form), end; it != end; ++it)
        lines += it->position() == 0 || log[static_cast<size_t>(it->position()) - 1] == '\n';
    EXPECT_GE(lines, 5) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), lines) << log;
    EXPECT_NE(log.find("dorvd: shut down\n"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Signals, Shutdown, ::testing::Values(SIGTERM, SIGINT));

} // namespace
