#include "addin/xl_callback.h"

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
    return static_cast<XLOPER*>(xl_temp_alloc(sizeof(XLOPER)));
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
    int rc = excel4v == nullptr ? xlretFailed : xlretSuccess;
    if (count < 0 || count > XL_MAX_ARGUMENTS) rc = xlretInvCount;
    va_list list;
    va_start(list, count);
    for (int i = 0; rc == xlretSuccess && i < count; ++i) {
        arguments[i] =
            va_arg(list, XLOPER*); // NOLINT(clang-analyzer-valist.Uninitialized): started above
        if (arguments[i] == nullptr) rc = xlretInvXloper;
    }
    va_end(list);
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
    XLOPER* x = temp_record();
    if (x == nullptr) return nullptr;
    x->xltype = xltypeInt;
    x->val.w = value;
    return x;
}

XLOPER* xl_temp_bool(bool value) {
    XLOPER* x = temp_record();
    if (x == nullptr) return nullptr;
    x->xltype = xltypeBool;
    x->val.xbool = value ? 1 : 0;
    return x;
}

XLOPER* xl_temp_ref(uint16_t rw_first, uint16_t rw_last, uint8_t col_first, uint8_t col_last) {
    XLOPER* x = temp_record();
    XLMREF* area = static_cast<XLMREF*>(xl_temp_alloc(sizeof(XLMREF)));
    if (x == nullptr || area == nullptr || excel4 == nullptr) return nullptr;
    if (excel4(xlSheetId, x, 0) != xlretSuccess) return nullptr;
    x->xltype = xltypeRef;
    x->val.mref.lpmref = area;
    area->count = 1;
    area->reftbl[0] = {rw_first, rw_last, col_first, col_last};
    return x;
}
