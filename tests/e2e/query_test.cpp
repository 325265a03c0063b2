// The library against the reference server: statements, lines, values.
#include "support/dorvd_process.h"

#include "dorv32.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int connect_to(const DorvdProcess& server) {
    char transport[] = "winsock";
    return hl_connect(transport, "127.0.0.1", server.service().c_str(), 0);
}

int exec(int handle, const std::string& statements) {
    std::vector<char> text(statements.begin(), statements.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

std::vector<std::string> lines(int handle) {
    std::vector<std::string> out;
    char line[1024];
    if (hl_dorv_hdr_ln(handle, 2, line, sizeof line) != 0) return out;
    out.push_back(line);
    int status;
    while ((status = hl_dorv_next_row(handle, line, sizeof line)) == 0)
        out.push_back(line);
    if (status != DORV_EOF) out.push_back("<status " + std::to_string(status) + ">");
    return out;
}

// Header and rows as fields with their type characters.
std::vector<std::vector<std::string>> values(int handle) {
    std::vector<std::vector<std::string>> rows;
    int status = hl_dorv_hdr_val(handle);
    while (status == 0) {
        std::vector<std::string> row;
        char field[1024];
        int s;
        while ((s = hl_dorv_tfield(handle, field, sizeof field)) == 0)
            row.push_back(field);
        if (s != DORV_EOF) row.push_back("<status " + std::to_string(s) + ">");
        rows.push_back(row);
        status = hl_dorv_next_val(handle);
    }
    if (status != DORV_EOF) rows.push_back({"<status " + std::to_string(status) + ">"});
    return rows;
}

class Query : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        std::vector<std::string> options;
        if (GetParam() != 1024) options = {"--block-size", std::to_string(GetParam())};
        ASSERT_TRUE(server.start(options)) << server.error();
        handle = connect_to(server);
        ASSERT_GE(handle, 0);
        ASSERT_EQ(exec(handle, "OPEN DATABASE 'sample'"), 0);
    }
    void TearDown() override {
        if (handle >= 0) {
            EXPECT_EQ(hl_disconnect(handle), 0);
        }
    }
    DorvdProcess server;
    int handle = -1;
};

TEST_P(Query, HeaderAndRowsShareOneLayout) {
    ASSERT_EQ(exec(handle, "select id, name, city from customers order by id"), 0);
    auto got = lines(handle);
    ASSERT_GE(got.size(), 4u);
    size_t city = got[0].find("city");
    ASSERT_NE(city, std::string::npos);
    // Every city starts where its heading does (trailing blanks may be left off).
    for (size_t i = 1; i < got.size(); ++i) {
        ASSERT_GT(got[i].size(), city) << got[i];
        EXPECT_NE(got[i][city], ' ') << got[i];
        EXPECT_EQ(got[i][city - 1], ' ') << got[i];
    }
}

TEST_P(Query, ValuesCarryTheirTypes) {
    ASSERT_EQ(exec(handle,
                   "create table t (n integer, r real, s text, d date, x text);"
                   "insert into t values (42, 3.5, 'K\xF6ln', '1996-03-01 12:00:00', null)"),
              0);
    ASSERT_EQ(exec(handle, "select n, r, s, d, x from t"), 0);
    auto got = values(handle);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (std::vector<std::string>{"Sn", "Sr", "Ss", "Sd", "Sx"}));
    ASSERT_EQ(got[1].size(), 5u);
    EXPECT_EQ(got[1][0], "N42");
    EXPECT_EQ(got[1][1], "N3.5");
    EXPECT_EQ(got[1][2], "SK\xF6ln"); // through HP Roman-8 and back
    EXPECT_EQ(got[1][3], "D19960301120000");
}

