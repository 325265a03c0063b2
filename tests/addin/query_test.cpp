// XDorvExecRange, XDorvExec, XDorvRange and XDorvClearRange: results written
// into cells, bounded and unbounded, stacked, transposed, and their failures.
#include "addin_fixture.h"
#include "result_rows.h"
#include "shown_boxes.h"
#include "trace_file.h"

namespace {

using Query = AddinTest;

TEST_F(Query, AOneCellTargetIsTheCornerOfTheWholeResultAndIsNotCleared) {
    XllSession session;
    session.peer.expect(exec_request("select a, b, c, d from t")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(3, 4));
    session.open();
    fake_set_text(1, 3, 2, "above");
    fake_set_text(1, 7, 2, "below");
    fake_set_text(1, 4, 6, "right");
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("select a, b, c, d from t"), op.sref(4, 4, 2, 2),
                               op.missing()),
              3);
    EXPECT_EQ(cells(1, 4, 6, 2, 5),
              (std::vector<std::string>{s("A1"), s("B1"), s("C1"), s("D1"), s("A2"), s("B2"),
                                        s("C2"), s("D2"), s("A3"), s("B3"), s("C3"), s("D3")}));
    EXPECT_EQ(cell_text(1, 3, 2), s("above"));
    EXPECT_EQ(cell_text(1, 7, 2), s("below"));
    EXPECT_EQ(cell_text(1, 4, 6), s("right"));
    EXPECT_EQ(fake_cell_count(1), 15);
}

TEST_F(Query, RangeReturnsTheRowAfterTheLastOneWritten) {
    XllSession session;
    session.peer.expect(exec_request("select a from t")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(3, 4));
    session.open();
    EXPECT_EQ(x.XDorvExec(session.hdl, op.str("select a from t")), 1);
    EXPECT_EQ(x.XDorvRange(session.hdl, op.sref(4, 4, 2, 2), op.missing()), 4 + 3);
    EXPECT_EQ(cells(1, 6, 6, 2, 5), (std::vector<std::string>{s("A3"), s("B3"), s("C3"), s("D3")}));
}

TEST_F(Query, WithHeadingsEachPiecesResultStartsWithItsHeadingRow) {
    XllSession session;
    const char* pieces[][2] = {{"select a, b from t", "Sa"}, {" select c, d from u", "Sc"}};
    for (const auto& piece : pieces) {
        session.peer.expect(exec_request(piece[0])).send(status_block(0, ""));
        session.peer.expect(request('V')).send(value_record({"SHEAD", piece[1]}));
        script_rows(session.peer, text_rows(2, 2));
    }
    session.open();
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("select a, b from t; select c, d from u"),
                               op.sref(10, 10, 0, 0), op.num(1)),
              6);
    EXPECT_EQ(cells(1, 10, 15, 0, 1),
              (std::vector<std::string>{s("HEAD"), s("a"), s("A1"), s("B1"), s("A2"), s("B2"),
                                        s("HEAD"), s("c"), s("A1"), s("B1"), s("A2"), s("B2")}));
}

TEST_F(Query, ABoundedTargetIsClearedAndCutWhileLaterPiecesStillRun) {
    XllSession session;
    session.peer.expect(exec_request("q1")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(3, 4), false); // the third row is fetched, not written
    session.peer.expect(exec_request("q2")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(1, 4), false); // positioned on its first row only
    session.open();
    for (int r = 20; r <= 22; ++r)
        for (int c = 0; c <= 3; ++c)
            fake_set_text(1, r, c, "old");
    ShownBoxes boxes;
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q1;q2;"), op.sref(20, 21, 0, 2), op.num(0)), 2);
    EXPECT_EQ(
        cells(1, 20, 22, 0, 3),
        (std::vector<std::string>{s("A1"), s("B1"), s("C1"), s("old"), s("A2"), s("B2"), s("C2"),
                                  s("old"), s("old"), s("old"), s("old"), s("old")}));
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
}

TEST_F(Query, ClearingLeavesEmptyTextsInTheCellsNoValueReaches) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(1, 1));
    session.open();
    fake_set_number(1, 1, 1, 9);
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 1, 0, 1), op.missing()), 1);
    EXPECT_EQ(cells(1, 0, 1, 0, 1), (std::vector<std::string>{s("A1"), s(""), s(""), s("")}));
}

