#include "addin/xl_callback12.h"

#include "addin/wide_text.h"
#include "addin/xl_arguments.h"
#include "addin/xl_callback.h"
#include "addin/xl_temp_records.h"
#include "platform/platform.h"

#include <string.h>

namespace {

MdCallBack12Proc callback12 = nullptr;

} // namespace

bool xl12_bind_host() {
    void* program = plat_host_program();
    callback12 = program == nullptr
                     ? nullptr
                     : reinterpret_cast<MdCallBack12Proc>(plat_get_proc(program, "MdCallBack12"));
    return callback12 != nullptr;
}

void xl12_release() {
    callback12 = nullptr;
}

bool xl12_offered() {
    return callback12 != nullptr;
}

int xl12_call(int function, XLOPER12* result, int count, ...) {
    XLOPER12* arguments[XL_MAX_ARGUMENTS];
    va_list list;
    va_start(list, count);
    int rc = xl_gather_arguments(list, count, arguments);
    va_end(list);
    if (rc == xlretSuccess && callback12 == nullptr) rc = xlretFailed;
    if (rc == xlretSuccess) rc = callback12(function, count, arguments, result);
    xl_temp_reset();
    return rc;
}

XLOPER12* xl12_temp_str(const char* text) {
    XLOPER12* x = xl_temp_record_of<XLOPER12>();
    size_t n = strnlen(text, XL12_TEXT_MAX);
    auto* units = static_cast<xl_char*>(xl_temp_alloc(static_cast<int>((n + 1) * sizeof(xl_char))));
    if (x == nullptr || units == nullptr) return nullptr;
    units[0] = static_cast<xl_char>(n);
    ansi_to_wide(text, n, units + 1);
    x->xltype = xltypeStr;
    x->val.str = units;
    return x;
}

XLOPER12* xl12_temp_int(int32_t value) {
    return xl_temp_int_of<XLOPER12>(value);
}

XLOPER12* xl12_temp_bool(bool value) {
    return xl_temp_bool_of<XLOPER12>(value);
}

XLOPER12* xl12_temp_sheet_ref(xl_sheet_id sheet, int32_t rw_first, int32_t rw_last,
                              int32_t col_first, int32_t col_last) {
    return xl_temp_ref_of<XLOPER12>(sheet, XLREF12{rw_first, rw_last, col_first, col_last});
}

bool xl12_active_sheet(xl_sheet_id* sheet) {
    return callback12 != nullptr &&
           xl_active_sheet_of<XLOPER12>(
               [](XLOPER12* x) { return callback12(xlSheetId, 0, nullptr, x); }, sheet);
}
