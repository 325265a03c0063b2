// Worksheet arguments as the add-in converts them before it calls the library:
// texts (trimmed, references joined), integers (truncated), error values,
// omitted arguments and the bounds of the text pool.
#include "addin_fixture.h"
#include "shown_boxes.h"

namespace {

using Conversion = AddinTest;

// Texts reach the server as the statement of XDorvExec, so what the peer
// receives is exactly the converted text.
TEST_F(Conversion, TextsAreTrimmedOfBlanksAndReferencesJoinedWithOneBlank) {
    fake_set_text(1, 0, 0, "a");
    fake_set_text(1, 0, 2, "b"); // 0,1 stays empty
    fake_set_text(1, 1, 0, "a");
    fake_set_text(1, 1, 1, "");
    fake_set_text(1, 1, 2, "b");
    fake_set_text(1, 2, 1, "b"); // 2,0 empty
    fake_set_text(1, 3, 0, "  1a ");
    fake_set_text(1, 3, 1, "1b");
    fake_set_text(1, 4, 0, "2a");
    fake_set_text(1, 4, 1, "  2b  ");
    fake_set_text(2, 7, 3, "select * from parts");
    fake_set_text(2, 8, 3, "where id = 4");
    struct Case {
        excel::Oper* stmt;
        std::string sent;
    } cases[] = {
        {op.str("  abc  "), "abc"},
        {op.str("\tabc\t "), "\tabc\t"}, // only blanks are trimmed
        {op.sref(0, 0, 0, 2), "a b"},    // an empty cell is skipped
        {op.sref(1, 1, 0, 2), "a  b"},   // an empty text is not
        {op.sref(2, 2, 0, 1), "b"},
        {op.sref(3, 4, 0, 1), "1a 1b 2a 2b"}, // row by row
        {op.ref(2, 7, 8, 3, 3), "select * from parts where id = 4"},
        {op.multi(1, 3, {op.str(" x "), op.missing(), op.str("y")}), "x y"},
    };
    XllSession s;
    for (const auto& c : cases)
        s.peer.expect(exec_request(c.sent)).send(status_block(0, ""));
    s.open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        EXPECT_EQ(x.XDorvExec(s.hdl, c.stmt), 1);
    }
}

// Failed conversions come back as the error value of XDorvConnect, without
// a call of the library (no message box, no connection).
TEST_F(Conversion, ArgumentsThatGiveNoTextAreErrorValues) {
    fake_set_text(1, 0, 0, "a");
    fake_set_error(1, 0, 1, excel::ErrDiv0);
    fake_set_text(1, 1, 0, "a");
    fake_set_number(1, 1, 1, 5);
    fake_set_bool(1, 2, 0, 1);
    fake_set_text(1, 3, 0, "a");
    fake_set_uncalced(1, 3, 1);
    struct Case {
        const char* what;
        excel::Oper* transport;
        uint16_t error;
    } cases[] = {
        {"omitted", op.missing(), excel::ErrNA},
        {"number", op.num(5), excel::ErrValue},
        {"boolean", op.boolean(true), excel::ErrValue},
        {"integer", op.integer(5), excel::ErrValue},
        {"error value", op.err(excel::ErrRef), excel::ErrValue},
        {"empty", op.nil(), excel::ErrValue},
        {"cell with #DIV/0!", op.sref(0, 0, 0, 1), excel::ErrDiv0},
        {"cell with a number", op.sref(1, 1, 0, 1), excel::ErrValue},
        {"cell with a boolean", op.sref(2, 2, 0, 0), excel::ErrValue},
        {"array with #N/A", op.multi(1, 2, {op.str("a"), op.err(excel::ErrNA)}), excel::ErrNA},
        {"cell not yet calculated", op.sref(3, 3, 0, 1), excel::ErrNA},
        {"sheet Excel does not know", op.ref(99, 0, 0, 0, 0), excel::ErrValue},
    };
    ShownBoxes boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        excel::Oper* result =
            x.XDorvConnect(c.transport, op.str("127.0.0.1"), op.str("1"), op.missing());
        EXPECT_EQ(describe(result), err_text(c.error));
        EXPECT_EQ(fake_outstanding(), 0);
    }
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
}

