#include "fuzz/fake_xlcall32.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>

namespace {

const XLOPER* sheet = nullptr;
int sheet_count = 0;
int coerce_rc = xlretSuccess;
int coerce_shape = 0;
std::set<void*>& handed_out = *new std::set<void*>; // never destroyed: used until exit

enum : int { MAX_CELLS = 4096 };

[[noreturn]] void misuse(const char* what) {
    fprintf(stderr, "fake Excel: %s\n", what);
    abort();
}

uint16_t base_type(const XLOPER* x) {
    return static_cast<uint16_t>(x->xltype & ~(xlbitXLFree | xlbitDLLFree));
}

void* excel_alloc(size_t n) {
    void* p = malloc(n > 0 ? n : 1);
    handed_out.insert(p);
    return p;
}

// A cell as Excel hands it out: texts in Excel's own memory.
void copy_cell(const XLOPER& from, XLOPER* to) {
    *to = from;
    if (base_type(&from) == xltypeStr && from.val.str != nullptr) {
        size_t n = static_cast<unsigned char>(from.val.str[0]) + 1u;
        to->val.str = static_cast<char*>(excel_alloc(n));
        memcpy(to->val.str, from.val.str, n);
    }
    to->xltype = base_type(&from);
}

int rows_columns(const XLOPER* x, int* rows, int* columns) {
    const XLREF* ref = nullptr;
    switch (base_type(x)) {
    case xltypeSRef:
        ref = &x->val.sref.ref;
        break;
    case xltypeRef:
        if (x->val.mref.lpmref == nullptr || x->val.mref.lpmref->count == 0) return xlretInvXloper;
        ref = &x->val.mref.lpmref->reftbl[0];
        break;
    case xltypeMulti:
        *rows = x->val.array.rows;
        *columns = x->val.array.columns;
        return xlretSuccess;
    default:
        return xlretInvXloper;
    }
    if (ref->rwLast < ref->rwFirst || ref->colLast < ref->colFirst) return xlretInvXloper;
    *rows = ref->rwLast - ref->rwFirst + 1;
    *columns = ref->colLast - ref->colFirst + 1;
    return xlretSuccess;
}

int coerce(XLOPER* result, int count, XLOPER* arguments[]) {
    if (count != 2 || result == nullptr) return xlretInvCount;
    if (base_type(arguments[1]) != xltypeInt || arguments[1]->val.w != xltypeMulti)
        misuse("xlCoerce to something other than an array");
    if (coerce_rc != xlretSuccess) return coerce_rc;
    int rows = 0, columns = 0;
    int rc = rows_columns(arguments[0], &rows, &columns);
    if (rc != xlretSuccess) return rc;
    if (static_cast<long>(rows) * columns > MAX_CELLS) return xlretFailed;
    if (coerce_shape == 1) {
        // A number: the rest of the record is not Excel's to fill; here it
        // holds what an array's counts would be at their largest.
        result->val.array.rows = 0xFFFF;
        result->val.array.columns = 0xFFFF;
        result->xltype = xltypeNum;
        result->val.num = 1;
        return xlretSuccess;
    }
    result->xltype = xltypeMulti;
    result->val.array.rows = static_cast<uint16_t>(rows);
    result->val.array.columns = static_cast<uint16_t>(columns);
    if (coerce_shape == 2) {
        result->val.array.lparray = nullptr;
        return xlretSuccess;
    }
    int cells = rows * columns;
    XLOPER* array = static_cast<XLOPER*>(excel_alloc(sizeof(XLOPER) * static_cast<size_t>(cells)));
    for (int i = 0; i < cells; ++i) {
        if (base_type(arguments[0]) == xltypeMulti)
            copy_cell(arguments[0]->val.array.lparray[i], &array[i]);
        else if (sheet_count > 0)
            copy_cell(sheet[i % sheet_count], &array[i]);
        else
            array[i].xltype = xltypeNil;
    }
    result->val.array.lparray = array;
    return xlretSuccess;
}

void give_back(void* p) {
    if (p == nullptr) return;
    if (handed_out.erase(p) == 0) misuse("xlFree of memory Excel did not hand out");
    free(p);
}

int free_records(int count, XLOPER* arguments[]) {
    for (int i = 0; i < count; ++i) {
        XLOPER* x = arguments[i];
        if (base_type(x) == xltypeMulti) {
            int cells = x->val.array.rows * x->val.array.columns;
            for (int k = 0; x->val.array.lparray != nullptr && k < cells; ++k)
                if (base_type(&x->val.array.lparray[k]) == xltypeStr)
                    give_back(x->val.array.lparray[k].val.str);
            give_back(x->val.array.lparray);
        } else if (base_type(x) == xltypeStr) {
            give_back(x->val.str);
        }
        x->xltype = xltypeNil;
    }
    return xlretSuccess;
}

} // namespace

extern "C" void fuzz_xl_set_sheet(const XLOPER* cells, int count, int rc, int shape) {
    // FUZZ_XL_ARRAYS_ONLY set: coerce never answers with a number, so a long
    // run can go on past a finding already kept for that answer.
    static const bool arrays_only = getenv("FUZZ_XL_ARRAYS_ONLY") != nullptr;
    sheet = cells;
    sheet_count = count;
    coerce_rc = rc;
    coerce_shape = arrays_only && shape == 1 ? 0 : shape;
}

extern "C" int fuzz_xl_outstanding() {
    return static_cast<int>(handed_out.size());
}

extern "C" int XL_CALL Excel4v(int function, XLOPER* result, int count, XLOPER* arguments[]) {
    if (count < 0 || count > 30) return xlretInvCount;
    for (int i = 0; i < count; ++i)
        if (arguments[i] == nullptr) misuse("null argument record");
    switch (function) {
    case xlCoerce:
        return coerce(result, count, arguments);
    case xlFree:
        return free_records(count, arguments);
    default:
        return xlretInvXlfn;
    }
}

extern "C" int Excel4(int function, XLOPER* result, int count, ...) {
    XLOPER* arguments[30];
    if (count < 0 || count > 30) return xlretInvCount;
    va_list list;
    va_start(list, count);
    for (int i = 0; i < count; ++i)
        arguments[i] = va_arg(list, XLOPER*);
    va_end(list);
    return Excel4v(function, result, count, arguments);
}
