#include "client/select/select_text.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int key_offset_in_header(const char* header, const char* keyfield, int keylen) {
    if (keylen == 0 || keyfield == nullptr || keyfield[0] == '\0' || header == nullptr) return 0;
    const char* found = strstr(header, keyfield);
    return found != nullptr ? static_cast<int>(found - header) : 0;
}

void copy_trimmed(const char* source, char* destination, int n) {
    int end = 0; // one behind the last copied character that is not a blank
    int i = 0;
    for (; i < n && source[i] != '\0'; ++i) {
        destination[i] = source[i];
        if (source[i] != ' ') end = i + 1;
    }
    destination[end] = '\0';
}

int cut_key(const char* row, int key_offset, int keylen, char* keyfield) {
    size_t length = strlen(row);
    if (key_offset < 0 || static_cast<size_t>(key_offset) > length) {
        // The row ends before the key column: no key.
        keyfield[0] = '\0';
        return 0;
    }
    size_t rest = length - static_cast<size_t>(key_offset);
    int n = rest > SELECT_MAX_KEY ? SELECT_MAX_KEY : static_cast<int>(rest);
    if (keylen == 0 || keylen > n) keylen = n;
    copy_trimmed(row + key_offset, keyfield, keylen);
    return keylen;
}

char* expand_newlines(char* text) {
    char* out = text;
    const char* in = text;
    while (*in != '\0') {
        if (*in != '\\') {
            *out++ = *in++;
            continue;
        }
        while (*in == '\\')
            ++in;
        if (*in == '\0') break;
        *out++ = *in == 'n' ? '\n' : *in;
        ++in;
    }
    *out = '\0';
    return text;
}

namespace {

// The leading integer of a text as atoi reads it, held within +-limit.
long leading_integer(const char* text, long limit) {
    long v = strtol(text, nullptr, 10); // LONG_MIN/LONG_MAX on overflow, 0 without digits
    if (v > limit) return limit;
    if (v < -limit) return -limit;
    return v;
}

// Skips a width or precision; more than three digits cannot fit a status line.
bool skip_small_number(const char** p) {
    int digits = 0;
    while (**p >= '0' && **p <= '9') {
        ++*p;
        ++digits;
    }
    return digits <= 3;
}

} // namespace

void parse_list_font(const char* text, ListFontText* font) {
    const char* comma = strchr(text, ',');
    const char* face = text;
    if (comma != nullptr) {
        // strtol stops at the comma at the latest: it reads no digit behind it.
        int n = static_cast<int>(leading_integer(text, 32767));
        font->height = -n;
        font->width = -(5 * n / 8);
        face = comma + 1;
    } else {
        font->height = -13;
        font->width = -8;
    }
    // "13, Courier" names the face "Courier": the font mapper finds no face
    // with blanks around it and would fall back to a proportional font.
    while (*face == ' ' || *face == '\t')
        ++face;
    size_t length = strlen(face);
    while (length > 0 && (face[length - 1] == ' ' || face[length - 1] == '\t'))
        --length;
    snprintf(font->face, sizeof font->face, "%.*s", static_cast<int>(length), face);
}

int clamp_dialog_extent(const char* configured, int screen, int minimum) {
    if (configured == nullptr || configured[0] == '\0') return 0;
    long v = leading_integer(configured, INT_MAX);
    if (v > screen) return screen;
    if (v != 0 && v < minimum) return minimum;
    return static_cast<int>(v);
}

bool is_count_format(const char* format) {
    int directives = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        ++p;
        while (*p != '\0' && strchr("-+ 0#", *p) != nullptr)
            ++p;
        if (!skip_small_number(&p)) return false;
        if (*p == '.') {
            ++p;
            if (!skip_small_number(&p)) return false;
        }
        if (*p != 'd' && *p != 'i' && *p != 'u')
            return false; // '*', length modifiers, other kinds, "%%"
        ++directives;
    }
    return directives == 1;
}

void format_status_text(const char* format, int count, char* out, int size) {
    if (size < 1) return;
    if (is_count_format(format)) {
        // The format was checked above: one integer directive and nothing else.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        int n = snprintf(out, static_cast<size_t>(size), format, count);
#pragma GCC diagnostic pop
        if (n < 0) out[0] = '\0';
    } else {
        snprintf(out, static_cast<size_t>(size), "%s", format);
    }
    out[size - 1] = '\0';
}
