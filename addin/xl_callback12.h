// The road into Excel's 12 interface: the entry MdCallBack12 that Excel 2007
// and later export from their own executable, xl12_call, and scratch
// XLOPER12 records (in the scratch block of xl_callback.h).
#pragma once

#include "addin/xl_interface12.h"

// Looks up MdCallBack12 in the program that runs the process, as Excel's own
// glue does. True when the host offers it; an Excel without it is no fault.
bool xl12_bind_host();
void xl12_release();
// True while the host's MdCallBack12 is bound.
bool xl12_offered();

// Calls Excel function `function` with `count` XLOPER12* arguments through
// MdCallBack12, then empties the scratch block whatever the outcome. `result`
// may be null. Without the entry, with more arguments than Excel takes, or
// with a null argument, nothing is called and xlretFailed, xlretInvCount or
// xlretInvXloper is returned.
int xl12_call(int function, XLOPER12* result, int count, ...);

// A scratch xltypeStr record holding the NUL-terminated Windows ANSI `text`
// as a counted UTF-16 text (copied into the scratch block, at most
// XL12_TEXT_MAX units). Null when the block is full.
XLOPER12* xl12_temp_str(const char* text);
XLOPER12* xl12_temp_int(int32_t value);
XLOPER12* xl12_temp_bool(bool value);
// A scratch xltypeRef record of one area on `sheet`; no call into Excel.
XLOPER12* xl12_temp_sheet_ref(xl_sheet_id sheet, int32_t rw_first, int32_t rw_last,
                              int32_t col_first, int32_t col_last);
// The identifier of the active sheet (xlSheetId, called directly so that the
// records of a call being prepared stay); false when Excel fails.
bool xl12_active_sheet(xl_sheet_id* sheet);
