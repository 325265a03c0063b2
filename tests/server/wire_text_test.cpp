// Text SQLite holds as UTF-8 (well formed or not) goes out as Roman-8, one
// byte a character, in value records and in the line layout alike: a
// column's width counts the characters the client receives.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <string>
#include <vector>

#include "result_reading.h"
#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::RawClient;
using dorvd_test::record_fields;
using dorvd_test::run;
using dorvd_test::TestServer;

struct WireTextCase {
    const char* value;  // an SQL expression of type text
    std::string record; // the value record's text
    std::string line;   // the text a row line shows
};

class WireText : public ::testing::TestWithParam<WireTextCase> {};

// The value stands in the first of two columns: the header and the row line
// show where the second begins, so a width counted wrongly shows.
TEST_P(WireText, IsOneByteACharacterInRecordsAndLines) {
    const WireTextCase& c = GetParam();
    TestServer server;
    RawClient client = server.connect();
    const std::string query = std::string("SELECT ") + c.value + " AS v, '|' AS w";
    run(client, query);
    EXPECT_EQ(client.statement('F').data, "S" + c.record + '\0' + "S|" + '\0');
    run(client, query);
    EXPECT_EQ(client.statement('H', "\0"s).data, "v" + std::string(c.line.size() - 1, ' ') + " w");
    EXPECT_EQ(client.statement('R', "\0"s).data, c.line + " |");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WireText,
    ::testing::Values(
        WireTextCase{"'plain'", "plain", "plain"},
        WireTextCase{"'M' || char(252) || 'ller'", "M\317ller", "M\317ller"},
        // Characters Roman-8 lacks: the euro sign, Chinese, an emoji.
        WireTextCase{"'5 ' || char(8364)", "5 ?", "5 ?"},
        WireTextCase{"char(20013, 25991)", "??", "??"},
        WireTextCase{"char(128512) || 'x'", "?x", "?x"},
        // C1 controls are Roman-8's bytes 0x80-0x9F; lines blank C0 controls and DEL only.
        WireTextCase{"'a' || char(133) || char(150) || 'b'", "a\205\226b", "a\205\226b"},
        WireTextCase{"'a' || char(9) || char(10) || char(127)", "a\t\n\177", "a   "},
        // A zero byte would end the record's field: it is a blank in both.
        WireTextCase{"CAST(x'610062' AS TEXT)", "a b", "a b"},
        WireTextCase{"CAST(x'00' AS TEXT)", " ", " "},
        // Each byte of a malformed sequence is one '?'.
        WireTextCase{"CAST(x'61C3' AS TEXT)", "a?", "a?"},
        WireTextCase{"CAST(x'E282' AS TEXT)", "??", "??"},
        WireTextCase{"CAST(x'C0AF' AS TEXT)", "??", "??"},
        WireTextCase{"CAST(x'EDA080' AS TEXT)", "???", "???"},
        WireTextCase{"CAST(x'F4908080' AS TEXT)", "????", "????"},
        WireTextCase{"CAST(x'FF41C3A9' AS TEXT)", "?A\305", "?A\305"},
        WireTextCase{"CAST(x'80' AS TEXT) || char(233)", "?\305", "?\305"}));

// Names and values of several rows: each column as wide as its widest text
// in characters, not in UTF-8 bytes.
TEST(WireText, ColumnWidthsCountCharacters) {
    TestServer server;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2((server.data_dir() / "sample.db").c_str(), &db,
                                  SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        const std::string view =
            "CREATE VIEW odd AS SELECT column1 AS \"\342\202\254\303\274\", column2 AS \"x\303\" "
            "FROM (VALUES ('\303\274\303\274\342\202\254', 'a'), ('abcd', CAST(x'C3A9E2' AS "
            "TEXT)))";
        EXPECT_EQ(sqlite3_exec(db, view.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    RawClient client = server.connect();
    run(client, "OPEN DATABASE 'sample'");
    run(client, "SELECT * FROM odd");
    EXPECT_EQ(client.statement('V').data, "S?\317\0Sx?\0"s);
    EXPECT_EQ(record_fields(client.statement('F').data),
              (std::vector<std::string>{"S\317\317?", "Sa"}));
    EXPECT_EQ(client.statement('H', "\0"s).data, "?\317   x?");
    EXPECT_EQ(client.statement('R', "\0"s).data, "abcd \305?");
    run(client, "SELECT * FROM odd");
    EXPECT_EQ(client.statement('R', "\0"s).data, "\317\317?  a");
    EXPECT_EQ(client.statement('R', "\0"s).data, "abcd \305?");
}

} // namespace
