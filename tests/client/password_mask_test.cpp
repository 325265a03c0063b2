// Passwords in OPEN DATABASE statements never reach the debug log.
#include "client/protocol/password_mask.h"
#include "peer_session.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

namespace {

TEST(PasswordMask, PasswordsBehindAsAreMaskedInOpenDatabaseStatements) {
    struct Case {
        std::string text, traced;
    } cases[] = {
        {"OPEN DATABASE 'a' AS 'geheim', 'b'", "OPEN DATABASE 'a' AS '********', 'b'"},
        {"open  database 'x' as \"p;w\";select 1", "open  database 'x' as \"********\";select 1"},
        {"OPEN DATABASE 'as' AS'x'", "OPEN DATABASE 'as' AS'********'"},
        {"OPEN DATABASE 'a' AS 'unterminated", "OPEN DATABASE 'a' AS '********"},
        {"OPEN DATABASE 'a'", "OPEN DATABASE 'a'"},
        {"select name as 'alias' from t",
         "select name as 'alias' from t"}, // no database opened here
        {"select 'OPEN DATABASE' as x", "select 'OPEN DATABASE' as x"},
        {"OPEN DATABASE 'a' AS 'p' , 'b' AS 'q'",
         "OPEN DATABASE 'a' AS '********' , 'b' AS '********'"},
    };
    for (const auto& c : cases) {
        char out[128];
        mask_passwords(c.text.c_str(), out, sizeof out);
        EXPECT_EQ(std::string(out), c.traced) << c.text;
    }
    char small[12];
    mask_passwords("OPEN DATABASE 'a' AS 'pw'", small, sizeof small);
    EXPECT_STREQ(small, "OPEN DATABA");
}

TEST(PasswordMask, EveryFormThatTheServerReadsAsAPasswordIsMasked) {
    struct Case {
        std::string text, traced;
    } cases[] = {
        // Bare words, as the server takes them.
        {"OPEN DATABASE secret AS geheim", "OPEN DATABASE secret AS ********"},
        {"open database a as pw, b as \"p2\"", "open database a as ********, b as \"********\""},
        {"OPEN DATABASE a AS pw,b AS q2;select 1",
         "OPEN DATABASE a AS ********,b AS ********;select 1"},
        {"  OPEN\tDATABASE\n'a'\tAS\tpw", "  OPEN\tDATABASE\n'a'\tAS\t********"},
        // A quote inside the password, as the library writes it ('%s' unescaped).
        {"OPEN DATABASE 'a' AS 'ge'heim', 'b'", "OPEN DATABASE 'a' AS '********"},
        {"OPEN DATABASE 'a' AS 'ge''heim'", "OPEN DATABASE 'a' AS '********"},
        {"OPEN DATABASE 'a' AS \"it\"s\"", "OPEN DATABASE 'a' AS \"********"},
        {"OPEN DATABASE a AS ge'heim", "OPEN DATABASE a AS ********"},
        {"OPEN DATABASE 'a' AS 'ge' heim'; select 2", "OPEN DATABASE 'a' AS '********' ********"},
        {"OPEN DATABASE 'a' AS 'x;y'z'", "OPEN DATABASE 'a' AS '********"},
        // A forgotten AS: what follows the name may be the password.
        {"OPEN DATABASE 'secret' 'geheim'", "OPEN DATABASE 'secret' '********"},
        {"OPEN DATABASE secret geheim", "OPEN DATABASE secret ********"},
        // The other quote inside a quoted password is plain.
        {"OPEN DATABASE 'a' AS 'it\"s', 'b' AS \"it's\"",
         "OPEN DATABASE 'a' AS '********', 'b' AS \"********\""},
        // A later statement of the text that opens databases.
        {"select 1; open database x as y", "select 1; open database x as ********"},
        {"select 1;update t set c='OPEN DATABASE a AS b'",
         "select 1;update t set c='OPEN DATABASE a AS b'"},
        {"OPEN DATABASE", "OPEN DATABASE"},
        {"OPEN DATABASE 'a' AS", "OPEN DATABASE 'a' AS"},
    };
    for (const auto& c : cases) {
        char out[128];
        mask_passwords(c.text.c_str(), out, sizeof out);
        EXPECT_EQ(std::string(out), c.traced) << c.text;
    }
}

TEST(PasswordMask, TheStatementTracesOfExecShowNoPassword) {
    PeerSession s;
    s.peer.expect(exec_request("OPEN DATABASE 'secret' AS 'geheim'")).send(status_block(0, ""));
    s.open();
    TraceLog log;
    char text[] = "OPEN DATABASE 'secret' AS 'geheim'";
    EXPECT_EQ(hl_dorv_exec(s.handle, text), 0);
    std::string traced = log.text();
    EXPECT_EQ(traced.find("geheim"), std::string::npos) << traced;
    EXPECT_NE(
        traced.find("\nhl_dorv_exec(), stmt_len = 34\n   [OPEN DATABASE 'secret' AS '********']"),
        std::string::npos)
        << traced;
    EXPECT_NE(traced.find(
                  "\nDORV EXEC: stmt length: 34\n   stmt: [OPEN DATABASE 'secret' AS '********']"),
              std::string::npos);
}

TEST(PasswordMask, ABarePasswordNeverReachesTheLog) {
    PeerSession s;
    s.peer.expect(exec_request("OPEN DATABASE secret AS geheim")).send(status_block(0, ""));
    s.open();
    TraceLog log;
    char text[] = "OPEN DATABASE secret AS geheim";
    EXPECT_EQ(hl_dorv_exec(s.handle, text), 0);
    std::string traced = log.text();
    EXPECT_EQ(traced.find("geheim"), std::string::npos) << traced;
    EXPECT_NE(traced.find("stmt: [OPEN DATABASE secret AS ********]"), std::string::npos) << traced;
}

} // namespace
