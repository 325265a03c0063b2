// The dorv program against the reference server and a scripted peer, as a user runs it.
#include "support/dorvd_process.h"
#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct CliRun {
    std::string out; // standard output, or both when they were merged
    std::string err; // standard error when kept apart
    int status;
};

std::string temp_path(const std::string& leaf) {
    return ::testing::TempDir() + "dorv_cli_" + std::to_string(getpid()) + "_" + leaf;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a shell command line; `prefix` goes before the program (e.g. "setsid -w").
CliRun run(const std::string& arguments, bool merged = true, const std::string& prefix = "",
           const std::string& input = "") {
    std::string err_path = temp_path("stderr");
    std::string command = prefix + " " + std::string(DORV_PATH) + " " + arguments +
                          (merged ? " 2>&1" : " 2>" + err_path);
    if (!input.empty()) {
        std::string in_path = temp_path("stdin");
        std::ofstream(in_path, std::ios::binary) << input;
        command += " <" + in_path;
    } else {
        command += " </dev/null";
    }
    FILE* p = popen(command.c_str(), "r");
    CliRun r{"", "", -1};
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!merged) r.err = read_file(err_path);
    return r;
}

CliRun dorv(const std::string& arguments) {
    return run(arguments);
}

// Every line of the program's messages carries its name.
void expect_all_lines_prefixed(const std::string& err) {
    std::istringstream lines(err);
    std::string line;
    while (std::getline(lines, line))
        EXPECT_EQ(line.rfind("dorv: ", 0), 0u) << "[" << line << "] in:\n" << err;
}

class DorvCli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start({"--allow-host-commands", "--block-size", "32"}))
            << server.error();
    }
    std::string at() { return "-s 127.0.0.1 -p " + server.service() + " "; }
    DorvdProcess server;
};

TEST_F(DorvCli, QueriesPrintTablesAndCsv) {
    CliRun r = dorv(at() + "exec \"OPEN DATABASE 'sample'\" query \"select id, name from customers "
                           "where id <= 2 order by id\" "
                           "csv \"select name, price from products where id = 1\"");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "id name\n"
                     "-------\n"
                     "1  M\xC3\xBCller GmbH\n"
                     "2  S\xC3\xB8ren Nielsen\n"
                     "(2 rows)\n"
                     "name,price\n"
                     "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
                     "e,4.5\n");
}

TEST_F(DorvCli, AFailingStatementPrintsTheServersExplanationAndFails) {
    CliRun r =
        dorv(at() + "exec \"OPEN DATABASE 'sample'\" query \"select * from nowhere\" version");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("dorv: no such table: nowhere"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("dorvd 2.10"), std::string::npos) << "stops at the failure";
}

TEST_F(DorvCli, EchoVersionAndHostCommands) {
    CliRun r = dorv(
        at() + "echo 'hello there' version host 'printf \"one\\ntwo\\n\"' hostblk 'echo blocks'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind("echo ok: hello there\ndorvd 2.10", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\none\ntwo\nblocks\n"), std::string::npos) << r.out;
}