TEST_F(Query, TransposedResultRowsGoRightwardsAndTheirFieldsDownwards) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(4, 4), false); // rows 1-3 written, row 4 fetched
    session.peer.expect(exec_request("r")).send(status_block(0, ""));
    session.peer.expect(request('V')).send(value_record({"SH1", "SH2", "SH3"}));
    script_rows(session.peer, text_rows(2, 3));
    session.open();
    // 2 rows by 3 columns: at most 3 result rows of 2 fields each.
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(5, 6, 1, 3), op.num(2)), 3);
    EXPECT_EQ(cells(1, 5, 6, 1, 3),
              (std::vector<std::string>{s("A1"), s("A2"), s("A3"), s("B1"), s("B2"), s("B3")}));
    // One cell, with headings: the heading row is the first column.
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("r"), op.sref(30, 30, 10, 10), op.num(3)), 3);
    EXPECT_EQ(cells(1, 30, 32, 10, 12),
              (std::vector<std::string>{s("H1"), s("A1"), s("A2"), s("H2"), s("B1"), s("B2"),
                                        s("H3"), s("C1"), s("C2")}));
}

TEST_F(Query, ModeIsReadAsAnIntegerAndAnythingUnreadableMeansNeitherFlag) {
    fake_set_number(1, 50, 0, 1);
    struct Case {
        const char* what;
        excel::Oper* mode;
        bool header;
    } cases[] = {
        {"omitted", op.missing(), false},
        {"1.7", op.num(1.7), true},
        {"text 1", op.str("1"), false},
        {"error", op.err(7), false},
        {"cell with 1", op.sref(50, 50, 0, 0), true},
        {"4", op.num(4), false},
    };
    XllSession session;
    for (const auto& c : cases) {
        session.peer.expect(exec_request("q")).send(status_block(0, ""));
        if (c.header) session.peer.expect(request('V')).send(value_record({"SH"}));
        script_rows(session.peer, text_rows(1, 1));
    }
    session.open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 0, 0), c.mode),
                  c.header ? 2 : 1);
    }
}

TEST_F(Query, TheValuesLandOnTheSheetTheTargetNames) {
    XllSession session;
    for (int i = 0; i < 2; ++i) {
        session.peer.expect(exec_request("q")).send(status_block(0, ""));
        script_rows(session.peer, text_rows(1, 2));
    }
    session.open();
    fake_set_active_sheet(5);
    fake_add_sheet(7);
    // xltypeSRef: the current sheet, here the active one.
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(2, 2, 2, 2), op.missing()), 1);
    EXPECT_EQ(cells(5, 2, 2, 2, 3), (std::vector<std::string>{s("A1"), s("B1")}));
    // xltypeRef: its own sheet, whichever is active.
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.ref(7, 3, 3, 3, 3), op.missing()), 1);
    EXPECT_EQ(cells(7, 3, 3, 3, 4), (std::vector<std::string>{s("A1"), s("B1")}));
    EXPECT_EQ(fake_cell_count(5), 2);
    EXPECT_EQ(fake_cell_count(1), 0);
}

TEST_F(Query, AOneCellTargetStopsAtTheSheetsLastColumnAndRow) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(2, 3)); // fields beyond the last column are not read
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(3, 1), false); // the third row is fetched, never written
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(3, 2), false); // transposed: rows go rightwards
    session.open();
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 255, 255), op.missing()), 2);
    EXPECT_EQ(cells(1, 0, 1, 255, 255), (std::vector<std::string>{s("A1"), s("A2")}));
    EXPECT_EQ(cell_text(1, 0, 0), "") << "nothing wraps to column 0";
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(65534, 65534, 0, 0), op.missing()),
              2);
    EXPECT_EQ(cells(1, 65534, 65535, 0, 0), (std::vector<std::string>{s("A1"), s("A2")}));
    EXPECT_EQ(cell_text(1, 0, 0), "") << "nothing wraps to row 0";
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(9, 9, 254, 254), op.num(2)), 2);
    EXPECT_EQ(cells(1, 9, 10, 254, 255),
              (std::vector<std::string>{s("A1"), s("A2"), s("B1"), s("B2")}));
    EXPECT_EQ(fake_cell_count(1), 8);
}

