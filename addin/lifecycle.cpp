#include "addin/lifecycle.h"

#include "addin/func_table.h"
#include "addin/library_binding.h"
#include "addin/xl_callback.h"
#include "addin/xl_callback12.h"
#include "common/diagnostics.h"
#include "platform/platform.h"

char xl_decimal_sep[2] = ".";

namespace {
bool attached = false;
}

bool xll_attach() {
    start_debug_log();
    // dorv32 first: when it cannot be bound, nothing else is tried.
    if (!bind_dorv32()) {
        end_debug_log();
        attached = false;
        return false;
    }
    if (!xl_bind_excel()) {
        end_debug_log();
        release_dorv32();
        attached = false;
        return false;
    }
    // Excel 2007 and later offer their 12 interface from their executable;
    // without it the add-in speaks the 4 interface alone.
    xl12_bind_host();
    func_table_set_lengths();
    debug_enabled = plat_ini_int("Global", "Debug", 0, "windorv.ini");
    plat_profile_string("intl", "sDecimal", ".", xl_decimal_sep, sizeof xl_decimal_sep);
    attached = true;
    return true;
}

void xll_detach() {
    attached = false;
    xl12_release();
    xl_release_excel();
    end_debug_log();
    release_dorv32();
}

bool xll_attached() {
    return attached;
}
