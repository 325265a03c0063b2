// One typed field text of a result row as the value of a cell.
#pragma once

#include "addin/xl_interface.h"

enum : int { FIELD_SIZE = 256 };

// Fills `value` from `field` (a type character, the text, a NUL; at most
// FIELD_SIZE bytes): ' ' and 'S' text, 'N' a number, 'D' and 'T' a date serial
// number from 14 digits YYYYMMDDhhmmss, anything else text. A text value is
// the field buffer itself made a counted string (the type character becomes
// the length byte), so the buffer must stay untouched until the value is stored.
void xl_field_value(XLOPER* value, char* field);

// Seconds since 1970-01-01 00:00:00 of a calendar time, no time zone; fields
// outside their ranges carry over into the next larger unit.
long long calendar_seconds(int year, int month, int day, int hour, int minute, int second);
