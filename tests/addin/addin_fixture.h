// Fixtures of the add-in tests: a fresh fake Excel per test, the add-in loaded
// as Excel loads it, and a connection through the add-in to a scripted peer.
#pragma once

#include "excel_args.h"
#include "fake_excel.h"
#include "shown_boxes.h"
#include "xll_loader.h"
#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Request blocks as the library sends them.
inline std::string request(char code, const std::string& rest = "") {
    return wire_block('S', std::string(1, code) + rest);
}
inline std::string exec_request(const std::string& statement) {
    return wire_block('S', std::string("E\0", 2) + statement);
}
// The explain request that follows a failure (code 2000: argument byte 0).
inline std::string explain_request() {
    return request('M', std::string(1, '\0'));
}
// A value record: each field is a type character, its text and a NUL.
std::string value_record(const std::vector<std::string>& fields, int status = 0);
// Scripts the rows of a result as read with hl_dorv_next_val: one 'F' request
// and one record per row, then, when `end` is set, the 'F' request that
// draws DORV_EOF.
void script_rows(ScriptedPeer& peer, const std::vector<std::vector<std::string>>& rows,
                 bool end = true);

// A cell as text for comparisons: "" empty, "str [x]", "num 3.5" (15 digits), "err 7".
std::string cell_text(unsigned sheet, int row, int column);
// The same with the whole text as Excel's 12 interface sees it, in UTF-8.
std::string cell_text12(unsigned sheet, int row, int column);
// The cells of a rectangle, row by row.
std::vector<std::string> cells(unsigned sheet, int rw_first, int rw_last, int col_first,
                               int col_last);
std::vector<std::string> cells12(unsigned sheet, int rw_first, int rw_last, int col_first,
                                 int col_last);

class AddinTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Answers the boxes that a test does not capture itself (on Windows a box
    // nobody answers would wait for ever).
    ShownBoxes other_boxes;
    const XllExports& x = xll();
    Opers op;
};

// The add-in in a host that offers Excel's 12 interface (a program that
// exports MdCallBack12): its Excel 12 exports and records.
class Addin12Test : public AddinTest {
  protected:
    void SetUp() override;
    const Xll12Exports& x12 = xll12();
    Opers12 op12;
};

// A connection opened through XDorvConnect (XDorvConnect12 with open12) to a
// scripted peer.
struct XllSession {
    ScriptedPeer peer;
    Opers op;
    Opers12 op12;
    int handle = -1;
    bool opened = false;
    excel::Oper* hdl = nullptr;     // the handle as a worksheet passes it: a number
    excel::Oper12* hdl12 = nullptr; // the same for Excel's 12 interface

    void open(int warnings = 0);
    void open12();
    void close();
    ~XllSession();
};
