#include "addin/field_value.h"

#include "addin/lifecycle.h"
#include "addin/wide_text.h"
#include "common/diagnostics.h"

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The text of an XLOPER12 text value: a length unit, the units.
xl_char wide_value[1 + XL12_TEXT_MAX];

// The number of characters behind the type character, at most `most`.
size_t text_length(const char* field, size_t most) {
    return field[0] == '\0' ? 0 : strnlen(field + 1, most);
}

// The counted text behind the type character, made in place.
void text_value(XLOPER* value, char* field) {
    size_t n = text_length(field, XL_TEXT_MAX);
    field[0] = static_cast<char>(n);
    value->xltype = xltypeStr;
    value->val.str = field;
}

void text_value(XLOPER12* value, char* field) {
    size_t n = text_length(field, XL12_TEXT_MAX);
    wide_value[0] = static_cast<xl_char>(n);
    ansi_to_wide(field + 1, n, wide_value + 1);
    value->xltype = xltypeStr;
    value->val.str = wide_value;
}

// Reads a number as the C library's atof does in its initial locale: a full
// stop is the decimal point whatever locale the host process has selected.
double read_number(const char* text) {
    const char* point = localeconv()->decimal_point;
    if (point == nullptr || strcmp(point, ".") == 0) return atof(text);
    char copy[CELL_FIELD_SIZE];
    snprintf(copy, sizeof copy, "%s", text);
    char* dot = strchr(copy, '.');
    if (dot != nullptr && strlen(point) == 1) *dot = point[0];
    return atof(copy);
}

int digits(const char* text, int n) {
    char part[5] = {};
    memcpy(part, text, static_cast<size_t>(n));
    return atoi(part);
}

long long floor_div(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days from 1970-01-01 to the first of the month (proleptic Gregorian calendar).
long long days_from_civil(long long y, long long m) {
    y -= m <= 2;
    long long era = floor_div(y, 400);
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Excel's date serial numbers: day 25569 is 1970-01-01. Day 60 is the
// 29 February 1900 that never was, so serials agree with the calendar from
// 1900-03-01 on; the last day Excel shows is 9999-12-31.
const long long SERIAL_OF_1970 = 25569;
const long long FIRST_SERIAL_DAY = 61;
const long long LAST_SERIAL_DAY = 2958465;
const long long SECONDS_PER_DAY = 86400;

bool date_value(const char* field, double* number) {
    const char* t = field + 1;
    if (strnlen(t, 15) != 14) return false;
    long long seconds = calendar_seconds(digits(t, 4), digits(t + 4, 2), digits(t + 6, 2),
                                         digits(t + 8, 2), digits(t + 10, 2), digits(t + 12, 2));
    long long days = floor_div(seconds, SECONDS_PER_DAY);
    long long serial = SERIAL_OF_1970 + days;
    if (serial < FIRST_SERIAL_DAY || serial > LAST_SERIAL_DAY) return false;
    // The whole days exactly, the time of day as a fraction of 86400 seconds.
    *number = static_cast<double>(serial) +
              static_cast<double>(seconds - days * SECONDS_PER_DAY) * (1.0 / 86400.0);
    return true;
}

// True with *number for a field that is a number in its cell; false for one
// whose cell gets the text behind its type character (a bad date has been
// emptied).
bool number_value(char* field, double* number) {
    switch (field[0]) {
    case ' ':
    case 'S':
        return false;
    case 'N': {
        if (xl_decimal_sep[0] != '\0') {
            char* sep = strchr(field + 1, xl_decimal_sep[0]);
            if (sep != nullptr) *sep = '.';
        }
        *number = read_number(field + 1);
        return true;
    }
    case 'D':
    case 'T':
        if (date_value(field, number)) return true;
        debug_print("Bad Date: [%s]\n", field);
        field[0] = '\0';
        field[1] = '\0';
        return false;
    default:
        debug_print("Typ default: [%s]\n", field);
        return false;
    }
}

template <class X> void field_value(X* value, char* field) {
    double number = 0;
    if (!number_value(field, &number)) {
        text_value(value, field);
        return;
    }
    value->xltype = xltypeNum;
    value->val.num = number;
}

} // namespace

long long calendar_seconds(int year, int month, int day, int hour, int minute, int second) {
    long long months = static_cast<long long>(year) * 12 + (month - 1);
    long long y = floor_div(months, 12);
    long long m = months - y * 12 + 1;
    long long days = days_from_civil(y, m) + (day - 1);
    return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

void xl_field_value(XLOPER* value, char* field) {
    field_value(value, field);
}

void xl_field_value(XLOPER12* value, char* field) {
    field_value(value, field);
}
