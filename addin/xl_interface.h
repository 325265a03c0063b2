// The Excel add-in interface as the add-in uses it: the XLOPER records and the
// numbers of types, errors, functions and return codes, declared from Excel's
// published values. One declaration serves 32-bit and 64-bit Excel: pointers
// are 8 bytes in 64-bit Excel, and the sheet identifier is pointer-sized there.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Entry points that Excel calls, and Excel4v, are __stdcall in 32-bit Excel.
#if defined(_WIN32) && !defined(_WIN64)
#define XL_CALL __stdcall
#else
#define XL_CALL
#endif

typedef uintptr_t xl_sheet_id; // IDSHEET

// One rectangle: rows 0-65535, columns 0-255, zero-based.
struct XLREF {
    uint16_t rwFirst;
    uint16_t rwLast;
    uint8_t colFirst;
    uint8_t colLast;
};

// Areas of an external reference; Excel allocates reftbl[count].
struct XLMREF {
    uint16_t count;
    XLREF reftbl[1];
};

struct XLOPER {
    union {
        double num;     // xltypeNum
        char* str;      // xltypeStr: counted (length byte first), not NUL-terminated
        uint16_t xbool; // xltypeBool
        uint16_t err;   // xltypeErr
        int16_t w;      // xltypeInt
        struct {
            uint16_t count; // always 1
            XLREF ref;
        } sref; // xltypeSRef: on the current sheet
        struct {
            XLMREF* lpmref;
            xl_sheet_id idSheet;
        } mref; // xltypeRef
        struct {
            XLOPER* lparray; // rows * columns, row by row
            uint16_t rows;
            uint16_t columns;
        } array; // xltypeMulti
        struct {
            union {
                int16_t level;
                int16_t tbctrl;
                xl_sheet_id idSheet;
            } valflow;
            uint16_t rw;
            uint8_t col;
            uint8_t xlflow;
        } flow; // xltypeFlow
        struct {
            union {
                uint8_t* lpbData;
                void* hdata;
            } h;
            int32_t cbData;
        } bigdata; // xltypeBigData
    } val;
    uint16_t xltype;
};

// The published layout: what Excel reads and writes.
static_assert(sizeof(XLREF) == 6 && offsetof(XLREF, rwLast) == 2 &&
              offsetof(XLREF, colFirst) == 4 && offsetof(XLREF, colLast) == 5);
static_assert(sizeof(XLMREF) == 8 && offsetof(XLMREF, reftbl) == 2);
static_assert(sizeof(xl_sheet_id) == sizeof(void*));
static_assert(offsetof(XLOPER, val) == 0);
static_assert(offsetof(XLOPER, val.sref.ref) == 2);
static_assert(offsetof(XLOPER, val.mref.idSheet) == sizeof(void*));
static_assert(offsetof(XLOPER, val.array.rows) == sizeof(void*) &&
              offsetof(XLOPER, val.array.columns) == sizeof(void*) + 2);
// The type follows the 8 (32-bit) or 16 (64-bit) bytes of the value union;
// the double aligns the record to 8 bytes in both.
static_assert(offsetof(XLOPER, xltype) == 2 * sizeof(void*));
static_assert(sizeof(XLOPER) == (sizeof(void*) == 8 ? 24 : 16));

// xltype values; the two bits say who frees the record's memory.
enum : uint16_t {
    xltypeNum = 0x0001,
    xltypeStr = 0x0002,
    xltypeBool = 0x0004,
    xltypeRef = 0x0008,
    xltypeErr = 0x0010,
    xltypeFlow = 0x0020,
    xltypeMulti = 0x0040,
    xltypeMissing = 0x0080,
    xltypeNil = 0x0100,
    xltypeSRef = 0x0400,
    xltypeInt = 0x0800,
    xlbitXLFree = 0x1000,
    xlbitDLLFree = 0x4000,
};

// Error values (xltypeErr).
enum : uint16_t {
    xlerrNull = 0,
    xlerrDiv0 = 7,
    xlerrValue = 15,
    xlerrRef = 23,
    xlerrName = 29,
    xlerrNum = 36,
    xlerrNA = 42,
};

// Return codes of Excel4 and Excel4v.
enum : int {
    xlretSuccess = 0,
    xlretAbort = 1,
    xlretInvXlfn = 2,
    xlretInvCount = 4,
    xlretInvXloper = 8,
    xlretStackOvfl = 16,
    xlretFailed = 32,
    xlretUncalced = 64,
};

// Function numbers.
enum : int {
    xlCommand = 0x8000, // the bit that marks a command-equivalent function
    xlSpecial = 0x4000, // the bit of the functions that only DLLs call
    xlfSetName = 88,
    xlfRegister = 149,
    xlcAlert = 118 | xlCommand,
    xlcMessage =
        122 | xlCommand, // MESSAGE(TRUE, text) on the status bar; MESSAGE(FALSE) gives it back
    xlFree = xlSpecial,
    xlCoerce = 2 | xlSpecial,
    xlSet = 3 | xlSpecial,
    xlSheetId = 4 | xlSpecial,
    xlAbort = 6 | xlSpecial, // TRUE when the user pressed Esc
    xlGetName = 9 | xlSpecial,
};

// The sheet as this interface names it, and the longest text of a cell: a
// counted text holds at most 255 characters behind its length byte.
enum : int32_t { XL_LAST_ROW = 65535, XL_LAST_COLUMN = 255 };
enum : int { XL_TEXT_MAX = 255 };
inline char xl_text_length(size_t n) {
    return static_cast<char>(n > size_t{XL_TEXT_MAX} ? size_t{XL_TEXT_MAX} : n);
}

// The two entries of Excel's callback library "xlcall32.dll": Excel4 takes
// its arguments as a variable list (__cdecl), Excel4v as an array.
typedef int (*Excel4Proc)(int function, XLOPER* result, int count, ...);
typedef int(XL_CALL* Excel4vProc)(int function, XLOPER* result, int count, XLOPER* arguments[]);
