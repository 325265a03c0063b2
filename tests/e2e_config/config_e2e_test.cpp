// Configured connections, database passwords (from the file and from the
// dialog), echo and host commands against the reference server.
#include "client/connection/database_cache.h"
#include "client/connection/library.h"
#include "client/include/dorv32.h"
#include "client/resources/string_table.h"
#include "support/box_capture.h"
#include "support/dorvd_process.h"
#include "support/password_dialog_driver.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class LibraryEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        test_temp_dir(); // also points DORV_INI_DIR at it
        remove_file(windorv_ini_path());
        dorv_library_attach(dorv32_string_table());
    }
    void TearDown() override { dorv_library_detach(); }
};
const auto* registered = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

std::string write_config(const std::string& text) {
    static int serial = 0;
    std::string path = test_temp_dir() + "/e2e" + std::to_string(++serial) + ".ini";
    write_text_file(path, text);
    return path;
}

int exec(int handle, const std::string& statements) {
    std::vector<char> text(statements.begin(), statements.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

// The rows of a query as text lines (header first).
std::vector<std::string> rows(int handle, const std::string& query) {
    std::vector<std::string> out;
    if (exec(handle, query) != 0) return {"<exec failed>"};
    char line[1024];
    if (hl_dorv_hdr_ln(handle, 0, line, sizeof line) != 0) return {"<no header>"};
    out.push_back(line);
    int status;
    while ((status = hl_dorv_next_row(handle, line, sizeof line)) == 0)
        out.push_back(line);
    if (status != DORV_EOF) out.push_back("<status " + std::to_string(status) + ">");
    return out;
}

std::string trimmed(const std::string& text) {
    size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? "" : text.substr(0, end + 1);
}

class Configured : public ::testing::Test {
  protected:
    void SetUp() override { release_database_cache(); }
    void TearDown() override {
        while (connection_count > 0)
            hl_disconnect(connection_table[0].socket);
        release_database_cache();
    }
    void start(const std::vector<std::string>& options = {}) {
        ASSERT_TRUE(server.start(options)) << server.error();
    }
    std::string config(const std::string& sections) {
        return write_config("[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                            server.service() + "\n" + sections);
    }
    DorvdProcess server;
    BoxCapture boxes;
    PasswordDialogDriver dialogs{boxes};
};

TEST_F(Configured, OpensTheDatabasesOfTheSectionWithPasswordsFromTheFile) {
    start();
    std::string file =
        config("[both]\nDBopen=s;x\n[s]\nDatabase=sample\n[x]\nDatabase=secret\nPassword=geheim\n");
    int handle = hl_connect_ini(file.c_str(), "both", 0, 1);
    ASSERT_GE(handle, 0);
    std::vector<std::string> counted = rows(handle, "SELECT COUNT(*) AS n FROM secret.salaries");
    ASSERT_EQ(counted.size(), 2u);
    EXPECT_EQ(trimmed(counted[0]), "n");
    EXPECT_GT(std::stoi(counted[1]), 0);
    EXPECT_EQ(rows(handle, "SELECT COUNT(*) AS n FROM sample.customers").size(), 2u);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(dialogs.seen.empty());
}

TEST_F(Configured, AWrongPasswordIsExplainedAndTheConnectionClosed) {
    start();
    std::string file = config("[x]\nDatabase=secret\nPassword=falsch\n");
    EXPECT_EQ(hl_connect_ini(file.c_str(), "x", 0, 1), -1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "Explain Dorv - Message");
    EXPECT_FALSE(boxes.boxes[0].text.empty());
    EXPECT_EQ(connection_count, 0);
}

TEST_F(Configured, ThePasswordFromTheDialogIsAskedOnce) {
    start();
    std::string file = config("[x]\nDatabase=secret\nPassword=*\n");
    PasswordAnswer answer;
    answer.typed = "geheim";
    dialogs.answers.push_back(answer);
    int first = hl_connect_ini(file.c_str(), "x", 0, 1);
    ASSERT_GE(first, 0);
    int second = hl_connect_ini(file.c_str(), "x", 0, 1);
    ASSERT_GE(second, 0);
    EXPECT_EQ(dialogs.seen.size(), 1u);
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(dialogs.seen[0].database, "secret");
    for (int handle : {first, second})
        EXPECT_EQ(rows(handle, "SELECT COUNT(*) AS n FROM salaries").size(), 2u);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Configured, ACancelledDialogOpensNothing) {
    start();
    std::string file = config("[x]\nDatabase=secret\nPassword=*\n");
    PasswordAnswer cancel;
    cancel.ok = false;
    dialogs.answers.push_back(cancel);
    EXPECT_EQ(hl_connect_ini(file.c_str(), "x", 0, 1), -1);
    EXPECT_EQ(connection_count, 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Configured, EchoComesBackUnchanged) {
    start();
    int handle = hl_connect_ini(config("[c]\n").c_str(), "c", 0, 0);
    ASSERT_GE(handle, 0);
    std::string longest(1020, 'e');
    longest[7] = '\xE8'; // not translated either way
    EXPECT_EQ(hl_echo(handle, longest.c_str()), 0);
    EXPECT_EQ(hl_echo(handle, ""), 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Configured, HostCommandOutputByLines) {
    start({"--allow-host-commands", "--block-size", "16"});
    int handle = hl_connect_ini(config("[c]\n").c_str(), "c", 0, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(hl_uxcmd(handle, "seq 1 200"), 0);
    std::vector<std::string> got, expected;
    char line[64];
    int n;
    while ((n = hl_fetch_ln(handle, line, sizeof line)) > 0)
        got.push_back(line);
    EXPECT_EQ(n, 0);
    for (int i = 1; i <= 200; ++i)
        expected.push_back(std::to_string(i) + "\n");
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(boxes.boxes.empty());
    // The connection serves statements again afterwards.
    EXPECT_EQ(hl_echo(handle, "after"), 0);
}

TEST_F(Configured, HostCommandOutputByBlocks) {
    start({"--allow-host-commands", "--block-size", "7"});
    int handle = hl_connect_ini(config("[c]\n").c_str(), "c", 0, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(hl_uxcmd(handle, "printf 'abcdefghij\\n'; printf '\\303\\244' >&2"), 0);
    std::string output;
    char block[16];
    int n;
    while ((n = hl_fetch_blk(handle, block, sizeof block)) > 0) {
        EXPECT_LE(n, 3); // a block of 7 bytes carries 3 bytes of output
        output.append(block, static_cast<size_t>(n));
    }
    EXPECT_EQ(n, 0);
    // Standard error comes too, in the server's character set (a-umlaut is 0xCC in HP Roman-8).
    EXPECT_EQ(output, "abcdefghij\n\xCC");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Configured, HostCommandsAreRefusedWhenTheServerDoesNotAllowThem) {
    start();
    int handle = hl_connect_ini(config("[c]\n").c_str(), "c", 0, 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(hl_uxcmd(handle, "ls"), -1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "Dorv SERVER:");
    EXPECT_FALSE(boxes.boxes[0].text.empty());
    boxes.clear();
    char line[16];
    EXPECT_EQ(hl_fetch_ln(handle, line, sizeof line), -1); // nothing pending
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("Sequence error (hl_fetch_ln):", 0), 0u);
}

} // namespace
