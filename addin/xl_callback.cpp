#include "addin/xl_callback.h"

#include "addin/xl_temp_records.h"

#include "platform/platform.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

void* xlcall_library = nullptr;
Excel4Proc excel4 = nullptr;
Excel4vProc excel4v = nullptr;

// Records for Excel live here until the call they belong to returns.
alignas(8) unsigned char scratch[XL_SCRATCH_SIZE];
int scratch_offset = 0;

void show_binding_failure(const char* format) {
    char text[80];
    snprintf(text, sizeof text, format, plat_last_error());
    plat_message_box(text, "DORV32.XLL", PLAT_MB_ICONSTOP); // and only an OK button
}

XLOPER* temp_record() {
    return xl_temp_record_of<XLOPER>();
}

} // namespace

bool xl_bind_excel() {
    xlcall_library = plat_load_library("xlcall32.dll");
    if (xlcall_library == nullptr) {
        show_binding_failure("Unable to load XLCALL32.DLL\nWinErrno=%lu");
        return false;
    }
    excel4 = reinterpret_cast<Excel4Proc>(plat_get_proc(xlcall_library, "Excel4"));
    excel4v = reinterpret_cast<Excel4vProc>(plat_get_proc(xlcall_library, "Excel4v"));
    if (excel4 == nullptr || excel4v == nullptr) {
        show_binding_failure("Unable to establish dynamic\nlinkage to XLCALL32.XLL\nWinErrno=%lu");
        xl_release_excel();
        return false;
    }
    return true;
}

void xl_release_excel() {
    if (xlcall_library != nullptr) plat_free_library(xlcall_library);
    xlcall_library = nullptr;
    excel4 = nullptr;
    excel4v = nullptr;
}

int xl_call(int function, XLOPER* result, int count, ...) {
    XLOPER* arguments[XL_MAX_ARGUMENTS];
    va_list list;
    va_start(list, count);
    int rc = xl_gather_arguments(list, count, arguments);
    va_end(list);
    if (rc == xlretSuccess && excel4v == nullptr) rc = xlretFailed;
    if (rc == xlretSuccess) rc = excel4v(function, result, count, arguments);
    xl_temp_reset();
    return rc;
}

void* xl_temp_alloc(int n) {
    if (n < 0 || scratch_offset + n > XL_SCRATCH_SIZE) return nullptr;
    void* p = scratch + scratch_offset;
    scratch_offset = (scratch_offset + n + 1) & ~1;
    return p;
}

void* xl_temp_alloc_aligned(int n) {
    int padding = (8 - scratch_offset % 8) % 8;
    if (n < 0 || scratch_offset + padding + n > XL_SCRATCH_SIZE) return nullptr;
    scratch_offset += padding;
    return xl_temp_alloc(n);
}

void xl_temp_reset() {
    scratch_offset = 0;
}

XLOPER* xl_temp_str(char* counted) {
    XLOPER* x = temp_record();
    if (x == nullptr) return nullptr;
    size_t n = strlen(counted + 1);
    counted[0] = xl_text_length(n);
    x->xltype = xltypeStr;
    x->val.str = counted;
    return x;
}

XLOPER* xl_temp_int(int16_t value) {
    return xl_temp_int_of<XLOPER>(value);
}

XLOPER* xl_temp_bool(bool value) {
    return xl_temp_bool_of<XLOPER>(value);
}

XLOPER* xl_temp_ref(uint16_t rw_first, uint16_t rw_last, uint8_t col_first, uint8_t col_last) {
    xl_sheet_id sheet = 0;
    if (!xl_active_sheet(&sheet)) return nullptr;
    return xl_temp_sheet_ref(sheet, rw_first, rw_last, col_first, col_last);
}

XLOPER* xl_temp_sheet_ref(xl_sheet_id sheet, uint16_t rw_first, uint16_t rw_last, uint8_t col_first,
                          uint8_t col_last) {
    return xl_temp_ref_of<XLOPER>(sheet, XLREF{rw_first, rw_last, col_first, col_last});
}

bool xl_active_sheet(xl_sheet_id* sheet) {
    return excel4 != nullptr &&
           xl_active_sheet_of<XLOPER>([](XLOPER* x) { return excel4(xlSheetId, x, 0); }, sheet);
}
