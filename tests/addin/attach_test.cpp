// What the add-in reads when it is attached (windorv.ini, the user's decimal
// separator) and what its debug log shows.
#include "addin_fixture.h"
#include "support/test_files.h"
#include "trace_file.h"

#include <regex>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Attach = AddinTest;

TEST_F(Attach, TheLogOpensWithAStartLineAndClosesWithAnEndLine) {
    std::string log;
    {
        XllTrace trace;
        log = trace.text();
    }
    // "12/8/96 9:05:03": month/day/two-digit year, hour without a leading zero.
    std::string when = "\\d{1,2}/\\d{1,2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2}";
    EXPECT_TRUE(
        std::regex_match(log, std::regex("\nStart: " + when + "\n\n\n\nEnde: " + when + "\n")))
        << log;
}

TEST_F(Attach, ConversionsTraceTheirSteps) {
    fake_set_text(1, 0, 0, "  ab ");
    fake_set_text(1, 0, 2, "c");
    fake_set_number(1, 1, 0, 7.9);
    std::string log;
    {
        XllTrace trace;
        XllSession session;
        session.peer.expect(exec_request("ab c")).send(status_block(0, ""));
        session.open();
        Opers args;
        EXPECT_EQ(xll().XDorvExec(args.sref(1, 1, 0, 0), args.sref(0, 0, 0, 2)),
                  0); // no connection 7
        EXPECT_EQ(xll().XDorvExec(session.hdl, args.sref(0, 0, 0, 2)), 1);
        EXPECT_EQ(describe(xll().XDorvDisconnect(args.missing())), err_text(excel::ErrNA));
        EXPECT_EQ(describe(xll().XDorvDisconnect(args.str("1"))), err_text(excel::ErrValue));
        session.close();
        log = trace.text();
    }
    const char* expected[] = {
        "\nMKINT: xltypeRef, xltypeSRef, xltypeMulti\n   int value = 7\n",
        "\nMKSTR: xltypeRef, xltypeSRef, xltypeMulti\n   i=  0, tmp_ofs=   3, strlen= 2\n   val: [ "
        " ]\n"
        "   xltypeNil\n   i=  2, tmp_ofs=   5, strlen= 1\n   val: [c]\n",
        "\nXDorvExec: call hl_dorv_exec (DLL function) with hdl: ",
        "\nMKINT: xltypeMissing\n",
        "\nMKINT: default xltype: 2\n",
    };
    for (const char* e : expected)
        EXPECT_NE(log.find(e), std::string::npos) << "missing: [" << e << "]\n" << log;
}

#ifdef _WIN32
// The separator comes from the user's profile (section intl, key sDecimal),
// read once at attach.
TEST_F(Attach, NumbersWrittenWithTheUsersDecimalCommaAreRead) {
    char saved[8];
    GetProfileStringA("intl", "sDecimal", "", saved, sizeof saved);
    ASSERT_TRUE(WriteProfileStringA("intl", "sDecimal", ","));
    reload_xll();
    {
        XllSession session;
        session.peer.expect(exec_request("q")).send(status_block(0, ""));
        script_rows(session.peer, {{"N3,5"}, {"N3.5"}, {"N-0,25"}});
        session.open();
        EXPECT_EQ(xll().XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 0, 0), op.missing()),
                  3);
    }
    WriteProfileStringA("intl", "sDecimal", saved[0] != '\0' ? saved : nullptr);
    reload_xll();
    EXPECT_EQ(cells(1, 0, 2, 0, 0), (std::vector<std::string>{"num 3.5", "num 3.5", "num -0.25"}));
}
#endif

} // namespace