TEST_F(Query, StatusesOfTheExecutionDecideWhatHappensToEachPiece) {
    XllSession session;
    session.peer.expect(exec_request("neg")).send(status_block(-3, ""));   // skipped, nothing read
    session.peer.expect(exec_request(" empty")).send(status_block(0, "")); // a result with no row
    session.peer.expect(request('F')).send(status_block(-9, ""));
    session.peer.expect(exec_request(" good")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(1, 1));
    session.peer.expect(exec_request("bad")).send(status_block(5, ""));
    session.peer.expect(explain_request()).send(status_block(5, "no such table"));
    session.open();
    ShownBoxes boxes;
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("neg; empty; good"), op.sref(0, 0, 0, 0),
                               op.missing()),
              1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
    // A positive status is explained and the rest is not executed.
    EXPECT_EQ(
        x.XDorvExecRange(session.hdl, op.str("bad; never"), op.sref(0, 0, 0, 0), op.missing()), 0);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Explain Dorv - Message|no such table"});
    // No piece at all: nothing is sent.
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("   "), op.sref(0, 0, 0, 0), op.missing()), 0);
}

TEST_F(Query, AFailureStatusWhileReadingIsExplainedAndGivesZero) {
    struct Case {
        const char* what;
        std::vector<std::string> replies; // after the exec reply: request, reply, ...
        std::vector<std::string> written;
    } cases[] = {
        {"first fetch", {request('F'), status_block(7, "")}, {"", ""}},
        {"end-of-row fetch",
         {request('F'), value_record({"SA1", "SB1"}), request('F'), status_block(7, "")},
         {s("A1"), s("B1")}},
        // The second field ends in a further block whose status is 12.
        {"field",
         {request('F'), status_block(0, std::string("SA1\0SB", 6), false) +
                            status_block(12, std::string("1\0", 2))},
         {s("A1"), ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake_reset();
        XllSession session;
        session.peer.expect(exec_request("q")).send(status_block(0, ""));
        for (size_t i = 0; i < c.replies.size(); i += 2)
            session.peer.expect(c.replies[i]).send(c.replies[i + 1]);
        session.peer.expect(explain_request()).send(status_block(0, "broken"));
        session.open();
        ShownBoxes boxes;
        EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 0, 0), op.missing()), 0);
        EXPECT_EQ(cells(1, 0, 0, 0, 1), c.written);
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Explain Dorv - Message|broken"});
    }
}

TEST_F(Query, AValueExcelRefusesEndsTheCallWithZeroAndNoMessage) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(2, 3), false);
    session.open();
    fake_fail_function(excel::Set, 1); // the second value
    ShownBoxes boxes;
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 0, 0), op.missing()), 0);
    EXPECT_EQ(cells(1, 0, 0, 0, 2), (std::vector<std::string>{s("A1"), "", ""}));
    // XDorvRange likewise, on the next row.
    fake_fail_function(excel::Set, 0);
    EXPECT_EQ(x.XDorvRange(session.hdl, op.sref(5, 5, 0, 0), op.missing()), 0);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
}

TEST_F(Query, AClearThatExcelRefusesIsShownAndFillingGoesOn) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(1, 2));
    session.open();
    fake_fail_function(excel::Set, 0);
    ShownBoxes boxes;
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 1, 0, 1), op.missing()), 1);
    EXPECT_EQ(cells(1, 0, 0, 0, 1), (std::vector<std::string>{s("A1"), s("B1")}));
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Clear range not successful !"});
#ifdef _WIN32
    EXPECT_EQ(boxes.styles(), std::vector<unsigned>{0u}); // OK only, no icon
#endif
}

TEST_F(Query, RangeWithABoundedTargetRequestsNoRowBeyondIt) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    session.peer.expect(request('V')).send(value_record({"SH1", "SH2"}));
    script_rows(session.peer, text_rows(1, 2),
                false); // the second row of the result is never asked for
    session.open();
    EXPECT_EQ(x.XDorvExec(session.hdl, op.str("q")), 1);
    EXPECT_EQ(x.XDorvRange(session.hdl, op.sref(3, 4, 0, 0), op.num(1)), 5);
    EXPECT_EQ(cells(1, 3, 4, 0, 1), (std::vector<std::string>{s("H1"), "", s("A1"), ""}));
}

TEST_F(Query, ExecGivesOneForZeroOrNegativeStatusesAndExplainsAPositiveOne) {
    XllSession session;
    session.peer.expect(exec_request("a")).send(status_block(0, ""));
    session.peer.expect(exec_request("b")).send(status_block(-4, ""));
    session.peer.expect(exec_request("c")).send(status_block(3, ""));
    session.peer.expect(explain_request()).send(status_block(0, "locked"));
    session.open();
    ShownBoxes boxes;
    EXPECT_EQ(x.XDorvExec(session.hdl, op.str("a")), 1);
    EXPECT_EQ(x.XDorvExec(session.hdl, op.str("b")), 1);
    EXPECT_EQ(x.XDorvExec(session.hdl, op.str("c")), 0);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Explain Dorv - Message|locked"});
    EXPECT_EQ(x.XDorvExec(op.missing(), op.str("a")), 0);
    EXPECT_EQ(x.XDorvExec(session.hdl, op.num(1)), 0);
}

