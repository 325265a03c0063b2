// Text is Roman-8 on the wire and UTF-8 in SQLite.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <string>
#include <vector>

#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::RawClient;
using dorvd_test::record_fields;
using dorvd_test::TestServer;

std::vector<std::string> column_of(const std::filesystem::path& file, const char* query) {
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, query, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                values.emplace_back(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return values;
}

void execute_directly(const std::filesystem::path& file, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

TEST(Charset, AccentedTextSurvivesTheRoundTripAndIsStoredAsUtf8) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
    ASSERT_EQ(client.exec("CREATE TABLE names(name TEXT)").status, 0);
    // ü, ø, ç, É and ß in Roman-8 are 0xCF, 0xD6, 0xB5, 0xDC and 0xDE (octal 317, 326, 265, 334,
    // 336).
    const std::vector<std::string> wire = {"M\317ller", "S\326ren", "Fran\265oise", "\334cole",
                                           "Stra\336e"};
    for (const std::string& name : wire) {
        ASSERT_EQ(client.exec("INSERT INTO names VALUES ('" + name + "')").status, 0);
    }
    EXPECT_EQ(column_of(server.data_dir() / "sample.db", "SELECT name FROM names"),
              (std::vector<std::string>{"Müller", "Søren", "Françoise", "École", "Straße"}));

    ASSERT_EQ(client.exec("SELECT name FROM names").status, 0);
    for (const std::string& name : wire) {
        EXPECT_EQ(client.statement('F').data, "S" + name + '\0');
    }
    ASSERT_EQ(client.exec("SELECT name FROM names WHERE name = 'S\326ren'").status, 0);
    EXPECT_EQ(client.statement('R', "\0"s).data, "S\326ren");
}

TEST(Charset, SampleDataArrivesInRoman8) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
    ASSERT_EQ(client.exec("SELECT name, city FROM customers WHERE id = 1").status, 0);
    EXPECT_EQ(record_fields(client.statement('F').data),
              (std::vector<std::string>{"SM\317ller GmbH", "SM\317nchen"}));
}

TEST(Charset, CharactersRoman8LacksBecomeQuestionMarks) {
    TestServer server;
    execute_directly(
        server.data_dir() / "sample.db",
        "CREATE TABLE prices(label TEXT); INSERT INTO prices VALUES ('5 €'), ('中文'), ('£ 3');");
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("OPEN DATABASE 'sample'").status, 0);
    ASSERT_EQ(client.exec("SELECT label FROM prices").status, 0);
    EXPECT_EQ(client.statement('F').data, "S5 ?"s + '\0');
    EXPECT_EQ(client.statement('F').data, "S??"s + '\0');
    EXPECT_EQ(client.statement('F').data, "S\273 3"s + '\0');
}

TEST(Charset, ColumnNamesAndMessagesAreRoman8Too) {
    TestServer server;
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("CREATE TABLE t(\"Gr\316\336e\" INTEGER)").status, 0);
    ASSERT_EQ(client.exec("SELECT * FROM t").status, 0);
    EXPECT_EQ(client.statement('H', "\0"s).data, "Gr\316\336e");
    EXPECT_EQ(client.statement('V').data, "SGr\316\336e"s + '\0');
    const auto failure = client.exec("SELECT * FROM k\317hlschrank");
    EXPECT_EQ(failure.data, "no such table: k\317hlschrank");
}

} // namespace
