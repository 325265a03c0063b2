#include "addin/convert.h"

#include "addin/excel_api.h"
#include "addin/wide_text.h"
#include "common/diagnostics.h"

#include <limits.h>
#include <math.h>
#include <string.h>

#include <type_traits>

char tmpstr[TMPSTR_SIZE];
int tmp_ofs = 0;
XLOPER xl_result;
XLOPER12 xl12_result;

namespace {

// The text of xl_set_text for an XLOPER12 result: a length unit, the units.
xl_char result_text12[1 + XL12_TEXT_MAX];

template <class X> int fail(uint16_t error) {
    xl_set_error(ExcelApi<X>::result(), error);
    return -1;
}

// The characters of a counted text without leading and trailing blanks (only
// the character 32; tabs stay).
template <class C> void trimmed(const C* counted, const C** start, int* length) {
    const C* p = counted + 1;
    int n = static_cast<int>(static_cast<std::make_unsigned_t<C>>(counted[0]));
    while (n > 0 && *p == ' ')
        ++p, --n;
    while (n > 0 && p[n - 1] == ' ')
        --n;
    *start = p;
    *length = n;
}

// The trimmed text of a text record as n bytes of tmpstr followed by `after`.
// Null with *error set when it cannot be had: #N/A when the pool is full,
// #VALUE! for a character that Windows ANSI lacks. *shown is what the trace
// shows of it.
char* copy_trimmed(const XLOPER* x, char after, int* length, const char** shown, int* error) {
    const char* text = "";
    int n = 0;
    if (x->val.str != nullptr) trimmed(x->val.str, &text, &n);
    *length = n;
    *shown = x->val.str != nullptr ? x->val.str + 1 : "";
    char* block = tmpstr_alloc(n + 1);
    if (block == nullptr) {
        *error = xlerrNA;
        return nullptr;
    }
    memcpy(block, text, static_cast<size_t>(n));
    block[n] = after;
    return block;
}

char* copy_trimmed(const XLOPER12* x, char after, int* length, const char** shown, int* error) {
    const xl_char* text = u"";
    int n = 0;
    if (x->val.str != nullptr) trimmed(x->val.str, &text, &n);
    *length = n;
    char* block = tmpstr_alloc(n + 1);
    *shown = block;
    if (block == nullptr) {
        *error = xlerrNA;
        return nullptr;
    }
    char16_t bad = 0;
    if (!wide_to_ansi(text, static_cast<size_t>(n), block, &bad)) {
        debug_print("   no Windows ANSI character: U+%04X\n", static_cast<unsigned>(bad));
        *error = xlerrValue;
        return nullptr;
    }
    block[n] = after;
    return block;
}

// A number as an integer: truncated toward zero to 64 bits, of which the low 32
// bits are kept. Numbers that no 64-bit integer holds are refused.
template <class X> int number_to_int(double number, int* value) {
    if (!(fabs(number) < 9223372036854775808.0)) return fail<X>(xlerrNum);
    long long whole = static_cast<long long>(number);
    *value = static_cast<int>(static_cast<unsigned>(static_cast<unsigned long long>(whole)));
    debug_print("   int value = %d\n", *value);
    return 0;
}

// Excel's values of a reference or array, as an array record. xlretUncalced
// gives #N/A; any other failure of Excel, or an answer that is no array, #VALUE!.
template <class X> int coerce_to_array(X* argument, X* array) {
    using Excel = ExcelApi<X>;
    int rc = Excel::call(xlCoerce, array, argument, Excel::temp_int(xltypeMulti));
    if (rc == xlretUncalced) return fail<X>(xlerrNA);
    if (rc != xlretSuccess) return fail<X>(xlerrValue);
    // The size is read only from an array answer; no sheet has more cells than an int counts.
    bool is_array = xl_type(array) == xltypeMulti;
    long long rows = is_array ? array->val.array.rows : 0;
    long long columns = is_array ? array->val.array.columns : 0;
    long long cells = rows * columns;
    if (!is_array || rows < 0 || columns < 0 || cells > INT_MAX ||
        (cells > 0 && array->val.array.lparray == nullptr)) {
        Excel::call(xlFree, nullptr, array);
        return fail<X>(xlerrValue);
    }
    return 0;
}

template <class X> char* join_texts(X* argument) {
    debug_print("\nMKSTR: xltypeRef, xltypeSRef, xltypeMulti\n");
    X array;
    if (coerce_to_array(argument, &array) != 0) return nullptr;
    // Checked above.
    int cells =
        static_cast<int>(static_cast<long long>(array.val.array.rows) * array.val.array.columns);
    char* result = nullptr;
    char* last = nullptr; // the blank behind the last text
    int error = -1;
    for (int i = 0; i < cells && error < 0; ++i) {
        X* cell = &array.val.array.lparray[i];
        switch (xl_type(cell)) {
        case xltypeStr: {
            int n = 0;
            const char* shown = "";
            char* block = copy_trimmed(cell, ' ', &n, &shown, &error);
            if (block == nullptr) break;
            if (result == nullptr) result = block;
            last = block + n;
            debug_print("   i= %2d, tmp_ofs= %3d, strlen= %d\n", i, tmp_ofs, n);
            debug_print("   val: [%.*s]\n", n, shown);
            break;
        }
        case xltypeErr:
            error = static_cast<uint16_t>(cell->val.err);
            debug_print("   xltypeErr: %d\n", error);
            break;
        case xltypeMissing:
            debug_print("   xltypeMissing\n");
            break;
        case xltypeNil:
            debug_print("   xltypeNil\n");
            break;
        default:
            error = xlerrValue;
            debug_print("   default: %3d\n", error);
            break;
        }
    }
    ExcelApi<X>::call(xlFree, nullptr, &array);
    if (error >= 0) {
        fail<X>(static_cast<uint16_t>(error));
        return nullptr;
    }
    if (result == nullptr) {
        // Nothing but empty cells: the empty text.
        result = tmpstr_alloc(1);
        if (result == nullptr) {
            fail<X>(xlerrNA);
            return nullptr;
        }
        last = result;
    }
    *last = '\0';
    return result;
}

template <class X> char* make_text(X* argument) {
    if (argument == nullptr) {
        fail<X>(xlerrValue);
        return nullptr;
    }
    switch (xl_type(argument)) {
    case xltypeStr: {
        debug_print("\nMKSTR: xltypeStr\n");
        int n = 0, error = -1;
        const char* shown = "";
        char* text = copy_trimmed(argument, '\0', &n, &shown, &error);
        if (text == nullptr) fail<X>(static_cast<uint16_t>(error));
        return text;
    }
    case xltypeRef:
    case xltypeSRef:
    case xltypeMulti:
        return join_texts(argument);
    case xltypeMissing:
        debug_print("\nMKSTR: xltypeMissing\n");
        fail<X>(xlerrNA);
        return nullptr;
    default:
        fail<X>(xlerrValue);
        return nullptr;
    }
}

template <class X> int make_int(X* argument, int* value) {
    if (argument == nullptr) return fail<X>(xlerrValue);
    switch (xl_type(argument)) {
    case xltypeNum:
        debug_print("\nMKINT: xltypeNum\n");
        return number_to_int<X>(argument->val.num, value);
    case xltypeRef:
    case xltypeSRef:
    case xltypeMulti: {
        debug_print("\nMKINT: xltypeRef, xltypeSRef, xltypeMulti\n");
        X array;
        if (coerce_to_array(argument, &array) != 0) return -1;
        int rc;
        X* first = array.val.array.rows > 0 && array.val.array.columns > 0
                       ? &array.val.array.lparray[0]
                       : nullptr;
        if (first != nullptr && xl_type(first) == xltypeNum) {
            rc = number_to_int<X>(first->val.num, value);
        } else if (first != nullptr && xl_type(first) == xltypeErr) {
            debug_print("   xltypeErr: %d\n", static_cast<int>(first->val.err));
            rc = fail<X>(static_cast<uint16_t>(first->val.err));
        } else {
            debug_print("   default: %d\n", xlerrValue);
            rc = fail<X>(xlerrValue);
        }
        ExcelApi<X>::call(xlFree, nullptr, &array);
        return rc;
    }
    case xltypeMissing:
        debug_print("\nMKINT: xltypeMissing\n");
        return fail<X>(xlerrNA);
    default:
        debug_print("\nMKINT: default xltype: %d\n", static_cast<int>(argument->xltype));
        return fail<X>(xlerrValue);
    }
}

template <class X> bool optional_int(X* argument, int deflt, int* value) {
    if (MKINT(argument, value) == 0) return true;
    if (!xl_missing(argument)) return false;
    *value = deflt;
    return true;
}

} // namespace