TEST_F(DorvCli, AConnectionThatFailsIsReportedOnStandardError) {
    DorvdProcess other;
    ASSERT_TRUE(other.start());
    std::string port = other.service();
    other.stop();
    CliRun r = run("-s 127.0.0.1 -p " + port + " version", false);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("dorv: Unable to connect host.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("errno 10061: [10061] Connection refused"), std::string::npos) << r.err;
    expect_all_lines_prefixed(r.err);
}

TEST_F(DorvCli, ExitCodesTellSuccessFailureUsageAndNoConnection) {
    DorvdProcess other;
    ASSERT_TRUE(other.start());
    std::string gone = other.service();
    other.stop();
    struct Case {
        std::string arguments;
        int status;
        std::string said; // part of standard error
    } cases[] = {
        {at() + "version", 0, ""},
        {at() + "exec \"OPEN DATABASE 'sample'\" csv \"select x from nowhere\"", 1,
         "dorv: no such table: nowhere"},
        {at() + "exec \"select 1 from\"", 1, "dorv: "},
        {"version", 2, "dorv: give either -s HOST -p SERVICE or -c FILE -S SECTION"},
        {at() + "-F xml -f -", 2, "dorv: unknown format xml"},
        {at() + "frobnicate", 2, "dorv: unknown command frobnicate"},
        {at() + "-f " + temp_path("no-such-file.sql"), 2, "dorv: cannot read "},
        {"-s 127.0.0.1 -p " + gone + " version", 3, "dorv: no connection to 127.0.0.1"},
        {"-c " + temp_path("missing.ini") + " -S none version", 3, "dorv: no connection from"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        CliRun r = run(c.arguments, false);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        if (c.status == 0) {
            EXPECT_EQ(r.err, "");
        }
        expect_all_lines_prefixed(r.err);
    }
}

TEST_F(DorvCli, CsvWritesDatesInIso8601AndTheEmptyTextQuoted) {
    CliRun r =
        run(at() + "exec \"create temp table t (d DATE, ts DATETIME, e TEXT, n INTEGER)\" "
                   "exec \"insert into t values ('2024-02-29', '1999-12-31 23:59:58', '', 7)\" "
                   "csv \"select d, ts, e, n from t\" query \"select d, ts from t\"",
            false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "d,ts,e,n\n"
                     "2024-02-29,1999-12-31 23:59:58,\"\",7\n"
                     "d          ts\n"
                     "-------------\n"
                     "2024-02-29 1999-12-31 23:59:58\n"
                     "(1 row)\n");
}

TEST_F(DorvCli, StatementsComeFromAFileOrStandardInputWithoutHeadersWhenAsked) {
    std::string script = "OPEN DATABASE 'sample';\n"
                         "-- customers, over two lines\n"
                         "select id, name\n  from customers where id <= 2 order by id;\n"
                         "select 'a;b' as x, 'it''s' as y -- no ';' at the end\n";
    std::string file = temp_path("script.sql");
    std::ofstream(file, std::ios::binary) << script;
    CliRun from_file = run(at() + "-q -F csv -f " + file, false);
    EXPECT_EQ(from_file.status, 0) << from_file.err;
    EXPECT_EQ(from_file.out, "1,M\xC3\xBCller GmbH\n"
                             "2,S\xC3\xB8ren Nielsen\n"
                             "a;b,it's\n");
    CliRun from_input = run(at() + "-f - version", false, "", script);
    EXPECT_EQ(from_input.status, 0) << from_input.err;
    EXPECT_EQ(
        from_input.out.rfind("id name\n-------\n1  M\xC3\xBCller GmbH\n2  S\xC3\xB8ren Nielsen\n"
                             "(2 rows)\nx   y\n-----\na;b it's\n(1 row)\ndorvd 2.10",
                             0),
        0u)
        << from_input.out;
    CliRun bare = run(at() + "--no-header query \"select 42 as answer\"", false);
    EXPECT_EQ(bare.out, "42\n");
    // A failing statement in the file stops the run with status 1.
    CliRun failing =
        run(at() + "-f -", false, "", "select 1;\nselect * from nowhere;\nselect 2;\n");
    EXPECT_EQ(failing.status, 1);
    EXPECT_EQ(failing.out.find('2'), std::string::npos) << failing.out;
}

TEST(DorvCliHelp, HelpAndVersionNeedNoServer) {
    CliRun help = run("--help", false);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    for (const char* part :
         {"usage: dorv", "-f FILE", "--no-header", "exit status: 0 success", "3 no connection",
          "an empty text as \"\"", "dorvd sends\n                          NULL as an empty text",
          "did not answer within ReplyTimeout", "130 interrupted", "says 'interrupted'",
          "(HP Roman-8) lacks", "a row count shows there when it is a terminal"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    CliRun version = run("-s h -p 1 --version", false);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "dorv 2.10\n");
}

// A peer that answers a statement with part of a block and then goes away.
TEST(DorvCliPeer, AServerThatClosesMidReplyIsSaidInWords) {
    struct Case {
        const char* name;
        std::string reply;
    } cases[] = {
        {"half a block", wire_length(40) + std::string("S\x01\0\0abc", 7)},
        {"nothing at all", ""},
        {"one byte of the length", std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer;
        peer.expect(wire_block('S', std::string("E\0", 2) + "select 1"))
            .send(c.reply)
            .close_connection();
        peer.start();
        CliRun r = run("-s 127.0.0.1 -p " + peer.service() + " query \"select 1\"", false);
        peer.stop();
        EXPECT_EQ(r.status, 3);
        EXPECT_NE(r.err.find("dorv: the server closed the connection\n"), std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("Inconsistent"), std::string::npos) << r.err;
        expect_all_lines_prefixed(r.err);
    }
}

// Where a child's standard output and standard error go.
enum class Streams { pipes, error_on_terminal, both_on_terminal };

// dorv as a child of its own, its standard output and standard error on pipes
// or on a terminal (a pseudo-terminal of the test's own).
class RunningDorv {
  public:
    RunningDorv(const std::vector<std::string>& arguments, Streams streams) {
        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        int out_child = -1, err_child = -1;
        if (streams == Streams::pipes) {
            if (pipe(err) != 0) return;
            err_child = err[1];
        } else {
            err[0] = posix_openpt(O_RDWR | O_NOCTTY);
            if (err[0] < 0 || grantpt(err[0]) != 0 || unlockpt(err[0]) != 0) return;
            err_child = open(ptsname(err[0]), O_RDWR | O_NOCTTY);
        }
        if (streams == Streams::both_on_terminal) {
            out_child = err_child;
        } else {
            if (pipe(out) != 0) return;
            out_child = out[1];
        }
        if (err_child < 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out_child, 1);
            dup2(err_child, 2);
            int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            std::vector<char*> argv{const_cast<char*>(DORV_PATH)};
            for (const std::string& a : arguments)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(DORV_PATH, argv.data());
            _exit(127);
        }
        if (out_child != err_child) close(out_child);
        close(err_child);
        out_fd_ = out[0];
        err_fd_ = err[0];
    }
    ~RunningDorv() {
        if (pid_ > 0 && status_ == -2) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_fd_ >= 0) close(out_fd_);
        if (err_fd_ >= 0) close(err_fd_);
    }
    bool started() const { return pid_ > 0; }
    // Reads what comes for up to ms milliseconds, or until `until` holds.
    template <class Until> void read_for(int ms, Until until) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!until() && std::chrono::steady_clock::now() < end && (out_fd_ >= 0 || err_fd_ >= 0))
            read_some(50);
    }
    void interrupt() { kill(pid_, SIGINT); }
    // Reads to the end of both streams (at most 20 s) and waits for the exit status.
    int finish() {
        read_for(20000, [] { return false; });
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_)
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        return status_;
    }
    // Standard output; standard error, or the terminal when both go there.
    std::string out, err;

  private:
    void read_some(int ms) {
        pollfd p[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
        if (poll(p, 2, ms) <= 0) return;
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            int& fd = i == 0 ? out_fd_ : err_fd_;
            if (fd < 0 || (p[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
            } else {
                close(fd); // the end (a terminal whose last writer closed says EIO)
                fd = -1;
            }
        }
    }
    pid_t pid_ = -1;
    int out_fd_ = -1, err_fd_ = -1;
    int status_ = -2;
};

// Text as a terminal shows it written: its line ends back to line feeds.
std::string without_carriage_returns_before_line_feeds(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain += text[i];
    return plain;
}

// A row count as the program shows it on the terminal.
bool shows_row_count(const std::string& text) {
    for (size_t at = text.find("dorv: "); at != std::string::npos;
         at = text.find("dorv: ", at + 1)) {
        size_t digits = at + 6;
        size_t end = text.find_first_not_of("0123456789", digits);
        if (end != std::string::npos && end > digits && text.compare(end, 5, " rows") == 0)
            return true;
    }
    return false;
}

// Ctrl-C in the middle of a long export: the output ends on a whole record,
// standard error says "interrupted", the status is 130. While the export runs
// longer than a second, a terminal on standard error shows the rows written so
// far, unless the rows go to that terminal too; a pipe never shows it, and the
// output never holds it.
TEST(DorvCliInterrupt, CtrlCEndsAnExportOnAWholeRecordAndARowCountShowsOnATerminal) {
    DorvdProcess server;
    ASSERT_TRUE(server.start()) << server.error();
    const std::string export_sql =
        "with recursive c(x) as (select 1 union all select x + 1 from c where x < 50000000) "
        "select x, 'row ' || x || ', \"quoted\"' as t from c";
    struct Case {
        const char* name;
        Streams streams;
        bool count_shown;
    } cases[] = {
        {"both on pipes", Streams::pipes, false},
        {"standard error on a terminal", Streams::error_on_terminal, true},
        {"both on the terminal", Streams::both_on_terminal, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunningDorv dorv({"-s", "127.0.0.1", "-p", server.service(), "csv", export_sql}, c.streams);
        ASSERT_TRUE(dorv.started());
        const bool one_stream = c.streams == Streams::both_on_terminal;
        std::string& rows = one_stream ? dorv.err : dorv.out;
        auto begun = std::chrono::steady_clock::now();
        // Past a second and well into the rows: on a terminal until the count shows.
        dorv.read_for(15000, [&] {
            bool long_enough =
                std::chrono::steady_clock::now() - begun > std::chrono::milliseconds(1500);
            return long_enough && rows.size() > 100000 &&
                   (!c.count_shown || shows_row_count(dorv.err));
        });
        ASSERT_GT(rows.size(), 100000u) << dorv.err.substr(0, 200);
        dorv.interrupt();
        int status = dorv.finish();
        EXPECT_EQ(status, 130) << dorv.err.substr(0, 200);
        std::string said = one_stream ? "" : dorv.err;
        std::string records =
            one_stream ? without_carriage_returns_before_line_feeds(dorv.err) : dorv.out;
        if (one_stream) {
            // The message comes after the last record, on a line of its own.
            const std::string last = "dorv: interrupted\n";
            ASSERT_GE(records.size(), last.size());
            EXPECT_EQ(records.substr(records.size() - last.size()), last);
            records.resize(records.size() - last.size());
        } else if (c.count_shown) {
            EXPECT_NE(said.find("\rdorv: interrupted\r\n"), std::string::npos)
                << "the count is wiped first";
        } else {
            EXPECT_EQ(said, "dorv: interrupted\n");
        }
        EXPECT_EQ(shows_row_count(dorv.err), c.count_shown);
        EXPECT_FALSE(shows_row_count(records)) << "never in the output";
        // Every line a whole record, in order, the last one ended.
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back(), '\n') << records.substr(records.size() - 80);
        std::istringstream lines(records);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "x,t");
        long expected = 1;
        while (std::getline(lines, line)) {
            std::string n = std::to_string(expected);
            if (line != n + ",\"row " + n + ", \"\"quoted\"\"\"") {
                ADD_FAILURE() << "line " << expected << ": [" << line << "]";
                break;
            }
            ++expected;
        }
        EXPECT_LT(expected, 50000000L) << "stopped mid-way";
    }
}

