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

// Sets the length byte of all 70 texts (at attach).
void func_table_set_lengths();