uint16_t xl_type(const XLOPER* x) {
    return static_cast<uint16_t>(x->xltype & ~(xlbitXLFree | xlbitDLLFree));
}

uint16_t xl_type(const XLOPER12* x) {
    // Types beyond 16 bits are none the add-in knows.
    uint32_t type = x->xltype & ~static_cast<uint32_t>(xlbitXLFree | xlbitDLLFree);
    return type > 0xFFFF ? 0 : static_cast<uint16_t>(type);
}

bool xl_optional_int(XLOPER* argument, int deflt, int* value) {
    return optional_int(argument, deflt, value);
}

bool xl_optional_int(XLOPER12* argument, int deflt, int* value) {
    return optional_int(argument, deflt, value);
}

bool xl_missing(const XLOPER* argument) {
    return argument != nullptr && xl_type(argument) == xltypeMissing;
}

bool xl_missing(const XLOPER12* argument) {
    return argument != nullptr && xl_type(argument) == xltypeMissing;
}

void xl_set_error(XLOPER* x, uint16_t error) {
    x->xltype = xltypeErr;
    x->val.err = error;
}

void xl_set_error(XLOPER12* x, uint16_t error) {
    x->xltype = xltypeErr;
    x->val.err = error;
}

void xl_set_int(XLOPER* x, int16_t value) {
    x->xltype = xltypeInt;
    x->val.w = value;
}

