#include "addin/convert.h"

#include "addin/xl_callback.h"
#include "common/diagnostics.h"

#include <limits.h>
#include <math.h>
#include <string.h>

char tmpstr[TMPSTR_SIZE];
int tmp_ofs = 0;
XLOPER xl_result;

namespace {

int fail_str(uint16_t error) {
    xl_set_error(&xl_result, error);
    return -1;
}

// The characters of a counted text without leading and trailing blanks (only
// the character 32; tabs stay).
void trimmed(const char* counted, const char** start, int* length) {
    const char* p = counted + 1;
    int n = static_cast<unsigned char>(counted[0]);
    while (n > 0 && *p == ' ')
        ++p, --n;
    while (n > 0 && p[n - 1] == ' ')
        --n;
    *start = p;
    *length = n;
}

// A number as an integer: truncated toward zero to 64 bits, of which the low 32
// bits are kept. Numbers that no 64-bit integer holds are refused.
int number_to_int(double number, int* value) {
    if (!(fabs(number) < 9223372036854775808.0)) return fail_str(xlerrNum);
    long long whole = static_cast<long long>(number);
    *value = static_cast<int>(static_cast<unsigned>(static_cast<unsigned long long>(whole)));
    debug_print("   int value = %d\n", *value);
    return 0;
}

// Excel's values of a reference or array, as an array record. xlretUncalced
// gives #N/A; any other failure of Excel, or an answer that is no array, #VALUE!.
int coerce_to_array(XLOPER* argument, XLOPER* array) {
    int rc = xl_call(xlCoerce, array, 2, argument, xl_temp_int(xltypeMulti));
    if (rc == xlretUncalced) return fail_str(xlerrNA);
    if (rc != xlretSuccess) return fail_str(xlerrValue);
    // The size is read only from an array answer; no sheet has more cells than an int counts.
    bool is_array = xl_type(array) == xltypeMulti;
    long long cells =
        is_array ? static_cast<long long>(array->val.array.rows) * array->val.array.columns : 0;
    if (!is_array || cells > INT_MAX || (cells > 0 && array->val.array.lparray == nullptr)) {
        xl_call(xlFree, nullptr, 1, array);
        return fail_str(xlerrValue);
    }
    return 0;
}

char* join_texts(XLOPER* argument) {
    debug_print("\nMKSTR: xltypeRef, xltypeSRef, xltypeMulti\n");
    XLOPER array;
    if (coerce_to_array(argument, &array) != 0) return nullptr;
    int cells = static_cast<int>(array.val.array.rows * array.val.array.columns); // checked above
    char* result = nullptr;
    char* last = nullptr; // the blank behind the last text
    int error = -1;
    for (int i = 0; i < cells && error < 0; ++i) {
        XLOPER* cell = &array.val.array.lparray[i];
        switch (xl_type(cell)) {
        case xltypeStr: {
            const char* text = "";
            int n = 0;
            if (cell->val.str != nullptr) trimmed(cell->val.str, &text, &n);
            char* block = tmpstr_alloc(n + 1);
            if (block == nullptr) {
                error = xlerrNA;
                break;
            }
            memcpy(block, text, static_cast<size_t>(n));
            block[n] = ' ';
            if (result == nullptr) result = block;
            last = block + n;
            debug_print("   i= %2d, tmp_ofs= %3d, strlen= %d\n", i, tmp_ofs, n);
            debug_print("   val: [%.*s]\n", n, cell->val.str != nullptr ? cell->val.str + 1 : "");
            break;
        }
        case xltypeErr:
            error = cell->val.err;
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
    xl_call(xlFree, nullptr, 1, &array);
    if (error >= 0) {
        fail_str(static_cast<uint16_t>(error));
        return nullptr;
    }
    if (result == nullptr) {
        // Nothing but empty cells: the empty text.
        result = tmpstr_alloc(1);
        if (result == nullptr) {
            fail_str(xlerrNA);
            return nullptr;
        }
        last = result;
    }
    *last = '\0';
    return result;
}

} // namespace

uint16_t xl_type(const XLOPER* x) {
    return static_cast<uint16_t>(x->xltype & ~(xlbitXLFree | xlbitDLLFree));
}

bool xl_optional_int(XLOPER* argument, int deflt, int* value) {
    if (MKINT(argument, value) == 0) return true;
    if (!xl_missing(argument)) return false;
    *value = deflt;
    return true;
}

bool xl_missing(const XLOPER* argument) {
    return argument != nullptr && xl_type(argument) == xltypeMissing;
}

void xl_set_error(XLOPER* x, uint16_t error) {
    x->xltype = xltypeErr;
    x->val.err = error;
}

void xl_set_int(XLOPER* x, int16_t value) {
    x->xltype = xltypeInt;
    x->val.w = value;
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
    if (argument == nullptr) {
        fail_str(xlerrValue);
        return nullptr;
    }
    switch (xl_type(argument)) {
    case xltypeStr: {
        debug_print("\nMKSTR: xltypeStr\n");
        const char* text = "";
        int n = 0;
        if (argument->val.str != nullptr) trimmed(argument->val.str, &text, &n);
        char* p = tmpstr_alloc(n + 1);
        if (p == nullptr) {
            fail_str(xlerrNA);
            return nullptr;
        }
        memcpy(p, text, static_cast<size_t>(n));
        p[n] = '\0';
        return p;
    }
    case xltypeRef:
    case xltypeSRef:
    case xltypeMulti:
        return join_texts(argument);
    case xltypeMissing:
        debug_print("\nMKSTR: xltypeMissing\n");
        fail_str(xlerrNA);
        return nullptr;
    default:
        fail_str(xlerrValue);
        return nullptr;
    }
}

int MKINT(XLOPER* argument, int* value) {
    if (argument == nullptr) return fail_str(xlerrValue);
    switch (xl_type(argument)) {
    case xltypeNum:
        debug_print("\nMKINT: xltypeNum\n");
        return number_to_int(argument->val.num, value);
    case xltypeRef:
    case xltypeSRef:
    case xltypeMulti: {
        debug_print("\nMKINT: xltypeRef, xltypeSRef, xltypeMulti\n");
        XLOPER array;
        if (coerce_to_array(argument, &array) != 0) return -1;
        int rc;
        XLOPER* first = array.val.array.rows > 0 && array.val.array.columns > 0
                            ? &array.val.array.lparray[0]
                            : nullptr;
        if (first != nullptr && xl_type(first) == xltypeNum) {
            rc = number_to_int(first->val.num, value);
        } else if (first != nullptr && xl_type(first) == xltypeErr) {
            debug_print("   xltypeErr: %d\n", first->val.err);
            rc = fail_str(first->val.err);
        } else {
            debug_print("   default: %d\n", xlerrValue);
            rc = fail_str(xlerrValue);
        }
        xl_call(xlFree, nullptr, 1, &array);
        return rc;
    }
    case xltypeMissing:
        debug_print("\nMKINT: xltypeMissing\n");
        return fail_str(xlerrNA);
    default:
        debug_print("\nMKINT: default xltype: %d\n", argument->xltype);
        return fail_str(xlerrValue);
    }
}
