// Where the values of a result go: the target range of XDorvExecRange and
// XDorvRange, its bounds, and the store of one field into one cell, for the
// records of either Excel interface (XLOPER or XLOPER12).
#pragma once

#include "addin/xl_interface12.h"

// A rectangle of cells, zero-based, in the bounds of either interface.
struct SheetArea {
    long rwFirst;
    long rwLast;
    long colFirst;
    long colLast;
};

struct ResultTarget {
    SheetArea area;
    long last_row;    // the sheet's last row and column in the interface
    long last_column; // the target came through
    int text_max;     // the most characters a cell takes there
    xl_sheet_id sheet;
    bool sheet_known; // an xltypeRef names its sheet; an xltypeSRef's is asked once
    bool single;      // one cell: the corner of an output bounded only by the sheet's edge
    bool header;      // mode 1 or 3: a heading row first
    bool transposed;  // mode 2 or 3: result rows go rightwards, fields downwards
};

// Reads `target` (an xltypeSRef, or an xltypeRef of one area) and `mode`
// (1 header, 2 transposed, 3 both; anything else, or unreadable, neither).
// False for a target of any other form.
template <class X> bool read_target(X* target, X* mode, ResultTarget* out);
// A target of more than one cell is emptied first; a failure is shown and
// otherwise ignored.
template <class X> void clear_target(X* target, const ResultTarget& t);
// Row counter r is past the last row that the target (or the sheet) holds.
bool rows_full(const ResultTarget& t, long r);
// Field counter f is past the last field of a row that fits.
bool fields_full(const ResultTarget& t, long f);
// Stores the field for row counter r and field counter f into its cell
// through the interface of X. The active sheet is asked for once, at the
// first store into an xltypeSRef target. False when no reference could be
// made or Excel refused the value.
template <class X> bool store_field(ResultTarget& t, long r, long f, char* field);