void xl_set_int(XLOPER12* x, int32_t value) {
    x->xltype = xltypeInt;
    x->val.w = value;
}

void xl_set_text(XLOPER* x, char* counted) {
    counted[0] = xl_text_length(strlen(counted + 1));
    x->xltype = xltypeStr;
    x->val.str = counted;
}

void xl_set_text(XLOPER12* x, char* counted) {
    size_t n = strnlen(counted + 1, XL12_TEXT_MAX);
    result_text12[0] = static_cast<xl_char>(n);
    ansi_to_wide(counted + 1, n, result_text12 + 1);
    x->xltype = xltypeStr;
    x->val.str = result_text12;
}

void tmpstr_reset() {
    tmp_ofs = 0;
}

char* tmpstr_alloc(int n) {
    if (n <= 0) return nullptr;
    if (n >= TMPSTR_SIZE - tmp_ofs) {
        error_box(
            "not enough memory to alloc tmpstr\n   max size: %d\n   offset: %d\n   nbytes: %d",
            TMPSTR_SIZE, tmp_ofs, n);
        return nullptr;
    }
    char* p = tmpstr + tmp_ofs;
    tmp_ofs += n;
    return p;
}

char* MKSTR(XLOPER* argument) {
    return make_text(argument);
}

char* MKSTR(XLOPER12* argument) {
    return make_text(argument);
}

int MKINT(XLOPER* argument, int* value) {
    return make_int(argument, value);
}

int MKINT(XLOPER12* argument, int* value) {
    return make_int(argument, value);
}
