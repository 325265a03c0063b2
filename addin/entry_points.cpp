// The entry points through which Excel opens, closes, adds, removes and
// describes the add-in.
#include "addin/convert.h"
#include "addin/exports.h"
#include "addin/func_table.h"
#include "addin/lifecycle.h"
#include "addin/registration12.h"
#include "addin/xl_callback.h"
#include "addin/xl_callback12.h"

namespace {

XLOPER xl_dll_name;          // the add-in's path, Excel's text (xlAutoOpen)
XLOPER xl_register_dll_name; // the same for xlAutoRegister
XLOPER xl_register_id;
XLOPER xl_action;
XLOPER xl_info;

// The Add-In Manager lists the add-in under this name, leading blank included.
char addin_title[] = "\025 Dorv Excel Interface";
static_assert(sizeof addin_title == 21 + 2);

char loaded_text[] = "\377DORV.XLL successfully loaded";
char removed_text[] = "\377DORV.XLL successfully removed";

int register_row(XLOPER* dll_name, XLOPER* result, char (&row)[FUNC_COLUMNS][FUNC_TEXT_SIZE]) {
    return xl_call(xlfRegister, result, 8, dll_name, xl_temp_str(row[0]), xl_temp_str(row[1]),
                   xl_temp_str(row[2]), xl_temp_str(row[3]), xl_temp_str(row[4]),
                   xl_temp_str(row[5]), xl_temp_str(row[6]));
}

int alert(char* text) {
    xl_call(xlcAlert, nullptr, 2, xl_temp_str(text), xl_temp_int(2));
    return 1;
}

} // namespace

extern "C" int XL_CALL xlAutoOpen() {
    if (!xll_attached()) return 0;
    // An Excel that offers its 12 interface gets the functions through it;
    // any other registers them as ever.
    if (xl12_offered()) {
        register_functions12();
        return 1;
    }
    // Without its own path name there is nothing to register the functions under.
    if (xl_call(xlGetName, &xl_dll_name, 0) != xlretSuccess) return 1;
    // A row that Excel refuses does not stop the others.
    for (auto& row : func_table)
        register_row(&xl_dll_name, nullptr, row);
    xl_call(xlFree, nullptr, 1, &xl_dll_name);
    return 1;
}

extern "C" int XL_CALL xlAutoClose() {
    if (!xll_attached()) return 0;
    // xlfSetName with a name alone deletes the name that the registration defined.
    for (auto& row : func_table)
        xl_call(xlfSetName, nullptr, 1, xl_temp_str(row[FUNC_FUNCTION_TEXT]));
    return 1;
}

extern "C" XLOPER* XL_CALL xlAutoRegister(XLOPER* name) {
    xl_set_error(&xl_register_id, xlerrValue);
    if (!xll_attached() || name == nullptr) return &xl_register_id;
    // Only a text can name a function; anything else has no text to compare.
    if ((name->xltype & ~(xlbitXLFree | xlbitDLLFree)) != xltypeStr || name->val.str == nullptr)
        return &xl_register_id;
    for (auto& row : func_table) {
        if (!func_name_matches(name->val.str, row[FUNC_PROCEDURE])) continue;
        if (xl_call(xlGetName, &xl_register_dll_name, 0) != xlretSuccess) break;
        register_row(&xl_register_dll_name, &xl_register_id, row);
        xl_call(xlFree, nullptr, 1, &xl_register_dll_name);
        break;
    }
    return &xl_register_id;
}

extern "C" int XL_CALL xlAutoAdd() {
    return xll_attached() ? alert(loaded_text) : 0;
}

extern "C" int XL_CALL xlAutoRemove() {
    return xll_attached() ? alert(removed_text) : 0;
}

extern "C" XLOPER* XL_CALL xlAddInManagerInfo(XLOPER* action) {
    xl_set_error(&xl_info, xlerrValue);
    if (!xll_attached() || action == nullptr) return &xl_info;
    xl_set_error(&xl_action, xlerrValue);
    int rc = xl_call(xlCoerce, &xl_action, 2, action, xl_temp_int(xltypeInt));
    // Only an action that Excel could make an integer of is looked at.
    if (rc == xlretSuccess && xl_action.xltype == xltypeInt && xl_action.val.w == 1) {
        xl_info.xltype = xltypeStr;
        xl_info.val.str = addin_title;
    }
    return &xl_info;
}
