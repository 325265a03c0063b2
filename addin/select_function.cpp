// XDorvSelectEntry: the user picks one row of a pending result in the
// library's list dialog; its key comes back as a text.
#include "addin/convert.h"
#include "addin/exports.h"
#include "addin/lifecycle.h"
#include "addin/wide_text.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

#include <string.h>

namespace {

// The key on its way in and out: at most 255 characters and a NUL.
char select_key[256];
// The key as Excel's 12 interface takes it back: UTF-16 and a NUL.
xl_char select_key12[256];

template <class X> char* select_entry(X* hdl, X* keyfield, X* keylen, X* max_select) {
    if (!xll_attached()) return nullptr;
    tmpstr_reset();
    int handle = 0;
    if (MKINT(hdl, &handle) != 0) return nullptr;
    memset(select_key, 0, sizeof select_key);
    char* key_text = MKSTR(keyfield);
    if (key_text != nullptr) {
        // A joined reference may be longer than the key holds: it is cut.
        memcpy(select_key, key_text, strnlen(key_text, sizeof select_key - 1));
    } else if (!xl_missing(keyfield)) {
        return nullptr;
    }
    int length = 0, most = 0;
    if (!xl_optional_int(keylen, 0, &length) || !xl_optional_int(max_select, 0, &most))
        return nullptr;
    debug_print("\nXDorvSelectEntry: call hl_dorv_select_entry (DLL function) with:\n   hdl: %d\n  "
                " keylen: %d\n"
                "   max_select: %d\n   keyfield: [%s]\n",
                handle, length, most, key_text != nullptr ? key_text : "(null)");
    int status = hl_dorv_select_entry(handle, select_key, length, most);
    select_key[sizeof select_key - 1] = '\0';
    if (status <= 0) strcpy(select_key, "No entry qualified");
    debug_print("after select: keyfield: [%s]\n", select_key);
    return select_key;
}

} // namespace

extern "C" char* XL_CALL XDorvSelectEntry(XLOPER* hdl, XLOPER* keyfield, XLOPER* keylen,
                                          XLOPER* max_select) {
    return select_entry(hdl, keyfield, keylen, max_select);
}

extern "C" xl_char* XL_CALL XDorvSelectEntry12(XLOPER12* hdl, XLOPER12* keyfield, XLOPER12* keylen,
                                               XLOPER12* max_select) {
    char* key = select_entry(hdl, keyfield, keylen, max_select);
    if (key == nullptr) return nullptr;
    size_t n = strlen(key);
    ansi_to_wide(key, n, select_key12);
    select_key12[n] = 0;
    return select_key12;
}
