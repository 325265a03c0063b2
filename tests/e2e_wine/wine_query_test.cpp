// The Windows library over WinSock against the reference server on the host.
#include "dorv32.h"
#include "support/wine_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int exec(int handle, const std::string& statements) {
    std::vector<char> text(statements.begin(), statements.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

class WineQuery : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        std::string port = fixture_port(GetParam());
        if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
        char transport[] = "WINSOCK";
        handle = hl_connect(transport, "127.0.0.1", port.c_str(), 0);
        ASSERT_GE(handle, 0);
        ASSERT_EQ(exec(handle, "OPEN DATABASE 'sample'"), 0);
    }
    void TearDown() override {
        if (handle >= 0) {
            EXPECT_EQ(hl_disconnect(handle), 0);
        }
    }
    int handle = -1;
};

TEST_P(WineQuery, RowsAndValuesArriveTranslated) {
    ASSERT_EQ(exec(handle, "select id, name, customer_since from customers where id = 1"), 0);
    char line[256];
    ASSERT_EQ(hl_dorv_hdr_ln(handle, 2, line, sizeof line), 0);
    EXPECT_EQ(std::string(line).substr(0, 7), "id name");
    ASSERT_EQ(hl_dorv_next_row(handle, line, sizeof line), 0);
    EXPECT_EQ(std::string(line).substr(0, 14), "1  M\xFCller GmbH");
    EXPECT_EQ(hl_dorv_next_row(handle, line, sizeof line), DORV_EOF);

    ASSERT_EQ(exec(handle, "select id, name, customer_since from customers where id = 1"), 0);
    ASSERT_EQ(hl_dorv_next_val(handle), 0);
    std::vector<std::string> fields;
    char field[256];
    while (hl_dorv_tfield(handle, field, sizeof field) == 0)
        fields.push_back(field);
    EXPECT_EQ(fields, (std::vector<std::string>{"N1", "SM\xFCller GmbH", "D19940315000000"}));
    EXPECT_EQ(hl_dorv_next_val(handle), DORV_EOF);
}

TEST_P(WineQuery, FailuresAreExplainedAndTheConnectionGoesOn) {
    EXPECT_GT(exec(handle, "insert into nowhere values (1)"), 0);
    char text[512];
    EXPECT_EQ(hl_dorv_explain(handle, text, sizeof text, 0), 0);
    EXPECT_NE(std::string(text).find("nowhere"), std::string::npos) << text;
    char version[1019];
    EXPECT_EQ(hl_dorv_version(handle, version), 0);
    EXPECT_EQ(std::string(version).rfind("dorvd", 0), 0u) << version;
}

INSTANTIATE_TEST_SUITE_P(Servers, WineQuery,
                         ::testing::Values("dorvd_plain", "dorvd_small_blocks"));

TEST(WineHost, EchoAndHostCommandOutputByLines) {
    std::string port = fixture_port("dorvd_plain");
    if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
    char transport[] = "WINSOCK";
    int handle = hl_connect(transport, "127.0.0.1", port.c_str(), 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(hl_echo(handle, "through wine and back"), 0);
    ASSERT_EQ(hl_uxcmd(handle, "printf 'first\\nsecond\\n'"), 0);
    char line[64];
    std::vector<std::string> lines;
    int n;
    while ((n = hl_fetch_ln(handle, line, sizeof line)) > 0)
        lines.push_back(line);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"first\n", "second\n"}));
    EXPECT_EQ(hl_disconnect(handle), 0);
}

} // namespace