TEST_F(Query, TargetsOfAnotherFormGiveZeroBeforeAnythingIsSent) {
    XllSession session;
    session.open();
    excel::Oper* targets[] = {
        op.str("A1"),        op.num(1),
        op.missing(),        op.ref_areas(1, {{0, 0, 0, 0}, {2, 2, 2, 2}}), // two rectangles
        op.ref_areas(1, {}), op.sref(5, 4, 0, 0), // corners the wrong way round
    };
    for (excel::Oper* target : targets) {
        SCOPED_TRACE(describe(target));
        EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), target, op.missing()), 0);
        EXPECT_EQ(x.XDorvRange(session.hdl, target, op.missing()), 0);
    }
    EXPECT_EQ(fake_set_call_count(), 0);
}

TEST_F(Query, EveryFieldHasItsOwnCellAndATextBeyond255CharactersIsCut) {
    // The library hands a field out in pieces of 255 characters (the first
    // with its type character); a piece that fills the buffer is followed by
    // its continuation, even an empty one.
    const size_t lengths[] = {253, 254, 255, 300, 2000};
    std::string log;
    {
        XllTrace trace;
        XllSession session;
        for (int pass = 0; pass < 2; ++pass) {
            session.peer.expect(exec_request("q")).send(status_block(0, ""));
            for (size_t n : lengths)
                session.peer.expect(request('F'))
                    .send(record_in_blocks({"Sleft", "S" + long_text(n), "N42"}, 500));
            session.peer.expect(request('F')).send(status_block(-9, ""));
        }
        session.open();
        EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 0, 0), op.missing()), 5);
        EXPECT_EQ(x.XDorvExec(session.hdl, op.str("q")), 1);
        EXPECT_EQ(x.XDorvRange(session.hdl, op.ref(1, 10, 15, 0, 3), op.missing()), 15);
        session.close();
        log = trace.text();
    }
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(lengths[i]);
        std::string cut = long_text(lengths[i] < 255 ? lengths[i] : 255);
        int row = static_cast<int>(i);
        EXPECT_EQ(cells(1, row, row, 0, 3),
                  (std::vector<std::string>{s("left"), s(cut), "num 42", ""}));
        EXPECT_EQ(cells(1, 10 + row, 10 + row, 0, 3),
                  (std::vector<std::string>{s("left"), s(cut), "num 42", s("")}));
    }
    EXPECT_EQ(cells(1, 15, 15, 0, 3), (std::vector<std::string>{s(""), s(""), s(""), s("")}));
    // Only the texts that lost characters are traced, each time they are written.
    std::string start = "[S" + long_text(20) + "]\n";
    std::string traced[] = {"Field cut to 255 characters, 45 dropped: " + start,
                            "Field cut to 255 characters, 1745 dropped: " + start};
    size_t count = 0;
    for (size_t at = log.find("Field cut"); at != std::string::npos;
         at = log.find("Field cut", at + 1))
        ++count;
    EXPECT_EQ(count, 4u) << log;
    for (const auto& line : traced) {
        size_t first = log.find(line);
        EXPECT_NE(first, std::string::npos) << line << log;
        EXPECT_NE(log.find(line, first + 1), std::string::npos) << line << log;
    }
}