TEST_F(Conversion, TheTextPoolHolds4095BytesAndRefusesTheByteBeyond) {
    std::string full(255, 'a');
    std::vector<excel::Oper*> fits(15, op.str(full)), beyond(16, op.str(full));
    fits.push_back(op.str(std::string(254, 'a'))); // 15 * 256 + 255 = 4095 bytes
    ShownBoxes boxes;
    // 4095 bytes: converted, and the statement goes to the library, which
    // knows no connection 9999.
    EXPECT_EQ(x.XDorvExec(op.num(9999), op.multi(1, 16, fits)), 0);
    // (hl_dorv_exec reports the handle, then hl_dorv_explain again before its own box.)
    EXPECT_EQ(boxes.summary(), (std::vector<std::string>{
                                   "Dorv|Invalid connection handle:\n handle = 9999",
                                   "Dorv|Invalid connection handle:\n handle = 9999",
                                   "Dorv Error|Fatal error occurred while executing explain !"}));
    boxes.clear();
    // 4096 bytes: the pool's message, and the library is not called.
    EXPECT_EQ(x.XDorvExec(op.num(9999), op.multi(1, 16, beyond)), 0);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv XLL|not enough memory to alloc tmpstr\n   max size: "
                                       "4096\n   offset: 3840\n   nbytes: 256"});
    // The failed conversion left #N/A.
    EXPECT_EQ(
        describe(x.XDorvConnect(op.multi(1, 16, beyond), op.str("h"), op.str("s"), op.missing())),
        err_text(excel::ErrNA));
    EXPECT_EQ(fake_outstanding(), 0);
}

// Integers reach the library as the handle of XDorvVersion: a handle read
// right asks the server for its version.
TEST_F(Conversion, NumbersAreTruncatedTowardZeroAndReferencesGiveTheirFirstCell) {
    XllSession s;
    const int cases = 5;
    for (int i = 0; i < cases; ++i)
        s.peer.expect(request('A')).send(status_block(0, "A.02.10"));
    s.open();
    fake_set_number(1, 0, 0, s.handle + 0.3);
    fake_set_text(1, 0, 1, "text");
    fake_set_number(2, 5, 5, s.handle + 0.99);
    excel::Oper* handles[cases] = {
        op.num(s.handle + 0.9),
        op.sref(0, 0, 0, 1), // the first cell counts; the others may hold anything
        op.ref(2, 5, 5, 5, 5),
        op.multi(1, 2, {op.num(s.handle), op.str("x")}),
        op.sref(0, 0, 0, 0),
    };
    for (excel::Oper* h : handles)
        EXPECT_EQ(describe(x.XDorvVersion(h)), str_text("A.02.10"));
    EXPECT_EQ(fake_outstanding(), 0);
}

TEST_F(Conversion, NegativeNumbersAreTruncatedTowardZeroToo) {
    ShownBoxes boxes;
    // -3.9 is taken as -3, an invalid handle, which the library reports.
    EXPECT_EQ(describe(x.XDorvVersion(op.num(-3.9))), err_text(excel::ErrValue));
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Invalid connection handle:\n handle = -3"});
}

TEST_F(Conversion, ArgumentsThatGiveNoNumberAreErrorValues) {
    fake_set_error(1, 0, 0, excel::ErrRef);
    fake_set_number(1, 0, 1, 4);
    fake_set_text(1, 1, 0, "4");
    fake_set_uncalced(1, 2, 0);
    struct Case {
        const char* what;
        excel::Oper* handle;
        uint16_t error;
    } cases[] = {
        {"omitted", op.missing(), excel::ErrNA},
        {"text of a number", op.str("4"), excel::ErrValue},
        {"boolean", op.boolean(true), excel::ErrValue},
        {"integer-typed", op.integer(4), excel::ErrValue},
        {"error value", op.err(excel::ErrDiv0), excel::ErrValue},
        {"first cell #REF!", op.sref(0, 0, 0, 1), excel::ErrRef},
        {"first cell a text", op.sref(1, 1, 0, 0), excel::ErrValue},
        {"first cell empty", op.sref(5, 5, 5, 5), excel::ErrValue},
        {"first cell not calculated", op.sref(2, 2, 0, 0), excel::ErrNA},
        {"beyond 64 bits", op.num(1e300), excel::ErrNum},
    };
    ShownBoxes boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(x.XDorvDisconnect(c.handle)), err_text(c.error));
    }
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{}); // the library was never called
    EXPECT_EQ(fake_outstanding(), 0);
}

} // namespace
