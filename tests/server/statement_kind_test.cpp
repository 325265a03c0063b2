// The statement classifier: the first keyword behind blanks, comments and
// parentheses, and what it makes the statement.
#include <gtest/gtest.h>

#include <string>

#include "server/base/statement_kind.h"

namespace {

using namespace std::string_literals;

// The flags in the order O(pen database) W(rites data) T(ransaction
// control) R(esets settings) C(opy) U(nterminated comment) P(arenthesized);
// '.' for a flag not set.
struct KindCase {
    std::string statement;
    const char* keyword;
    size_t offset;
    const char* flags;
};

std::string flags_of(const dorvd::StatementKind& kind) {
    std::string out;
    out += kind.open_database ? 'O' : '.';
    out += kind.writes_data ? 'W' : '.';
    out += kind.transaction_control ? 'T' : '.';
    out += kind.may_reset_settings ? 'R' : '.';
    out += kind.copy ? 'C' : '.';
    out += kind.unterminated_comment ? 'U' : '.';
    out += kind.parenthesized ? 'P' : '.';
    return out;
}

const KindCase kCases[] = {
    {"SELECT 1", "SELECT", 0, "......."},
    {"  select 1", "SELECT", 2, "......."},
    {"", "", 0, "......."},
    {"   \n\t ", "", 6, "......."},
    {"-- only a comment", "", 17, "......."},
    {"/* c */ INSERT INTO t VALUES (1)", "INSERT", 8, ".W....."},
    {"-- c\nupdate t set a = 1", "UPDATE", 5, ".W....."},
    {"/* a */ -- b\n /* c */Delete from t", "DELETE", 21, ".W....."},
    {"replace into t values (1)", "REPLACE", 0, ".W....."},
    {"MERGE INTO t USING s ON true WHEN MATCHED THEN DELETE", "MERGE", 0, ".W....."},
    {"INSERTED", "INSERTED", 0, "......."},
    {"insert_x()", "INSERT_X", 0, "......."},
    {"COPYING", "COPYING", 0, "......."},
    {"/* INSERT */ SELECT 1", "SELECT", 13, "......."},
    {"-- DELETE FROM t\nSELECT 1", "SELECT", 17, "......."},
    {"/* nested /* not */ SELECT 1", "SELECT", 20, "......."},
    {"(SELECT 1)", "SELECT", 1, "......P"},
    {" ( ( /* c */ (select 1)))", "SELECT", 14, "......P"},
    {"(/* c */ copy t to stdout)", "COPY", 9, "....C.P"},
    {"/* c */ COPY t FROM STDIN", "COPY", 8, "....C.."},
    {"/* unterminated", "", 0, ".....U."},
    {"/* SELECT 1", "", 0, ".....U."},
    {"-- c\n/* DELETE FROM t", "", 0, ".....U."},
    {"SELECT 1 /* a comment not closed after the keyword", "SELECT", 0, "......."},
    {"BEGIN", "BEGIN", 0, "..T...."},
    {"start transaction", "START", 0, "..T...."},
    {"commit;", "COMMIT", 0, "..T...."},
    {"END", "END", 0, "..T...."},
    {"rollback to savepoint s", "ROLLBACK", 0, "..TR..."},
    {"ABORT", "ABORT", 0, "..TR..."},
    {"SAVEPOINT s", "SAVEPOINT", 0, "..T...."},
    {"release s", "RELEASE", 0, "..T...."},
    {"PREPARE TRANSACTION 'x'", "PREPARE", 0, "..T...."},
    {"RESET ALL", "RESET", 0, "...R..."},
    {"discard all", "DISCARD", 0, "...R..."},
    {"OPEN DATABASE 'sample'", "OPEN", 0, "O......"},
    {"open\t\n database'sample'", "OPEN", 0, "O......"},
    {"/* c */ Open DataBase \"x\"", "OPEN", 8, "O......"},
    {"-- c\nOPEN DATABASE", "OPEN", 5, "O......"},
    {"OPEN DATABASES 'x'", "OPEN", 0, "......."},
    {"OPENDATABASE 'x'", "OPENDATABASE", 0, "......."},
    {"OPEN cursor_x", "OPEN", 0, "......."},
    {"(OPEN DATABASE 'x')", "OPEN", 1, "......P"},
    {"-- OPEN DATABASE 'secret'\nSELECT 1", "SELECT", 26, "......."},
    {"SELECT 1\0 DROP"s, "SELECT", 0, "......."},
};

TEST(StatementKind, FindsTheFirstKeywordAndWhatItMakesTheStatement) {
    for (const KindCase& c : kCases) {
        SCOPED_TRACE(c.statement);
        const dorvd::StatementKind kind = dorvd::classify_statement(c.statement);
        EXPECT_EQ(kind.keyword, c.keyword);
        EXPECT_EQ(kind.offset, c.offset);
        EXPECT_EQ(flags_of(kind), c.flags);
    }
}

} // namespace
