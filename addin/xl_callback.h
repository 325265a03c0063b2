// The add-in's only road into Excel: the binding of Excel's callback library,
// xl_call, and the scratch block for the records passed along with a call.
#pragma once

#include "addin/xl_arguments.h"
#include "addin/xl_interface.h"

// Loads "xlcall32.dll" and looks up Excel4 and Excel4v; on failure shows why
// (caption "DORV32.XLL") and holds nothing. True when bound.
bool xl_bind_excel();
// Releases the callback library if it is held.
void xl_release_excel();

// Calls Excel function `function` with `count` XLOPER* arguments through
// Excel4v, then empties the scratch block whatever the outcome. `result` may
// be null. Without a binding, with more arguments than Excel takes, or with a
// null argument (a scratch record that did not fit), nothing is called and
// xlretFailed, xlretInvCount or xlretInvXloper is returned.
int xl_call(int function, XLOPER* result, int count, ...);

enum : int { XL_SCRATCH_SIZE = 1024 };

// n bytes of the scratch block, or null when they do not fit. The next record
// starts at an even offset.
void* xl_temp_alloc(int n);
// The same at an offset that is a multiple of 8, for records that hold
// doubles or 32-bit numbers among texts of odd lengths.
void* xl_temp_alloc_aligned(int n);
void xl_temp_reset();
// A scratch xltypeStr record pointing at `counted` (not copied), whose length
// byte is first set to the length of the NUL-terminated text behind it (at
// most 255). Null when the block is full.
XLOPER* xl_temp_str(char* counted);
XLOPER* xl_temp_int(int16_t value);
XLOPER* xl_temp_bool(bool value);
// A scratch xltypeRef record of one area on the active sheet (Excel's
// xlSheetId fills in the sheet). Null when the block is full or Excel fails.
XLOPER* xl_temp_ref(uint16_t rw_first, uint16_t rw_last, uint8_t col_first, uint8_t col_last);
// The same on a sheet already known: no call into Excel.
XLOPER* xl_temp_sheet_ref(xl_sheet_id sheet, uint16_t rw_first, uint16_t rw_last, uint8_t col_first,
                          uint8_t col_last);
// The identifier of the active sheet (xlSheetId, called directly so that the
// records of a call being prepared stay); false when Excel fails.
bool xl_active_sheet(xl_sheet_id* sheet);