TEST_F(Query, ALongFillShowsItsRowsOnTheStatusBarAndStopsAtEsc) {
    enum End { ALL_ROWS, ESC, FAILURE };
    struct Case {
        const char* what;
        bool range;  // XDorvExec, then XDorvRange; else XDorvExecRange
        bool header; // mode 1: a heading row first
        int rows;    // result rows the server is asked for
        End end;     // after them: the end of the result, Esc at the third check, a failure
        int result;  // of the call
        int written; // sheet rows written
        std::vector<std::string> status;
        int checks; // xlAbort calls
    } cases[] = {
        // clang-format off
        {"999 rows",                  false, false, 999,  ALL_ROWS, 999,  999,  {}, 0},
        {"a heading and 999 rows",    false, true,  999,  ALL_ROWS, 1000, 1000,
         {"Dorv: 1000 rows", "(Excel)"}, 1},
        {"3000 rows",                 false, false, 3000, ALL_ROWS, 3000, 3000,
         {"Dorv: 1000 rows", "Dorv: 2000 rows", "Dorv: 3000 rows", "(Excel)"}, 21},
        {"Esc after the third check", false, false, 1200, ESC,      0,    1200,
         {"Dorv: 1000 rows", "(Excel)"}, 3},
        {"Esc in XDorvRange",         true,  true,  1199, ESC,      0,    1200,
         {"Dorv: 1000 rows", "(Excel)"}, 3},
        {"a failure after 1000 rows", false, false, 1000, FAILURE,  0,    1000,
         {"Dorv: 1000 rows", "(Excel)"}, 1},
        // clang-format on
    };
    XllTrace trace;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake_reset();
        fake_press_escape_at(c.end == ESC ? 3 : 0);
        XllSession session;
        session.peer.expect(exec_request("q")).send(status_block(0, ""));
        if (c.header) session.peer.expect(request('V')).send(value_record({"SH"}));
        script_rows(session.peer, text_rows(c.rows, 1), c.end == ALL_ROWS);
        if (c.end == FAILURE) {
            session.peer.expect(request('F')).send(status_block(7, ""));
            session.peer.expect(explain_request()).send(status_block(0, "broken"));
        }
        // The connection is ready for the next call, whichever way the fill ended.
        session.peer.expect(exec_request("next")).send(status_block(0, ""));
        script_rows(session.peer, {{"Snext"}});
        session.open();
        ShownBoxes boxes;
        excel::Oper* mode = op.num(c.header ? 1 : 0);
        if (c.range) {
            EXPECT_EQ(x.XDorvExec(session.hdl, op.str("q")), 1);
            EXPECT_EQ(x.XDorvRange(session.hdl, op.sref(0, 0, 0, 0), mode), c.result);
        } else {
            EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 0, 0), mode),
                      c.result);
        }
        EXPECT_EQ(cell_text(1, c.written - 1, 0), s(c.header ? "A" + std::to_string(c.written - 1)
                                                             : "A" + std::to_string(c.written)));
        EXPECT_EQ(cell_text(1, c.written, 0), "");
        EXPECT_EQ(fake_cell_count(1), c.written);
        EXPECT_EQ(status_lines(), c.status);
        EXPECT_EQ(fake_abort_checks(), c.checks);
        EXPECT_EQ(boxes.summary(), c.end == FAILURE
                                       ? std::vector<std::string>{"Explain Dorv - Message|broken"}
                                       : std::vector<std::string>{});
        fake_press_escape_at(0); // Excel has taken the break
        EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("next"), op.sref(0, 0, 5, 5), op.missing()),
                  1);
        EXPECT_EQ(cell_text(1, 0, 5), s("next"));
        session.close();
    }
    std::string log = trace.text();
    const char* stops[] = {"\nXDorvExecRange: stopped by Esc after 1200 rows\n",
                           "\nXDorvRange: stopped by Esc after 1200 rows\n"};
    for (const char* line : stops)
        EXPECT_NE(log.find(line), std::string::npos) << line;
    size_t stopped = 0;
    for (size_t at = log.find("stopped by Esc"); at != std::string::npos;
         at = log.find("stopped by Esc", at + 1))
        ++stopped;
    EXPECT_EQ(stopped, 2u); // the other fills ran to their end
}

TEST_F(Query, ClearRangeStoresItsValueIntoAnSRefOnly) {
    fake_set_text(1, 0, 0, "x");
    fake_add_sheet(3);
    EXPECT_EQ(x.XDorvClearRange(op.sref(0, 1, 0, 1), op.str("none")), 1);
    EXPECT_EQ(cells(1, 0, 1, 0, 1),
              (std::vector<std::string>{s("none"), s("none"), s("none"), s("none")}));
    EXPECT_EQ(x.XDorvClearRange(op.sref(0, 1, 0, 0), op.nil()), 1);
    EXPECT_EQ(cells(1, 0, 1, 0, 1), (std::vector<std::string>{"", s("none"), "", s("none")}));
    // Another sheet, or anything but a reference: 0 without a call.
    int calls = fake_call_count();
    EXPECT_EQ(x.XDorvClearRange(op.ref(3, 0, 0, 0, 0), op.str("x")), 0);
    EXPECT_EQ(x.XDorvClearRange(op.str("A1"), op.str("x")), 0);
    EXPECT_EQ(fake_call_count(), calls);
    EXPECT_EQ(fake_cell_count(3), 0);
    fake_fail_function(excel::Set, 0);
    EXPECT_EQ(x.XDorvClearRange(op.sref(0, 0, 0, 0), op.num(1)), 0);
}

} // namespace
