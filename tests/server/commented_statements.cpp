#include "commented_statements.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace dorvd_test {
namespace {

constexpr int kOk = 0;
constexpr int kSyntaxError = 1; // SQLite's SQLITE_ERROR; PostgreSQL's class 42
constexpr int kNotAuthorized = 23;
constexpr int kWrongPassword = 202;
constexpr int kEndOfData = -9;

// In the table, '|' ends a field of a value record.
std::string record(const std::string& fields) {
    std::string out = fields;
    for (char& c : out)
        if (c == '|') c = '\0';
    return out;
}

struct Reply {
    int status = 0;
    const char* text = nullptr;       // the reply's data; null: the engine's own text (status only)
    std::vector<const char*> records; // the header record and the rows; none: no rows
};

struct Case {
    const char* what;
    std::vector<const char*> before; // run first on the connection, each answering status 0
    std::string statement;
    Reply reply;
    const char* explanation = nullptr; // a part of explain's answer; null: not checked
    // A query afterwards, and its reply: what the statement left behind.
    const char* then = nullptr;
    Reply then_reply = {};
    // The reply through SQLite where the engines genuinely differ.
    std::optional<Reply> on_sqlite = std::nullopt;
};

const char* const kCopyRefused = "not authorized: COPY is not for clients: it reaches the "
                                 "database server's files and programs. Use SELECT and INSERT.";

const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        {"block comment before a query",
         {},
         "/* c */ SELECT 1 AS one",
         {kOk, "", {"Sone|", "N1|"}}},
        {"line comment before a query", {}, "-- c\nSELECT 2 AS two", {kOk, "", {"Stwo|", "N2|"}}},
        {"comments before a query on a database",
         {"OPEN DATABASE 'sample'"},
         "-- first\n/* second */ select name from customers where id = 6",
         {kOk, "", {"Sname|", "SHewlett Brothers|"}}},
        // SQLite has no query in parentheses: its own syntax error.
        {"query in parentheses",
         {},
         "(SELECT 1 AS one)",
         {kOk, "", {"Sone|", "N1|"}},
         nullptr,
         nullptr,
         {},
         Reply{kSyntaxError, nullptr, {}}},
        {"query in nested parentheses behind a comment",
         {},
         "/* c */ ((SELECT 3 AS three))",
         {kOk, "", {"Sthree|", "N3|"}},
         nullptr,
         nullptr,
         {},
         Reply{kSyntaxError, nullptr, {}}},
        {"insert of no rows behind a comment",
         {"CREATE TEMP TABLE t (id integer)"},
         "/* c */ INSERT INTO t SELECT 1 WHERE 1 = 0",
         {kOk, "0 rows affected", {}}},
        {"insert behind a line comment",
         {"CREATE TEMP TABLE t (id integer)"},
         "-- c\ninsert into t values (1)",
         {kOk, "1 row affected", {}},
         nullptr,
         "SELECT count(*) AS n FROM t",
         {kOk, "", {"Sn|", "N1|"}}},
        {"update of no rows behind a comment",
         {"CREATE TEMP TABLE t (id integer)"},
         "/* c */ UPDATE t SET id = 2 WHERE 1 = 0",
         {kOk, "0 rows affected", {}}},
        {"delete of no rows in lower case behind comments",
         {"CREATE TEMP TABLE t (id integer)"},
         "/* a */ -- b\n delete from t",
         {kOk, "0 rows affected", {}}},
        {"OPEN DATABASE behind a block comment",
         {},
         "/* c */ OPEN DATABASE 'sample'",
         {kOk, "", {}},
         "Databases open: sample.",
         "SELECT count(*) AS n FROM customers",
         {kOk, "", {"Sn|", "N6|"}}},
        {"OPEN DATABASE behind a line comment, odd case and spacing",
         {},
         "-- c\n  open \t DataBase 'secret' AS 'geheim'",
         {kOk, "", {}},
         "Databases open: secret.",
         "SELECT count(*) AS n FROM salaries",
         {kOk, "", {"Sn|", "N3|"}}},
        {"OPEN DATABASE inside a comment is no OPEN DATABASE",
         {},
         "-- OPEN DATABASE 'secret'\nSELECT 1 AS one",
         {kOk, "", {"Sone|", "N1|"}},
         nullptr,
         "SELECT count(*) AS n FROM salaries",
         {kSyntaxError, nullptr, {}}},
        {"wrong password behind a comment",
         {},
         "/* c */ OPEN DATABASE 'secret' AS 'wrong'",
         {kWrongPassword, "Wrong password for database 'secret'.", {}},
         nullptr,
         "SELECT count(*) AS n FROM salaries",
         {kSyntaxError, nullptr, {}}},
        {"COPY behind a comment",
         {"OPEN DATABASE 'sample'"},
         "/* c */ COPY customers TO STDOUT",
         {kNotAuthorized, kCopyRefused, {}}},
        {"COPY behind a line comment and a parenthesis",
         {"OPEN DATABASE 'sample'"},
         "-- c\n(copy customers to stdout)",
         {kNotAuthorized, kCopyRefused, {}}},
        {"nothing but a comment", {}, "-- c", {kOk, "", {}}, "Empty statement"},
        {"unterminated comment",
         {},
         "/* unterminated",
         {kSyntaxError, "The statement begins with a /* comment that is not closed.", {}}},
        {"unterminated comment before a keyword",
         {},
         "/* SELECT 1 AS one",
         {kSyntaxError, "The statement begins with a /* comment that is not closed.", {}}},
    };
    return table;
}

// The value records of the pending result, the header first.
std::vector<std::string> read_records(RawClient& client) {
    std::vector<std::string> records;
    const auto header = client.statement('V');
    if (header.status != kOk) return records;
    records.push_back(header.data);
    for (;;) {
        const auto row = client.statement('F');
        if (!row.ok || row.status != kOk) {
            EXPECT_EQ(row.status, kEndOfData) << row.data;
            break;
        }
        records.push_back(row.data);
    }
    return records;
}

void check_reply(RawClient& client, const std::string& statement, const Reply& expected,
                 const char* explanation = nullptr) {
    SCOPED_TRACE(statement);
    const auto reply = client.exec(statement);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, expected.status) << reply.data;
    if (expected.text != nullptr) {
        EXPECT_EQ(reply.data, expected.text);
    }
    if (explanation != nullptr) {
        const std::string explained = client.explain().data;
        EXPECT_NE(explained.find(explanation), std::string::npos) << explained;
    }
    if (reply.status != kOk) return;
    std::vector<std::string> want;
    for (const char* r : expected.records)
        want.push_back(record(r));
    EXPECT_EQ(read_records(client), want);
}

} // namespace

void check_commented_statements(Engine engine, const std::function<RawClient()>& connect) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        RawClient client = connect();
        ASSERT_TRUE(client.connected());
        for (const char* before : c.before) {
            const auto reply = client.exec(before);
            ASSERT_EQ(reply.status, kOk) << before << ": " << reply.data;
        }
        const bool differs = engine == Engine::sqlite && c.on_sqlite;
        check_reply(client, c.statement, differs ? *c.on_sqlite : c.reply, c.explanation);
        if (c.then != nullptr) check_reply(client, c.then, c.then_reply);
    }
}

} // namespace dorvd_test