TEST_P(Query, AccentedTextSurvivesTheRoundTrip) {
    std::string accented = "M\xFCller \xC6\xF8\xE5 \xA3 \xE9\xE8\xEA \xD1";
    ASSERT_EQ(
        exec(handle, "create table names (n text); insert into names values ('" + accented + "')"),
        0);
    ASSERT_EQ(exec(handle, "select n from names"), 0);
    auto got = values(handle);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], std::vector<std::string>{"S" + accented});
    ASSERT_EQ(exec(handle, "select n from names where n = '" + accented + "'"), 0);
    auto rows = lines(handle);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].substr(0, accented.size()), accented);
}

TEST_P(Query, AFailingStatementIsExplained) {
    int status = exec(handle, "select * from no_such_table");
    EXPECT_GT(status, 0);
    EXPECT_NE(status, DORV_NO_STATUS);
    char text[1024];
    EXPECT_EQ(hl_dorv_explain(handle, text, sizeof text, 0), 0);
    EXPECT_NE(std::string(text).find("no_such_table"), std::string::npos) << text;
    // The connection goes on working.
    ASSERT_EQ(exec(handle, "select count(*) from products"), 0);
    EXPECT_EQ(lines(handle).size(), 2u);
}

TEST_P(Query, WideRowsArriveWhole) {
    std::string wide(900, 'w');
    ASSERT_EQ(exec(handle, "select '" + wide + "' as a, 'end' as b"), 0);
    auto got = values(handle);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], (std::vector<std::string>{"S" + wide, "Send"}));
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, Query, ::testing::Values(1024, 16, 7));

// Each client checks that every result it reads is its own; true when all were.
bool client_rounds(const DorvdProcess& server, int client, int rounds) {
    int handle = connect_to(server);
    if (handle < 0 || exec(handle, "OPEN DATABASE 'sample'") != 0) return false;
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        exec(handle, "select " + std::to_string(client) + " as client, " + std::to_string(round) +
                         " as round, name from products order by id");
        auto got = values(handle);
        // Compared without building "N" + number: GCC 12's optimiser warns falsely about it.
        ok = ok && got.size() > 2 && got[1][0].size() > 1 && got[1][0][0] == 'N' &&
             got[1][0].substr(1) == std::to_string(client) && got[1][1].size() > 1 &&
             got[1][1][0] == 'N' && got[1][1].substr(1) == std::to_string(round);
    }
    return hl_disconnect(handle) == 0 && ok;
}

TEST(Clients, SeveralProcessesAtOnceGetTheirOwnResults) {
    DorvdProcess server;
    ASSERT_TRUE(server.start()) << server.error();
    std::vector<pid_t> children;
    for (int c = 0; c < 6; ++c) {
        pid_t pid = fork();
        if (pid == 0) _exit(client_rounds(server, c, 30) ? 0 : 1);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = -1;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "client process " << pid;
    }
}

TEST(Clients, InterleavedConnectionsOfOneThreadKeepTheirOwnResults) {
    DorvdProcess server;
    ASSERT_TRUE(server.start({"--block-size", "16"})) << server.error();
    int handles[4];
    for (int c = 0; c < 4; ++c) {
        handles[c] = connect_to(server);
        ASSERT_GE(handles[c], 0);
        ASSERT_EQ(exec(handles[c], "OPEN DATABASE 'sample'"), 0);
        ASSERT_EQ(
            exec(handles[c], "select " + std::to_string(c) + ", name from customers order by id"),
            0);
    }
    char line[256];
    for (int c = 0; c < 4; ++c)
        ASSERT_EQ(hl_dorv_hdr_ln(handles[c], 2, line, sizeof line), 0);
    // One row from each connection in turn, until all are used up.
    int rows[4] = {0, 0, 0, 0};
    for (bool any = true; any;) {
        any = false;
        for (int c = 0; c < 4; ++c) {
            int status = hl_dorv_next_row(handles[c], line, sizeof line);
            if (status == DORV_EOF) continue;
            ASSERT_EQ(status, 0);
            EXPECT_EQ(line[0], '0' + c) << line;
            ++rows[c];
            any = true;
        }
    }
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(rows[c], rows[0]);
        EXPECT_EQ(hl_disconnect(handles[c]), 0);
    }
    EXPECT_GT(rows[0], 2);
}

} // namespace
