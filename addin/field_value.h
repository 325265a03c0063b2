// One typed field text of a result row as the value of a cell.
#pragma once

#include "addin/xl_interface12.h"

enum : int {
    // One piece of a field as the library hands it out: the type character
    // and 254 characters, or a continuation of 255.
    FIELD_SIZE = 256,
    // A whole field as one cell holds it: the type character, at most
    // XL_TEXT_MAX characters (XL12_TEXT_MAX in Excel's 12 interface), a NUL.
    CELL_FIELD_SIZE = XL_TEXT_MAX + 2,
    CELL12_FIELD_SIZE = XL12_TEXT_MAX + 2,
};

// Fills `value` from `field` (a type character, the text, a NUL; at most
// CELL_FIELD_SIZE bytes): ' ' and 'S' text, 'N' a number, 'D' and 'T' a date
// serial number from 14 digits YYYYMMDDhhmmss, anything else text. A text
// value is the field buffer itself made a counted string (the type character
// becomes the length byte), so the buffer must stay untouched until the value
// is stored. A date outside the days Excel shows (1900-03-01 to 9999-12-31)
// gives the empty text and the trace "Bad Date".
void xl_field_value(XLOPER* value, char* field);
// The same for Excel's 12 interface (`field` at most CELL12_FIELD_SIZE
// bytes): a text value is the field's text as UTF-16 in a static buffer that
// the next call reuses.
void xl_field_value(XLOPER12* value, char* field);

// Seconds since 1970-01-01 00:00:00 of a calendar time, no time zone; fields
// outside their ranges carry over into the next larger unit.
long long calendar_seconds(int year, int month, int day, int hour, int minute, int second);
