// The registration table: ten worksheet functions, seven counted texts each,
// the arguments 2 to 8 of xlfRegister.
#pragma once

enum : int { FUNC_ROWS = 10, FUNC_COLUMNS = 7, FUNC_TEXT_SIZE = 40 };

// Columns of a row.
enum : int {
    FUNC_PROCEDURE = 0,
    FUNC_TYPE_TEXT = 1,
    FUNC_FUNCTION_TEXT = 2,
    FUNC_ARGUMENT_TEXT = 3,
    FUNC_MACRO_TYPE = 4,
    FUNC_CATEGORY = 5,
    FUNC_SHORTCUT = 6,
};

// Each text: a length byte, the characters, a NUL.
extern char func_table[FUNC_ROWS][FUNC_COLUMNS][FUNC_TEXT_SIZE];

// Excel's 12 interface registers each row with a procedure and a type text
// of its own (XLOPER12 arguments, results wide enough for the whole sheet);
// the other five columns are those of func_table. Counted texts as there.
enum : int { FUNC12_PROCEDURE = 0, FUNC12_TYPE_TEXT = 1 };
extern char func_table12[FUNC_ROWS][2][FUNC_TEXT_SIZE];

// Sets the length byte of all texts of both tables (at attach).
void func_table_set_lengths();

// True when the counted text `name` is the counted `procedure` without
// regard to case: equal length bytes, then equal characters by tolower.
bool func_name_matches(const char* name, const char* procedure);
