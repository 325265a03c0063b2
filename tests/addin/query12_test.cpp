// The query commands through Excel's 12 interface: the whole sheet (rows
// past 65,536, columns past 256), texts up to 32,767 characters in one cell,
// row counts as 32-bit integers, the status bar and Esc.
#include "addin_fixture.h"
#include "result_rows.h"
#include "support/test_files.h"
#include "trace_file.h"

#include <chrono>
#include <cstdio>

namespace {

// The calls of the last command that went through Excel's 4 interface.
int calls_through_excel4() {
    int n = 0;
    for (int i = 0; i < fake_call_count(); ++i)
        n += fake_call_interface(i) == 4;
    return n;
}

using Query12 = Addin12Test;

TEST_F(Query12, SeventyThousandRowsFillFromOneCellPastRow65536) {
    const long rows = 70000;
    long sent = 0;
    std::vector<std::string> unexpected;
    XllSession session;
    // A server that answers as fast as it is asked: the statement, then row
    // after row (a number and a text), then the end of the result.
    session.peer.answer_each([&](const std::string& block) -> std::string {
        if (block == exec_request("select n, name from big")) return status_block(0, "");
        if (block != request('F')) {
            unexpected.push_back(printable(block));
            return status_block(-9, "");
        }
        if (sent == rows) return status_block(-9, "");
        ++sent;
        return value_record({"N" + std::to_string(sent), "Srow " + std::to_string(sent)});
    });
    // Row requests kept in flight, as a user who fills large sheets sets it.
    write_text_file(windorv_ini_path(), "[Global]\nReadAhead=64\n");
    session.open12();
    remove_file(windorv_ini_path());
    auto start = std::chrono::steady_clock::now();
    int32_t written = x12.XDorvExecRange12(session.hdl12, op12.str(u"select n, name from big"),
                                           op12.sref(0, 0, 0, 0), op12.missing());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("XDorvExecRange12: %ld rows into A1 in %.2f s; returned %d; A70000 = [%s], B70000 = "
           "%s\n",
           rows, seconds, static_cast<int>(written), cell_text12(1, 69999, 0).c_str(),
           cell_text12(1, 69999, 1).c_str());
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_EQ(written, 70000);
    EXPECT_EQ(sent, rows);
    EXPECT_EQ(unexpected, std::vector<std::string>{});
    EXPECT_EQ(fake_cell_count(1), 2 * rows);
    EXPECT_EQ(cells12(1, 65535, 65536, 0, 1),
              (std::vector<std::string>{"num 65536", s("row 65536"), "num 65537", s("row 65537")}));
    EXPECT_EQ(cells12(1, 69999, 70000, 0, 1),
              (std::vector<std::string>{"num 70000", s("row 70000"), "", ""}));
    // The status bar counted every thousand rows and Esc was looked for
    // every hundred from the first thousand on, all through the 12 interface.
    std::vector<std::string> status = status_lines();
    ASSERT_EQ(status.size(), 71u);
    EXPECT_EQ(status[69], "Dorv: 70000 rows");
    EXPECT_EQ(status[70], "(Excel)");
    EXPECT_EQ(fake_abort_checks(), 691);
    EXPECT_EQ(calls_through_excel4(), 0);
}

TEST_F(Query12, RangeReturnsRowNumbersBeyond16Bits) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(10, 1));
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(17, 1), false); // the rows a bounded target holds, and one
    session.open12();
    EXPECT_EQ(x12.XDorvExec12(session.hdl12, op12.str(u"q")), 1);
    EXPECT_EQ(x12.XDorvRange12(session.hdl12, op12.sref(65530, 65530, 3, 3), op12.missing()),
              65540);
    EXPECT_EQ(cells12(1, 65539, 65540, 3, 3), (std::vector<std::string>{s("A10"), ""}));
    // A bounded target across row 65,536 is cleared and cut as any other.
    fake_set_text(1, 65540, 1, "old");
    fake_set_text(1, 65541, 0, "below");
    EXPECT_EQ(x12.XDorvExecRange12(session.hdl12, op12.str(u"q"), op12.sref(65525, 65540, 0, 1),
                                   op12.num(0)),
              16);
    EXPECT_EQ(cells12(1, 65540, 65541, 0, 1),
              (std::vector<std::string>{s("A16"), s(""), s("below"), ""}));
}

TEST_F(Query12, ALongTextIsOneCellAndTheNextFieldTheNextColumn) {
    const size_t lengths[] = {1000, 32767, 40000};
    std::string log;
    {
        XllTrace trace;
        XllSession session;
        session.peer.expect(exec_request("q")).send(status_block(0, ""));
        for (size_t n : lengths)
            session.peer.expect(request('F'))
                .send(record_in_blocks({"S" + long_text(n), "Snext", "N7"}, 1000));
        session.peer.expect(request('F')).send(status_block(-9, ""));
        session.open12();
        EXPECT_EQ(x12.XDorvExecRange12(session.hdl12, op12.str(u"q"), op12.sref(0, 0, 300, 300),
                                       op12.missing()),
                  3);
        session.close();
        log = trace.text();
    }
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(lengths[i]);
        int row = static_cast<int>(i);
        EXPECT_EQ(cells12(1, row, row, 300, 303),
                  (std::vector<std::string>{s(long_text(std::min<size_t>(lengths[i], 32767))),
                                            s("next"), "num 7", ""}));
    }
    // Only the text beyond what a cell holds lost characters, and says so.
    EXPECT_EQ(count_of(log, "Field cut"), 1u) << log;
    EXPECT_NE(log.find("Field cut to 32767 characters, 7233 dropped: [S" + long_text(20) + "]\n"),
              std::string::npos)
        << log;
}

