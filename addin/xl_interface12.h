// Excel's 12 interface (Excel 2007 and later) as the add-in uses it: the
// XLOPER12 records with 32-bit rows and columns and counted UTF-16 texts,
// and the host's entry MdCallBack12, declared from Excel's published values.
// Type, error, function and return numbers are those of the 4 interface
// (xl_interface.h). One declaration serves 32-bit and 64-bit Excel.
#pragma once

#include "addin/xl_interface.h"

// One UTF-16 unit (XCHAR). A text record points at a counted text: the
// first unit holds the number of units that follow.
typedef char16_t xl_char;

// One rectangle: rows 0-1048575, columns 0-16383, zero-based.
struct XLREF12 {
    int32_t rwFirst;
    int32_t rwLast;
    int32_t colFirst;
    int32_t colLast;
};

// Areas of an external reference; Excel allocates reftbl[count].
struct XLMREF12 {
    uint16_t count;
    XLREF12 reftbl[1];
};

// The members the add-in reads and writes; the flow and binary data members
// of Excel's declaration lie within the same 24 bytes.
struct XLOPER12 {
    union {
        double num;    // xltypeNum
        xl_char* str;  // xltypeStr: counted, not NUL-terminated
        int32_t xbool; // xltypeBool
        int32_t err;   // xltypeErr
        int32_t w;     // xltypeInt: 32 bits here
        struct {
            uint16_t count; // always 1
            XLREF12 ref;
        } sref; // xltypeSRef: on the current sheet
        struct {
            XLMREF12* lpmref;
            xl_sheet_id idSheet;
        } mref; // xltypeRef
        struct {
            XLOPER12* lparray; // rows * columns, row by row
            int32_t rows;
            int32_t columns;
        } array; // xltypeMulti
    } val;
    uint32_t xltype;
};

// The published layout: 32 bytes in both bitnesses, the type behind a
// 24-byte value union.
static_assert(sizeof(XLREF12) == 16);
static_assert(sizeof(XLMREF12) == 20 && offsetof(XLMREF12, reftbl) == 4);
static_assert(offsetof(XLOPER12, val.sref.ref) == 4);
static_assert(offsetof(XLOPER12, val.mref.idSheet) == sizeof(void*));
static_assert(offsetof(XLOPER12, val.array.rows) == sizeof(void*) &&
              offsetof(XLOPER12, val.array.columns) == sizeof(void*) + 4);
static_assert(offsetof(XLOPER12, xltype) == 24);
static_assert(sizeof(XLOPER12) == 32);

// The sheet of Excel 2007 and later, and the longest text of one cell.
enum : int32_t { XL12_LAST_ROW = 1048575, XL12_LAST_COLUMN = 16383 };
enum : int { XL12_TEXT_MAX = 32767 };

// The entry that Excel 2007 and later export from their own executable:
// arguments as an array, then the result record (__stdcall in 32-bit Excel).
typedef int(XL_CALL* MdCallBack12Proc)(int function, int count, XLOPER12* arguments[],
                                       XLOPER12* result);
