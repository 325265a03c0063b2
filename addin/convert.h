// Argument conversion: worksheet arguments (XLOPER of Excel's 4 interface,
// XLOPER12 of its 12 interface) to the plain texts and integers that the
// client library takes, and the result records of the worksheet functions.
#pragma once

#include "addin/xl_interface12.h"

enum : int { TMPSTR_SIZE = 4096 };

// The pool of converted texts; emptied at the start of each worksheet function.
extern char tmpstr[TMPSTR_SIZE];
extern int tmp_ofs;
// The result records of the worksheet functions with result letter R (Q).
extern XLOPER xl_result;
extern XLOPER12 xl12_result;

void tmpstr_reset();
// n bytes of the pool, adjacent to the block taken before; null for n <= 0 and,
// after a message box, when the pool cannot hold them (4095 bytes are usable).
char* tmpstr_alloc(int n);

// The argument as a trimmed, NUL-terminated text in tmpstr (the texts of a
// reference's cells joined by one blank), or null with the interface's result
// record set to the error value. An XLOPER12 text becomes Windows ANSI; a
// character that has no byte there gives #VALUE!.
char* MKSTR(XLOPER* argument);
char* MKSTR(XLOPER12* argument);
// The argument as an integer (numbers truncated toward zero): 0 and *value
// set, or -1 with the result record set to the error value and *value untouched.
int MKINT(XLOPER* argument, int* value);
int MKINT(XLOPER12* argument, int* value);

// An optional integer argument: true with its value, or with `deflt` when it
// was omitted; false when it was given but cannot be read (the result record
// holds the error).
bool xl_optional_int(XLOPER* argument, int deflt, int* value);
bool xl_optional_int(XLOPER12* argument, int deflt, int* value);
// True when the argument was omitted in the call.
bool xl_missing(const XLOPER* argument);
bool xl_missing(const XLOPER12* argument);
// The record's type without the bits that say who frees it.
uint16_t xl_type(const XLOPER* x);
uint16_t xl_type(const XLOPER12* x);
void xl_set_error(XLOPER* x, uint16_t error);
void xl_set_error(XLOPER12* x, uint16_t error);
void xl_set_int(XLOPER* x, int16_t value);
void xl_set_int(XLOPER12* x, int32_t value);
// The text behind the length byte of `counted` (NUL-terminated) as the
// record's text. XLOPER: the record points at `counted`, whose length byte is
// set (at most 255 characters). XLOPER12: the text is copied as UTF-16 into a
// static buffer that the next such call reuses (at most XL12_TEXT_MAX).
void xl_set_text(XLOPER* x, char* counted);
void xl_set_text(XLOPER12* x, char* counted);