// A server that takes the statement and does not answer within ReplyTimeout:
// the connection is broken, as one the server closed is.
TEST(DorvCliPeer, AReplyTimeOutEndsWithStatusThree) {
    std::string folder = temp_path("timeout-ini");
    mkdir(folder.c_str(), 0700);
    std::ofstream(folder + "/windorv.ini") << "[Global]\nReplyTimeout=1\n";
    ScriptedPeer peer;
    peer.expect(wire_block('S', std::string("E\0", 2) + "select 1")).pause(3000);
    peer.start();
    auto started = std::chrono::steady_clock::now();
    CliRun r = run("-s 127.0.0.1 -p " + peer.service() + " query \"select 1\" version", false,
                   "DORV_INI_DIR=" + folder);
    auto took = std::chrono::steady_clock::now() - started;
    peer.stop();
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("dorv: Timed out waiting for the server:\n"), std::string::npos) << r.err;
    EXPECT_LT(took, std::chrono::milliseconds(2900)) << "gave up after ReplyTimeout";
    expect_all_lines_prefixed(r.err);
}

TEST(DorvCliPeer, CsvTellsTheEmptyTextFromNull) {
    // A field is its type character and text; NULL comes without even a type character.
    auto field = [](const std::string& text) { return text + std::string(1, '\0'); };
    ScriptedPeer peer;
    peer.expect(wire_block('S', std::string("E\0", 2) + "select e, n, d"))
        .send(status_block(0, ""))
        .expect(wire_block('S', "V"))
        .send(status_block(0, field("Se") + field("Sn") + field("Sd")))
        .expect(wire_block('S', "F"))
        .send(status_block(0, field("S") + field("") + field("D20240102000000")))
        .expect(wire_block('S', "F"))
        .send(status_block(0, field(" ") + field("Sx") + field("")))
        .expect(wire_block('S', "F"))
        .send(status_block(-9, ""));
    peer.start();
    CliRun r = run("-s 127.0.0.1 -p " + peer.service() + " csv \"select e, n, d\"", false);
    peer.stop();
    EXPECT_TRUE(peer.failures().empty()) << peer.failures()[0];
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "e,n,d\n\"\",,2024-01-02\n\"\",x,\n");
}

