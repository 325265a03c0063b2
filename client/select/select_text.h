// Text handling of the entry selection dialog that needs no window: where the
// key stands in a row and how it is cut, configured texts, the list font's
// description, the configured dialog size and the status line.
#pragma once

#include "platform/list_dialog.h" // LIST_FACE_SIZE, LIST_MIN_TRACK_WIDTH and _HEIGHT

enum : int {
    SELECT_TEXT_SIZE = 256, // rows, header line, keys and configured texts
    SELECT_MAX_KEY = 255,   // a key holds at most this many characters
};

// Offset of the key column: the first occurrence of `keyfield` in `header`
// (exact, case-sensitive), or 0 when keylen is 0, keyfield is empty, or it
// does not occur.
int key_offset_in_header(const char* header, const char* keyfield, int keylen);

// Copies n characters of source and ends destination with a NUL right after the
// last copied character that is not a blank. n of 0 or less gives "".
// Stops early at a NUL in source, so it never reads past the source text.
void copy_trimmed(const char* source, char* destination, int n);

// The key of a row: up to keylen characters from key_offset (all of them up to
// 255 when keylen is 0 or longer), without trailing blanks, into keyfield (at
// least 256 bytes). A row that ends before key_offset gives the empty key.
// Returns the number of characters the key was cut to before trimming.
int cut_key(const char* row, int key_offset, int keylen, char* keyfield);

// In place: every backslash is dropped, and the character after one or more
// backslashes becomes a line feed when it is 'n'. Returns text.
char* expand_newlines(char* text);

// A list font as "DlgFont" describes it: "size,face" or just a face name.
struct ListFontText {
    int height;                // negative: character height in pixels
    int width;                 // negative: average width, 5/8 of the height
    char face[LIST_FACE_SIZE]; // cut to 31 characters
};
// "20,Arial" gives -20, -12, "Arial"; the face is the text after the first
// comma without the blanks around it ("13, Courier" gives "Courier"). Without
// a comma: -13, -8 and the whole text, trimmed, as the face. Sizes beyond +-32767 are held at that
// bound.
void parse_list_font(const char* text, ListFontText* font);

// A configured client width or height: "" (not configured) gives 0; a value
// above `screen` gives `screen`; any other value that is not 0 but below
// `minimum` gives `minimum`. The text is read as an integer like atoi.
int clamp_dialog_extent(const char* configured, int screen, int minimum);

// True when `format` holds exactly one integer directive (%d, %i or %u, with
// flags, width and precision but no '*' and no length modifier) and no other
// '%'.
bool is_count_format(const char* format);

// The status line: `format` filled in with `count` when it is a count format,
// otherwise `format` as it stands. Always NUL-terminated within `size`.
void format_status_text(const char* format, int count, char* out, int size);