TEST_F(Query12, TargetsPastColumn256AreClearedTransposedAndStopAtTheSheetsEdge) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(5, 2), false); // four fit; the fifth is fetched only
    for (int i = 0; i < 2; ++i) {
        session.peer.expect(exec_request("q")).send(status_block(0, ""));
        script_rows(session.peer, text_rows(3, 1), false); // two fit before the edge
    }
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(1, 3)); // the third field is beyond the last column
    session.open12();
    for (int c = 300; c <= 304; ++c)
        fake_set_text(1, 5, c, "old");
    // Three rows by four columns, transposed: result rows go right, their fields down.
    EXPECT_EQ(
        x12.XDorvExecRange12(session.hdl12, op12.str(u"q"), op12.sref(3, 5, 300, 303), op12.num(2)),
        4);
    EXPECT_EQ(
        cells12(1, 3, 5, 300, 304),
        (std::vector<std::string>{s("A1"), s("A2"), s("A3"), s("A4"), "", s("B1"), s("B2"), s("B3"),
                                  s("B4"), "", s(""), s(""), s(""), s(""), s("old")}));
    // One cell: the output goes to the last column or row and wraps nowhere.
    EXPECT_EQ(x12.XDorvExecRange12(session.hdl12, op12.str(u"q"), op12.sref(9, 9, 16382, 16382),
                                   op12.num(2)),
              2);
    EXPECT_EQ(cells12(1, 9, 9, 16382, 16383), (std::vector<std::string>{s("A1"), s("A2")}));
    EXPECT_EQ(x12.XDorvExecRange12(session.hdl12, op12.str(u"q"), op12.sref(1048574, 1048574, 7, 7),
                                   op12.missing()),
              2);
    EXPECT_EQ(cells12(1, 1048574, 1048575, 7, 7), (std::vector<std::string>{s("A1"), s("A2")}));
    EXPECT_EQ(x12.XDorvExecRange12(session.hdl12, op12.str(u"q"), op12.sref(20, 20, 16382, 16382),
                                   op12.missing()),
              1);
    EXPECT_EQ(cells12(1, 20, 20, 16382, 16383), (std::vector<std::string>{s("A1"), s("B1")}));
    EXPECT_EQ(fake_cell_count(1), 8 + 4 + 2 + 2 + 2 + 1);
    EXPECT_EQ(calls_through_excel4(), 0);
}

TEST_F(Query12, ClearRangeReachesPastColumn256OnTheCurrentSheetOnly) {
    fake_add_sheet(3);
    EXPECT_EQ(x12.XDorvClearRange12(op12.sref(0, 1, 250, 300), op12.str(u"none")), 1);
    EXPECT_EQ(fake_cell_count(1), 2 * 51);
    EXPECT_EQ(cells12(1, 1, 1, 299, 301), (std::vector<std::string>{s("none"), s("none"), ""}));
    EXPECT_EQ(x12.XDorvClearRange12(op12.sref(0, 1048575, 260, 16383), op12.nil()), 1);
    EXPECT_EQ(fake_cell_count(1), 2 * 10);
    EXPECT_EQ(x12.XDorvClearRange12(op12.ref(3, 0, 0, 300, 300), op12.str(u"x")), 0);
    EXPECT_EQ(x12.XDorvClearRange12(op12.str(u"A1"), op12.str(u"x")), 0);
    EXPECT_EQ(fake_cell_count(3), 0);
}

TEST_F(Query12, TheStatusBarAndEscWorkThroughThe12Interface) {
    XllTrace trace;
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    script_rows(session.peer, text_rows(1200, 1), false);
    session.open12();
    fake_press_escape_at(3);
    EXPECT_EQ(
        x12.XDorvExecRange12(session.hdl12, op12.str(u"q"), op12.sref(0, 0, 0, 0), op12.missing()),
        0);
    EXPECT_EQ(fake_cell_count(1), 1200);
    EXPECT_EQ(status_lines(), (std::vector<std::string>{"Dorv: 1000 rows", "(Excel)"}));
    EXPECT_EQ(fake_abort_checks(), 3);
    EXPECT_EQ(calls_through_excel4(), 0);
    session.close();
    std::string log = trace.text();
    EXPECT_NE(log.find("\nXDorvExecRange: stopped by Esc after 1200 rows\n"), std::string::npos)
        << log;
}

} // namespace
