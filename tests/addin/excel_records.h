// The Excel side of the add-in interface, declared for the fake Excel and the
// tests on their own (not shared with the add-in, so that a wrong number or
// layout in the add-in shows up as a failure): XLOPER and XLOPER12 as Excel
// lays them out in 32-bit and 64-bit Excel, the type, error, function and
// return numbers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define EXCEL_STDCALL __stdcall
#else
#define EXCEL_STDCALL
#endif

namespace excel {

struct Ref {
    uint16_t rwFirst, rwLast;
    uint8_t colFirst, colLast;
};

struct MRef {
    uint16_t count;
    Ref reftbl[1];
};

struct Oper {
    using Char = char; // of its texts
    using RefType = Ref;
    using MRefType = MRef;
    union {
        double num;
        char* str;
        uint16_t xbool;
        uint16_t err;
        int16_t w;
        struct {
            uint16_t count;
            Ref ref;
        } sref;
        struct {
            MRef* lpmref;
            uintptr_t idSheet;
        } mref;
        struct {
            Oper* lparray;
            uint16_t rows, columns;
        } array;
        unsigned char raw[2 * sizeof(void*)];
    } val;
    uint16_t xltype;
};

static_assert(sizeof(Oper) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(offsetof(Oper, xltype) == 2 * sizeof(void*));
static_assert(offsetof(Oper, val.mref.idSheet) == sizeof(void*));

// Excel 2007 and later: the 12 interface, 32-bit rows and columns, UTF-16 texts.
struct Ref12 {
    int32_t rwFirst, rwLast, colFirst, colLast;
};

struct MRef12 {
    uint16_t count;
    Ref12 reftbl[1];
};

struct Oper12 {
    using Char = char16_t;
    using RefType = Ref12;
    using MRefType = MRef12;
    union {
        double num;
        char16_t* str; // counted: the first unit is the length
        int32_t xbool;
        int32_t err;
        int32_t w;
        struct {
            uint16_t count;
            Ref12 ref;
        } sref;
        struct {
            MRef12* lpmref;
            uintptr_t idSheet;
        } mref;
        struct {
            Oper12* lparray;
            int32_t rows, columns;
        } array;
        unsigned char raw[24];
    } val;
    uint32_t xltype;
};

static_assert(sizeof(Oper12) == 32);
static_assert(offsetof(Oper12, xltype) == 24);
static_assert(offsetof(Oper12, val.sref.ref) == 4);
static_assert(offsetof(MRef12, reftbl) == 4);

enum : uint16_t {
    Num = 1,
    Str = 2,
    Bool = 4,
    RefType = 8,
    Err = 16,
    Multi = 64,
    Missing = 128,
    Nil = 256,
    SRef = 1024,
    Int = 2048,
    XLFreeBit = 0x1000,
    DLLFreeBit = 0x4000,
};
enum : uint16_t {
    ErrNull = 0,
    ErrDiv0 = 7,
    ErrValue = 15,
    ErrRef = 23,
    ErrName = 29,
    ErrNum = 36,
    ErrNA = 42
};
enum : int {
    RetSuccess = 0,
    RetAbort = 1,
    RetInvXlfn = 2,
    RetInvCount = 4,
    RetInvXloper = 8,
    RetFailed = 32,
    RetUncalced = 64,
};
enum : int {
    FnSetName = 88,
    FnRegister = 149,
    CmdAlert = 0x8000 | 118,
    CmdMessage = 0x8000 | 122,
    Free = 0x4000,
    Coerce = 0x4002,
    Set = 0x4003,
    SheetId = 0x4004,
    Abort = 0x4006,
    GetName = 0x4009,
};

const unsigned LAST_ROW = 65535, LAST_COLUMN = 255;
const int LAST_ROW12 = 1048575, LAST_COLUMN12 = 16383, TEXT_MAX12 = 32767;

} // namespace excel
