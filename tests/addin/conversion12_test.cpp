// Worksheet arguments of Excel's 12 interface as the add-in converts them:
// UTF-16 texts to the library's Windows ANSI, integers, and the error values
// a cell shows when an argument cannot be used.
#include "addin_fixture.h"
#include "shown_boxes.h"
#include "trace_file.h"

namespace {

using Conversion12 = Addin12Test;

// Texts reach the server as the statement of XDorvExec12: the library sends
// them in HP Roman-8 (u with diaeresis 0xCF, S with caron 0xEB).
TEST_F(Conversion12, TextsBecomeWindowsAnsiTrimmedAndJoined) {
    const char16_t long_name[] = u"  M\u00FCller \u0160  ";
    fake_set_text12(1, 0, 300, long_name, static_cast<int>(std::size(long_name) - 1));
    fake_set_text12(1, 0, 302, u"x", 1);
    struct Case {
        excel::Oper12* stmt;
        std::string sent;
    } cases[] = {
        {op12.str(u"  select 1  "), "select 1"},
        {op12.str(u"M\u00FCller \u0160"), "M\xCFller \xEB"},
        {op12.sref(0, 0, 300, 302), "M\xCFller \xEB x"}, // past column 256, the empty cell skipped
        {op12.multi(1, 2, {op12.str(u"a"), op12.str(u" b ")}), "a b"},
    };
    XllSession session;
    for (const auto& c : cases)
        session.peer.expect(exec_request(c.sent)).send(status_block(0, ""));
    session.open12();
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.sent));
        EXPECT_EQ(x12.XDorvExec12(session.hdl12, c.stmt), 1);
    }
}

TEST_F(Conversion12, ArgumentsThatGiveNoTextAreErrorValuesWithoutACall) {
    fake_set_text(1, 0, 0, "a");
    fake_set_error(1, 0, 1, excel::ErrDiv0);
    fake_set_number(1, 1, 0, 5);
    fake_set_uncalced(1, 2, 0);
    fake_set_text12(1, 3, 400, u"\u4E2D", 1);
    struct Case {
        const char* what;
        excel::Oper12* transport;
        uint16_t error;
    } cases[] = {
        {"omitted", op12.missing(), excel::ErrNA},
        {"number", op12.num(5), excel::ErrValue},
        {"boolean", op12.boolean(true), excel::ErrValue},
        {"integer", op12.integer(5), excel::ErrValue},
        {"error value", op12.err(excel::ErrRef), excel::ErrValue},
        {"empty", op12.nil(), excel::ErrValue},
        {"a character Windows ANSI lacks", op12.str(u"WIN\u03A9SOCK"), excel::ErrValue},
        {"a lone surrogate", op12.str(std::u16string(1, char16_t{0xD800})), excel::ErrValue},
        {"a cell with such a character", op12.sref(3, 3, 400, 400), excel::ErrValue},
        {"cell with #DIV/0!", op12.sref(0, 0, 0, 1), excel::ErrDiv0},
        {"cell with a number", op12.sref(1, 1, 0, 0), excel::ErrValue},
        {"cell not yet calculated", op12.sref(2, 2, 0, 0), excel::ErrNA},
        {"array with #N/A", op12.multi(1, 2, {op12.str(u"a"), op12.err(excel::ErrNA)}),
         excel::ErrNA},
        {"sheet Excel does not know", op12.ref(99, 0, 0, 0, 0), excel::ErrValue},
        {"longer than the text pool", op12.str(std::u16string(5000, u'w')), excel::ErrNA},
    };
    ShownBoxes boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(x12.XDorvConnect12(c.transport, op12.str(u"127.0.0.1"), op12.str(u"1"),
                                              op12.missing())),
                  err_text(c.error));
        EXPECT_EQ(fake_outstanding(), 0);
    }
    // Only the pool says why; nothing reached the library.
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv XLL|not enough memory to alloc tmpstr\n   max size: "
                                       "4096\n   offset: 0\n   nbytes: 5001"});
}

TEST_F(Conversion12, ArgumentsThatGiveNoNumberAreErrorValues) {
    fake_set_error(1, 0, 0, excel::ErrRef);
    fake_set_text(1, 1, 0, "4");
    struct Case {
        const char* what;
        excel::Oper12* handle;
        uint16_t error;
    } cases[] = {
        {"omitted", op12.missing(), excel::ErrNA},
        {"text of a number", op12.str(u"4"), excel::ErrValue},
        {"integer-typed", op12.integer(4), excel::ErrValue},
        {"first cell #REF!", op12.sref(0, 0, 0, 1), excel::ErrRef},
        {"first cell a text", op12.sref(1, 1, 0, 0), excel::ErrValue},
        {"beyond 64 bits", op12.num(1e300), excel::ErrNum},
    };
    ShownBoxes boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(x12.XDorvDisconnect12(c.handle)), err_text(c.error));
        EXPECT_EQ(describe(x12.XDorvVersion12(c.handle)), err_text(c.error));
    }
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
    EXPECT_EQ(fake_outstanding(), 0);
}

TEST_F(Conversion12, TheTraceSaysWhichCharacterHasNoByte) {
    std::string log;
    {
        XllTrace trace;
        Opers12 args;
        EXPECT_EQ(describe(xll12().XDorvConnect12(args.str(u"WIN\u20ACSOCK\u03A9"), args.str(u"h"),
                                                  args.str(u"1"), args.missing())),
                  err_text(excel::ErrValue));
        log = trace.text();
    }
    // The euro sign has its byte (0x80); the omega has none.
    EXPECT_NE(log.find("\nMKSTR: xltypeStr\n   no Windows ANSI character: U+03A9\n"),
              std::string::npos)
        << log;
}

} // namespace
