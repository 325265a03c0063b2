// The functions registered through Excel's 12 interface: all ten at
// xlAutoOpen, one at xlAutoRegister12.
#include "addin/registration12.h"

#include "addin/convert.h"
#include "addin/exports.h"
#include "addin/func_table.h"
#include "addin/lifecycle.h"
#include "addin/wide_text.h"
#include "addin/xl_callback12.h"
#include "common/diagnostics.h"

namespace {

XLOPER12 dll_name12;          // the add-in's path, Excel's text (xlAutoOpen)
XLOPER12 register_dll_name12; // the same for xlAutoRegister12
XLOPER12 register_id12;

// The texts of a row as xlfRegister takes them: the procedure and type text
// given, the other five of func_table.
int register_row12(XLOPER12* dll_name, XLOPER12* result, const char* procedure,
                   const char* type_text, char (&row)[FUNC_COLUMNS][FUNC_TEXT_SIZE]) {
    return xl12_call(xlfRegister, result, 8, dll_name, xl12_temp_str(procedure + 1),
                     xl12_temp_str(type_text + 1), xl12_temp_str(row[FUNC_FUNCTION_TEXT] + 1),
                     xl12_temp_str(row[FUNC_ARGUMENT_TEXT] + 1),
                     xl12_temp_str(row[FUNC_MACRO_TYPE] + 1), xl12_temp_str(row[FUNC_CATEGORY] + 1),
                     xl12_temp_str(row[FUNC_SHORTCUT] + 1));
}

// A text record's text as a counted Windows ANSI text in `counted`
// (FUNC_TEXT_SIZE bytes); false when it is no name of this table.
bool counted_name(const XLOPER12* name, char* counted) {
    if (xl_type(name) != xltypeStr || name->val.str == nullptr) return false;
    size_t n = name->val.str[0];
    char16_t bad = 0;
    if (n > FUNC_TEXT_SIZE - 2 || !wide_to_ansi(name->val.str + 1, n, counted + 1, &bad))
        return false;
    counted[0] = static_cast<char>(n);
    counted[n + 1] = '\0';
    return true;
}

} // namespace

void register_functions12() {
    debug_print("\nxlAutoOpen: registering through Excel's 12 interface (MdCallBack12)\n");
    // Without its own path name there is nothing to register the functions under.
    if (xl12_call(xlGetName, &dll_name12, 0) != xlretSuccess) return;
    for (int i = 0; i < FUNC_ROWS; ++i)
        register_row12(&dll_name12, nullptr, func_table12[i][FUNC12_PROCEDURE],
                       func_table12[i][FUNC12_TYPE_TEXT], func_table[i]);
    xl12_call(xlFree, nullptr, 1, &dll_name12);
}

// Excel names the procedure of a registration that lacks its type text: an
// Excel 12 procedure, or one of Excel's 4 interface, each with its own types.
extern "C" XLOPER12* XL_CALL xlAutoRegister12(XLOPER12* name) {
    xl_set_error(&register_id12, xlerrValue);
    char counted[FUNC_TEXT_SIZE];
    if (!xll_attached() || !xl12_offered() || name == nullptr || !counted_name(name, counted))
        return &register_id12;
    for (int i = 0; i < FUNC_ROWS; ++i) {
        const char* procedure = func_table12[i][FUNC12_PROCEDURE];
        const char* type_text = func_table12[i][FUNC12_TYPE_TEXT];
        if (!func_name_matches(counted, procedure)) {
            procedure = func_table[i][FUNC_PROCEDURE];
            type_text = func_table[i][FUNC_TYPE_TEXT];
            if (!func_name_matches(counted, procedure)) continue;
        }
        if (xl12_call(xlGetName, &register_dll_name12, 0) != xlretSuccess) break;
        register_row12(&register_dll_name12, &register_id12, procedure, type_text, func_table[i]);
        xl12_call(xlFree, nullptr, 1, &register_dll_name12);
        break;
    }
    return &register_id12;
}
