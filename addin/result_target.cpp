#include "addin/result_target.h"

#include "addin/convert.h"
#include "addin/excel_api.h"
#include "addin/field_value.h"
#include "platform/platform.h"

namespace {

char empty_text[2] = {0, 0};

} // namespace

template <class X> bool read_target(X* target, X* mode, ResultTarget* out) {
    if (target == nullptr) return false;
    ResultTarget t{};
    if (xl_type(target) == xltypeSRef) {
        const auto& r = target->val.sref.ref;
        t.area = {r.rwFirst, r.rwLast, r.colFirst, r.colLast};
    } else if (xl_type(target) == xltypeRef && target->val.mref.lpmref != nullptr &&
               target->val.mref.lpmref->count == 1) {
        const auto& r = target->val.mref.lpmref->reftbl[0];
        t.area = {r.rwFirst, r.rwLast, r.colFirst, r.colLast};
        t.sheet = target->val.mref.idSheet;
        t.sheet_known = true;
    } else {
        return false;
    }
    t.last_row = ExcelApi<X>::last_row;
    t.last_column = ExcelApi<X>::last_column;
    t.text_max = ExcelApi<X>::text_max;
    // A rectangle whose corners are the wrong way round, or beyond the
    // sheet, holds no cell.
    const SheetArea& a = t.area;
    if (a.rwFirst < 0 || a.colFirst < 0 || a.rwLast > t.last_row || a.colLast > t.last_column ||
        a.rwFirst > a.rwLast || a.colFirst > a.colLast)
        return false;
    t.single = a.rwFirst == a.rwLast && a.colFirst == a.colLast;
    int m = 0;
    if (MKINT(mode, &m) != 0) m = 0;
    t.header = m == 1 || m == 3;
    t.transposed = m == 2 || m == 3;
    *out = t;
    return true;
}

template <class X> void clear_target(X* target, const ResultTarget& t) {
    if (t.single) return;
    using Excel = ExcelApi<X>;
    if (Excel::call(xlSet, nullptr, target, Excel::temp_text(empty_text)) != xlretSuccess)
        plat_message_box("Clear range not successful !", "Dorv", PLAT_MB_OK);
}

bool rows_full(const ResultTarget& t, long r) {
    const SheetArea& a = t.area;
    if (!t.single) return t.transposed ? r - a.rwFirst > a.colLast - a.colFirst : r > a.rwLast;
    return t.transposed ? a.colFirst + (r - a.rwFirst) > t.last_column : r > t.last_row;
}

bool fields_full(const ResultTarget& t, long f) {
    const SheetArea& a = t.area;
    if (!t.single) return t.transposed ? f - a.colFirst > a.rwLast - a.rwFirst : f > a.colLast;
    return t.transposed ? a.rwFirst + (f - a.colFirst) > t.last_row : f > t.last_column;
}

template <class X> bool store_field(ResultTarget& t, long r, long f, char* field) {
    using Excel = ExcelApi<X>;
    long row = r, column = f;
    if (t.transposed) {
        row = t.area.rwFirst + (f - t.area.colFirst);
        column = t.area.colFirst + (r - t.area.rwFirst);
    }
    // An xltypeSRef target is on the current sheet, the active one.
    if (!t.sheet_known && !Excel::active_sheet(&t.sheet)) return false;
    t.sheet_known = true;
    X* cell = Excel::temp_cell(t.sheet, static_cast<int32_t>(row), static_cast<int32_t>(column));
    if (cell == nullptr) return false;
    X value;
    xl_field_value(&value, field);
    return Excel::call(xlSet, nullptr, cell, &value) == xlretSuccess;
}

template bool read_target(XLOPER*, XLOPER*, ResultTarget*);
template bool read_target(XLOPER12*, XLOPER12*, ResultTarget*);
template void clear_target(XLOPER*, const ResultTarget&);
template void clear_target(XLOPER12*, const ResultTarget&);
template bool store_field<XLOPER>(ResultTarget&, long, long, char*);
template bool store_field<XLOPER12>(ResultTarget&, long, long, char*);
