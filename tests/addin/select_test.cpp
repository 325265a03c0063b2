// XDorvSelectEntry: the key of a picked row of a pending result.
#include "addin_fixture.h"
#include "trace_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string header_request() {
    return request('H', std::string(1, 2));
}
std::string row_request() {
    return request('R', std::string(1, '\0'));
}

const char* const header = "NAME      CITY      ";

using Select = AddinTest;

TEST_F(Select, ASingleRowIsTakenWithoutADialog) {
    struct Case {
        const char* what;
        excel::Oper* keyfield;
        excel::Oper* keylen;
        std::string key;
    } cases[] = {
        {"the whole row", op.missing(), op.missing(), "Smith     Paris"},
        {"the key column", op.str("CITY"), op.num(5), "Paris"},
        {"a key column not in the header", op.str("ZIP"), op.num(3), "Smi"},
        {"keylen 0 ignores the key column", op.str("CITY"), op.num(0), "Smith     Paris"},
    };
    XllSession session;
    for (size_t i = 0; i < std::size(cases); ++i) {
        session.peer.expect(header_request()).send(status_block(0, header));
        session.peer.expect(row_request()).send(status_block(0, "Smith     Paris     "));
        session.peer.expect(row_request()).send(status_block(-9, ""));
    }
    session.open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        char* key = x.XDorvSelectEntry(session.hdl, c.keyfield, c.keylen, op.missing());
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(std::string(key), c.key);
    }
}

TEST_F(Select, MaxSelectOneTakesTheFirstRowAndLeavesTheRestUnread) {
    XllSession session;
    session.peer.expect(header_request()).send(status_block(0, header));
    session.peer.expect(row_request()).send(status_block(0, "Jones     Rome"));
    session.open();
    char* key = x.XDorvSelectEntry(session.hdl, op.str("NAME"), op.num(5), op.num(1));
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(key, "Jones");
}

TEST_F(Select, NoRowOrACancelledDialogGivesNoEntryQualified) {
    XllSession session;
    session.peer.expect(header_request()).send(status_block(0, header));
    session.peer.expect(row_request()).send(status_block(-9, ""));
    session.peer.expect(header_request()).send(status_block(0, header));
    session.peer.expect(row_request()).send(status_block(0, "Smith     Paris"));
    session.peer.expect(row_request()).send(status_block(0, "Jones     Rome"));
    session.peer.expect(row_request()).send(status_block(-9, ""));
    session.open();
    EXPECT_STREQ(x.XDorvSelectEntry(session.hdl, op.missing(), op.missing(), op.missing()),
                 "No entry qualified");
    ShownBoxes boxes;
#ifdef _WIN32
    // The dialog with the two rows: the user presses Cancel.
    bool shown = false;
    boxes.capture().on_dialog = [&shown](void* dialog) {
        shown = true;
        PostMessageA(static_cast<HWND>(dialog), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return true;
    };
#endif
    // Without an answerer the POSIX dialog is cancelled.
    EXPECT_STREQ(x.XDorvSelectEntry(session.hdl, op.missing(), op.missing(), op.missing()),
                 "No entry qualified");
#ifdef _WIN32
    EXPECT_TRUE(shown);
#endif
}

TEST_F(Select, AnInvalidHandleIsTheLibrarysMessageAndNoEntryQualified) {
    ShownBoxes boxes;
    EXPECT_STREQ(x.XDorvSelectEntry(op.num(9999), op.missing(), op.missing(), op.missing()),
                 "No entry qualified");
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Invalid connection handle:\n handle = 9999"});
}

TEST_F(Select, ArgumentsGivenButUnreadableGiveANullTextAndSendNothing) {
    XllSession session;
    session.open();
    struct Case {
        const char* what;
        excel::Oper *hdl, *keyfield, *keylen, *max_select;
    } cases[] = {
        {"handle omitted", op.missing(), op.missing(), op.missing(), op.missing()},
        {"handle a text", op.str("1"), op.missing(), op.missing(), op.missing()},
        {"keyfield a number", session.hdl, op.num(1), op.missing(), op.missing()},
        {"keylen a text", session.hdl, op.str("CITY"), op.str("5"), op.missing()},
        {"max_select a text", session.hdl, op.missing(), op.num(5), op.str("10")},
        {"max_select an error", session.hdl, op.missing(), op.num(5), op.err(excel::ErrDiv0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(x.XDorvSelectEntry(c.hdl, c.keyfield, c.keylen, c.max_select), nullptr);
    }
}

TEST_F(Select, AKeyfieldLongerThanTheKeyHoldsIsCut) {
    XllSession session;
    session.peer.expect(header_request()).send(status_block(0, header));
    session.peer.expect(row_request()).send(status_block(0, "Smith     Paris"));
    session.peer.expect(row_request()).send(status_block(-9, ""));
    session.open();
    // Two cells of 200 characters join to 401: the first 255 go to the library.
    excel::Oper* keyfield =
        op.multi(1, 2, {op.str(std::string(200, 'k')), op.str(std::string(200, 'k'))});
    char* key = x.XDorvSelectEntry(session.hdl, keyfield, op.num(4), op.missing());
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(key, "Smit");
}

TEST_F(Select, TheCallAndItsResultAreTraced) {
    std::string log;
    {
        XllTrace trace;
        XllSession session;
        session.peer.expect(header_request()).send(status_block(0, header));
        session.peer.expect(row_request()).send(status_block(0, "Smith     Paris"));
        session.peer.expect(row_request()).send(status_block(-9, ""));
        session.open();
        Opers args;
        EXPECT_STREQ(
            xll().XDorvSelectEntry(session.hdl, args.missing(), args.num(3), args.missing()),
            "Smi");
        session.close();
        log = trace.text();
    }
    std::string call =
        "\nXDorvSelectEntry: call hl_dorv_select_entry (DLL function) with:\n   hdl: ";
    size_t at = log.find(call);
    ASSERT_NE(at, std::string::npos) << log;
    size_t rest = log.find('\n', at + call.size());
    std::string arguments = "\n   keylen: 3\n   max_select: 0\n   keyfield: [(null)]\n";
    EXPECT_EQ(log.substr(rest, arguments.size()), arguments) << log;
    EXPECT_NE(log.find("after select: keyfield: [Smi]\n"), std::string::npos) << log;
}

} // namespace