TEST_F(DorvCli, WithDorvdNullAndTheEmptyTextBothPrintAsQuotes) {
    // dorvd sends NULL as an empty text; the help says so.
    CliRun r = run(at() + "csv \"select NULL as n, '' as e, 1 as one\"", false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "n,e,one\n\"\",\"\",1\n");
}

TEST_F(DorvCli, CharactersRoman8LacksAreSentAsBlanksAndSaidOnce) {
    // Euro, multiplication sign, low double quote; then the division sign in a second statement.
    CliRun r = run(at() + "csv \"select 'a \xE2\x82\xAC b \xC3\x97 c \xE2\x80\x9E' as t\" "
                          "csv \"select 'M\xC3\xBCller \xC3\xB7' as u\"",
                   false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "t\na   b   c  \nu\nM\xC3\xBCller  \n");
    EXPECT_EQ(r.err, "dorv: the server's character set, HP Roman-8, has no \xE2\x82\xAC \xC3\x97 "
                     "\xE2\x80\x9E: sent as blanks\n");
    CliRun clean = run(at() + "csv \"select 'M\xC3\xBCller' as t\"", false);
    EXPECT_EQ(clean.err, "");
}

TEST_F(DorvCli, APasswordWithoutATerminalIsSaidAndFails) {
    std::string file = temp_path("password.ini");
    std::ofstream(file) << "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService="
                        << server.service() << "\n[x]\nDatabase=secret\nPassword=*\n";
    // setsid: a new session has no controlling terminal.
    CliRun r = run("-c " + file + " -S x version", false, "setsid -w");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("dorv: database secret needs a password and there is no terminal to "
                         "ask for it\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    expect_all_lines_prefixed(r.err);
}

} // namespace
