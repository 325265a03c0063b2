// Argument conversion: worksheet arguments (XLOPER) to the plain texts and
// integers that the client library takes.
#pragma once

#include "addin/xl_interface.h"

enum : int { TMPSTR_SIZE = 4096 };

// The pool of converted texts; emptied at the start of each worksheet function.
extern char tmpstr[TMPSTR_SIZE];
extern int tmp_ofs;
// The result record of the worksheet functions with result letter R.
extern XLOPER xl_result;

void tmpstr_reset();
// n bytes of the pool, adjacent to the block taken before; null for n <= 0 and,
// after a message box, when the pool cannot hold them (4095 bytes are usable).
char* tmpstr_alloc(int n);

// The argument as a trimmed, NUL-terminated text in tmpstr (the texts of a
// reference's cells joined by one blank), or null with xl_result set to the
// error value.
char* MKSTR(XLOPER* argument);
// The argument as an integer (numbers truncated toward zero): 0 and *value
// set, or -1 with xl_result set to the error value and *value untouched.
int MKINT(XLOPER* argument, int* value);

// An optional integer argument: true with its value, or with `deflt` when it
// was omitted; false when it was given but cannot be read (xl_result holds
// the error).
bool xl_optional_int(XLOPER* argument, int deflt, int* value);
// True when the argument was omitted in the call.
bool xl_missing(const XLOPER* argument);
// The record's type without the bits that say who frees it.
uint16_t xl_type(const XLOPER* x);
void xl_set_error(XLOPER* x, uint16_t error);
void xl_set_int(XLOPER* x, int16_t value);
