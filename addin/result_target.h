// Where the values of a result go: the target range of XDorvExecRange and
// XDorvRange, its bounds, and the store of one field into one cell.
#pragma once

#include "addin/xl_interface.h"

struct ResultTarget {
    XLREF area;
    bool external; // xltypeRef: the cells are on `sheet`
    xl_sheet_id sheet;
    bool single;     // one cell: the corner of an output bounded only by the sheet's edge
    bool header;     // mode 1 or 3: a heading row first
    bool transposed; // mode 2 or 3: result rows go rightwards, fields downwards
};

// Reads `target` (an xltypeSRef, or an xltypeRef of one area) and `mode`
// (1 header, 2 transposed, 3 both; anything else, or unreadable, neither).
// False for a target of any other form.
bool read_target(XLOPER* target, XLOPER* mode, ResultTarget* out);
// A target of more than one cell is emptied first; a failure is shown and
// otherwise ignored.
void clear_target(XLOPER* target, const ResultTarget& t);
// Row counter r is past the last row that the target (or the sheet) holds.
bool rows_full(const ResultTarget& t, long r);
// Field counter f is past the last field of a row that fits.
bool fields_full(const ResultTarget& t, long f);
// Stores the field for row counter r and field counter f into its cell.
// False when no reference could be made or Excel refused the value.
bool store_field(const ResultTarget& t, long r, long f, char* field);
