#include "addin/result_target.h"

#include "addin/convert.h"
#include "addin/field_value.h"
#include "addin/xl_callback.h"
#include "platform/platform.h"

namespace {

// The last row and column that Excel's references can name.
const long LAST_ROW = 65535;
const long LAST_COLUMN = 255;

char empty_text[2] = {0, 0};

} // namespace

bool read_target(XLOPER* target, XLOPER* mode, ResultTarget* out) {
    if (target == nullptr) return false;
    ResultTarget t{};
    if (xl_type(target) == xltypeSRef) {
        t.area = target->val.sref.ref;
    } else if (xl_type(target) == xltypeRef && target->val.mref.lpmref != nullptr &&
               target->val.mref.lpmref->count == 1) {
        t.area = target->val.mref.lpmref->reftbl[0];
        t.external = true;
        t.sheet = target->val.mref.idSheet;
    } else {
        return false;
    }
    // A rectangle whose corners are the wrong way round holds no cell.
    if (t.area.rwFirst > t.area.rwLast || t.area.colFirst > t.area.colLast) return false;
    t.single = t.area.rwFirst == t.area.rwLast && t.area.colFirst == t.area.colLast;
    int m = 0;
    if (MKINT(mode, &m) != 0) m = 0;
    t.header = m == 1 || m == 3;
    t.transposed = m == 2 || m == 3;
    *out = t;
    return true;
}

void clear_target(XLOPER* target, const ResultTarget& t) {
    if (t.single) return;
    if (xl_call(xlSet, nullptr, 2, target, xl_temp_str(empty_text)) != xlretSuccess)
        plat_message_box("Clear range not successful !", "Dorv", PLAT_MB_OK);
}

bool rows_full(const ResultTarget& t, long r) {
    const XLREF& a = t.area;
    if (!t.single) return t.transposed ? r - a.rwFirst > a.colLast - a.colFirst : r > a.rwLast;
    return t.transposed ? a.colFirst + (r - a.rwFirst) > LAST_COLUMN : r > LAST_ROW;
}

bool fields_full(const ResultTarget& t, long f) {
    const XLREF& a = t.area;
    if (!t.single) return t.transposed ? f - a.colFirst > a.rwLast - a.rwFirst : f > a.colLast;
    return t.transposed ? a.rwFirst + (f - a.colFirst) > LAST_ROW : f > LAST_COLUMN;
}

bool store_field(const ResultTarget& t, long r, long f, char* field) {
    long row = r, column = f;
    if (t.transposed) {
        row = t.area.rwFirst + (f - t.area.colFirst);
        column = t.area.colFirst + (r - t.area.rwFirst);
    }
    XLOPER* cell = xl_temp_ref(static_cast<uint16_t>(row), static_cast<uint16_t>(row),
                               static_cast<uint8_t>(column), static_cast<uint8_t>(column));
    if (cell == nullptr) return false;
    // An xltypeSRef target is on the current sheet, the active one that
    // xl_temp_ref has filled in; an xltypeRef names its own.
    if (t.external) cell->val.mref.idSheet = t.sheet;
    XLOPER value;
    xl_field_value(&value, field);
    return xl_call(xlSet, nullptr, 2, cell, &value) == xlretSuccess;
}
