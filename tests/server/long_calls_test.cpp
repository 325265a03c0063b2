// The server's own like(), glob(), instr(), replace(), trim() and printf()
// give SQLite's results (compared with SQLite's own on a plain connection,
// for a table of cases and for random ones), and stop a long call when told.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "server/backends/sqlite/sqlite_long_calls.h"

namespace {

using Clock = std::chrono::steady_clock;

// One expression's result as type and bytes, or its failure.
std::string evaluate(sqlite3* db, const std::string& expression) {
    sqlite3_stmt* statement = nullptr;
    const std::string sql = "SELECT typeof(v), hex(v) FROM (SELECT " + expression + " AS v)";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        return std::string("prepare: ") + sqlite3_errmsg(db);
    }
    std::string result;
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        result += " ";
        result += reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
    } else {
        result = "error " + std::to_string(rc) + ": " + sqlite3_errmsg(db);
    }
    sqlite3_finalize(statement);
    return result;
}

class LongCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &ours_), SQLITE_OK);
        ASSERT_EQ(sqlite3_open(":memory:", &sqlites_), SQLITE_OK);
        // The server's length bound, so that the too-long cases fail alike.
        sqlite3_limit(ours_, SQLITE_LIMIT_LENGTH, 1 << 20);
        sqlite3_limit(sqlites_, SQLITE_LIMIT_LENGTH, 1 << 20);
        guard_.should_stop = [this] { return stop_; };
        ASSERT_TRUE(dorvd::install_long_call_functions(ours_, guard_));
    }
    void TearDown() override {
        sqlite3_close(ours_);
        sqlite3_close(sqlites_);
    }
    void expect_same(const std::string& expression) {
        const std::string expected = evaluate(sqlites_, expression);
        EXPECT_EQ(evaluate(ours_, expression), expected) << expression;
    }
    void both(const char* sql) {
        ASSERT_EQ(sqlite3_exec(ours_, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(sqlites_, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    }

    // Before the guard: SQLite closes its functions' data with the handle.
    bool stop_ = false;
    dorvd::LongCallGuard guard_;
    sqlite3* ours_ = nullptr;
    sqlite3* sqlites_ = nullptr;
};

const char* const kCases[] = {
    // like
    "'abc' LIKE 'A%'",
    "'abc' LIKE 'a_c'",
    "'ABC' LIKE 'abc'",
    "'aXb' LIKE 'a%b'",
    "'' LIKE ''",
    "'' LIKE '%'",
    "'a' LIKE ''",
    "'abc' LIKE '%c'",
    "'abc' LIKE '%b%'",
    "'abc' LIKE '%%%'",
    "'abc' LIKE '%_%_%_%_'",
    "'aaa' LIKE '%a%a%a%a'",
    "'a%c' LIKE 'a\\%c' ESCAPE '\\'",
    "'abc' LIKE 'a\\%c' ESCAPE '\\'",
    "'a_c' LIKE 'a\\_c' ESCAPE '\\'",
    "'a\\' LIKE 'a\\' ESCAPE '\\'",
    "'a%c' LIKE 'a%%c' ESCAPE '%'",
    "'abc' LIKE 'a%c' ESCAPE '%'",
    "'a_c' LIKE 'a__c' ESCAPE '_'",
    "'abc' LIKE 'abc' ESCAPE 'ab'",
    "'abc' LIKE 'abc' ESCAPE ''",
    "'abc' LIKE 'abc' ESCAPE NULL",
    "'é' LIKE 'é' ESCAPE 'é'",
    "NULL LIKE 'a'",
    "'a' LIKE NULL",
    "x'61' LIKE 'a'",
    "'a' LIKE x'61'",
    "12 LIKE '1%'",
    "1.5 LIKE '1._'",
    "'Müller' LIKE 'mü%'",
    "'MÜLLER' LIKE 'mü%'",
    "'é' LIKE '_'",
    "'éa' LIKE '_a'",
    "'日本語' LIKE '%本%'",
    "'日本語' LIKE '_本_'",
    "('a' || char(0) || 'b') LIKE 'a'",
    "CAST(x'C3' AS TEXT) LIKE '_'",
    "CAST(x'80' AS TEXT) LIKE '_'",
    "CAST(x'80' AS TEXT) LIKE '%'",
    "CAST(x'E0808F' AS TEXT) LIKE CAST(x'E0808F' AS TEXT)",
    "CAST(x'EDA080' AS TEXT) LIKE '_'",
    "'x' LIKE CAST(x'C3' AS TEXT)",
    "'aZ' LIKE '%z'",
    "'a[b' LIKE 'a[b'",
    "like('a%', 'abc')",
    "like('a!%', 'a%', '!')",
    // glob
    "'abc' GLOB 'a*'",
    "'abc' GLOB 'A*'",
    "'abc' GLOB 'a?c'",
    "'abc' GLOB '[a-c]bc'",
    "'abc' GLOB '[^a]bc'",
    "'abc' GLOB '*[c]'",
    "']' GLOB '[]]'",
    "'-' GLOB '[a-]'",
    "'b' GLOB '[a-]'",
    "'abc' GLOB '*[b-'",
    "'x' GLOB '['",
    "'' GLOB '*'",
    "'é' GLOB '[à-ê]'",
    "'a*c' GLOB 'a[*]c'",
    "'abc' GLOB '*?'",
    "'abc' GLOB '**?*'",
    "'ab' GLOB '*??*'",
    "'a' GLOB '*??*'",
    "'z' GLOB '[^]]'",
    "']' GLOB '[^]]'",
    "'c' GLOB '[a-b-d]'",
    "'-' GLOB '[-a]'",
    "x'61' GLOB 'a'",
    "12 GLOB '1*'",
    "'日本語' GLOB '*語'",
    "CAST(x'C3A9' AS TEXT) GLOB '[' || CAST(x'C3' AS TEXT) || ']'",
    // instr
    "instr('abc', 'c')",
    "instr('abc', '')",
    "instr('', 'a')",
    "instr('', '')",
    "instr(NULL, 'a')",
    "instr('a', NULL)",
    "instr('日本語', '語')",
    "instr(x'0102030405', x'0304')",
    "instr(x'0102', 'a')",
    "instr(x'61626364', 'cd')",
    "instr('ab' || char(0) || 'cd', 'cd')",
    "instr(12345, 34)",
    "instr(1.5, '.')",
    "instr('aaa', 'aaaa')",
    "instr('abcabc', 'ca')",
    "instr(CAST(x'61C3A962' AS TEXT), CAST(x'A962' AS TEXT))",
    "instr(CAST(x'80C3A9' AS TEXT), CAST(x'80' AS TEXT))",
    "instr(CAST(x'C3A9C3A9' AS TEXT), CAST(x'A9' AS TEXT))",
    "instr(x'00FF00', x'FF')",
    "instr('éé', 'é')",
    "instr('aéb', 'b')",
    // replace
    "replace('abcabc', 'b', 'XY')",
    "replace('abc', '', 'x')",
    "replace('abc', NULL, 'x')",
    "replace(NULL, 'a', 'b')",
    "replace('abc', 'a', NULL)",
    "replace('aaaa', 'aa', 'b')",
    "replace('aaa', 'aa', 'b')",
    "replace(123, 2, 9)",
    "replace(x'616263', 'b', 'z')",
    "replace('日本語', '本', 'x')",
    "replace('a' || char(0) || 'b', char(0), '-')",
    "replace('abc', 'abc', '')",
    "replace(5, '', 'x')",
    "replace('ab', 'abc', 'x')",
    "replace(printf('%.*c', 600000, 'a'), 'a', 'bb')",
    "replace(char(0) || 'a', char(0), 'x')",
    // trim
    "trim('xxaxx', 'x')",
    "ltrim('xxaxx', 'x')",
    "rtrim('xxaxx', 'x')",
    "trim('abc', '')",
    "trim('abc', NULL)",
    "trim(NULL, 'a')",
    "trim('ééaé', 'é')",
    "trim('  a  ', ' ')",
    "trim(123, 1)",
    "trim('abcba', 'ab')",
    "trim(x'6161626161', 'a')",
    "trim(5, '5')",
    "trim(CAST(x'C3A9C3' AS TEXT), CAST(x'C3' AS TEXT))",
    "rtrim('aé', CAST(x'A9' AS TEXT))",
    "ltrim('日本語日', '日')",
    "trim('', 'a')",
    "trim('abc', 'cba')",
    // printf
    "printf('%d-%s', 3, 'a')",
    "printf('%q', 'it''s')",
    "printf('%Q', NULL)",
    "printf('%.*c', 3, 'x')",
    "printf()",
    "printf(NULL)",
    "printf('%5.2f|%-4d|', 3.14159, 7)",
    "format('%w', 'a\"b')",
    "printf('%c', 'é')",
    "printf('%.3c', 'é')",
    "printf('%.*c', 2000000, 'x')",
    "printf('%s %s', 1)",
    "printf('%z', 'a')",
};

TEST_F(LongCalls, GiveSqlitesResults) {
    for (const char* expression : kCases)
        expect_same(expression);
}

TEST_F(LongCalls, FollowCaseSensitiveLike) {
    both("PRAGMA case_sensitive_like = 1");
    ASSERT_TRUE(dorvd::reinstall_like(ours_, guard_));
    EXPECT_FALSE(guard_.like_ignores_case);
    for (const char* expression : {"'abc' LIKE 'ABC'", "'abc' LIKE 'a%'", "'Ab' LIKE 'a_'"})
        expect_same(expression);
    both("PRAGMA case_sensitive_like = 0");
    ASSERT_TRUE(dorvd::reinstall_like(ours_, guard_));
    EXPECT_TRUE(guard_.like_ignores_case);
    expect_same("'abc' LIKE 'ABC'");
}

// Patterns and texts of the characters that matter to the matching rules.
TEST_F(LongCalls, GiveSqlitesResultsForRandomArguments) {
    const std::vector<std::string> pieces = {
        "a", "b", "A", "%", "_", "\\", "é", "[", "]", "^", "-", "*", "?", "ab", "'||char(0)||'"};
    std::mt19937 random(20261211);
    const auto text = [&] {
        std::string t;
        const auto length = random() % 7;
        for (unsigned i = 0; i < length; ++i)
            t += pieces[random() % pieces.size()];
        return "'" + t + "'";
    };
    for (int i = 0; i < 1500; ++i) {
        const std::string a = text();
        const std::string b = text();
        const std::string c = text();
        for (const std::string& expression :
             {a + " LIKE " + b, a + " LIKE " + b + " ESCAPE '\\'", a + " GLOB " + b,
              "instr(" + a + ", " + b + ")", "replace(" + a + ", " + b + ", " + c + ")",
              "trim(" + a + ", " + b + ")", "ltrim(" + a + ", " + b + ")",
              "rtrim(" + a + ", " + b + ")"}) {
            expect_same(expression);
        }
        if (HasFailure()) break;
    }
}

// A call that SQLite would run for many seconds ends once should_stop() says so.
TEST_F(LongCalls, StopWhenTold) {
    const char* const calls[] = {
        "printf('%.*c', 200000, 'a') LIKE '%' || printf('%.*c', 20000, 'a') || 'b'",
        "printf('%.*c', 200000, 'a') GLOB '*' || printf('%.*c', 20000, 'a') || 'b'",
        "trim(printf('%.*c', 400000, 'a'), printf('%.*c', 50000, 'b') || 'a')",
    };
    for (const char* call : calls) {
        SCOPED_TRACE(call);
        stop_ = false;
        int asked = 0;
        guard_.should_stop = [&] { return ++asked > 3; };
        const auto start = Clock::now();
        const std::string result = evaluate(ours_, call);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(result.rfind("error 9:", 0), 0u) << result;
        EXPECT_GT(asked, 3);
    }
    // The guard asked before printf runs.
    guard_.should_stop = [] { return true; };
    EXPECT_EQ(evaluate(ours_, "printf('%d', 1)").rfind("error 9:", 0), 0u);
}

// instr() and replace() search in time that grows with their arguments' sum.
TEST_F(LongCalls, SearchInLinearTime) {
    sqlite3_limit(ours_, SQLITE_LIMIT_LENGTH, 16 << 20);
    const auto start = Clock::now();
    EXPECT_EQ(evaluate(ours_, "instr(printf('%.*c', 2000000, 'a'), printf('%.*c', 200000, 'a') "
                              "|| 'b')"),
              "integer 30");
    EXPECT_EQ(evaluate(ours_, "length(replace(printf('%.*c', 2000000, 'a'), printf('%.*c', "
                              "200000, 'a') || 'b', 'x'))"),
              "integer 32303030303030");
    // SQLite's own takes several seconds for each.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

} // namespace
