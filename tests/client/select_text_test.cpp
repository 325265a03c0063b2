// The entry dialog's text handling: key column, key cutting, configured texts,
// font descriptions, configured sizes and the status line.
#include "client/select/select_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(SelectText, KeyOffsetIsTheFirstExactOccurrenceInTheHeader) {
    struct Case {
        const char* header;
        const char* keyfield;
        int keylen;
        int offset;
    } cases[] = {
        {"NAME        CODE  CITY", "CODE", 6, 12},
        {"NAME        CODE  CITY", "CODE", -1, 12}, // only 0 means "no key column"
        {"NAME        CODE  CITY", "CODE", 0, 0},
        {"NAME        CODE  CITY", "", 6, 0},
        {"NAME        CODE  CITY", "code", 6, 0},
        {"NAME        CODE  CITY", "ZIP", 6, 0},
        {"CODE  CODE2", "CODE2", 5, 6},
        {"AB  AB", "AB", 2, 0},
        {"", "CODE", 6, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.header) + "/" + c.keyfield);
        EXPECT_EQ(key_offset_in_header(c.header, c.keyfield, c.keylen), c.offset);
    }
    EXPECT_EQ(key_offset_in_header(nullptr, "CODE", 6), 0);
}

TEST(SelectText, CopyTrimmedDropsTrailingBlanksOnly) {
    struct Case {
        const char* source;
        int n;
        const char* out;
    } cases[] = {
        {"AB1   Paris", 6, "AB1"}, {" A B  ", 6, " A B"}, {"      ", 6, ""}, {"ABCDEF", 0, ""},
        {"ABCDEF", -4, ""},        {"ABC", 10, "ABC"}, // stops at the source's end
        {"A\tB\t", 4, "A\tB\t"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        char out[16];
        std::memset(out, '#', sizeof out);
        copy_trimmed(c.source, out, c.n);
        EXPECT_STREQ(out, c.out);
    }
}

TEST(SelectText, CutKeyTakesKeylenCharactersFromTheKeyColumn) {
    const std::string row300 = std::string(250, 'a') + "bcdefgh" + std::string(43, 'z');
    struct Case {
        std::string row;
        int offset, keylen;
        std::string key;
        int cut;
    } cases[] = {
        {"Smith       AB1   Paris", 12, 6, "AB1", 6},
        {"Smith       AB1   Paris", 18, 20, "Paris", 5},
        {"Smith       AB1   Paris", 0, 0, "Smith       AB1   Paris", 23},
        {"Smith       AB1   Paris", 23, 6, "", 0}, // ends right at the key column
        {"Bo", 12, 6, "", 0},                      // ends before it
        {"", 0, 0, "", 0},
        {row300, 0, 0, row300.substr(0, 255), 255},
        {row300, 250, 0, row300.substr(250, 50), 50},
        {row300, 0, 400, row300.substr(0, 255), 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row.substr(0, 24) + "/" + std::to_string(c.offset) + "/" +
                     std::to_string(c.keylen));
        char key[256];
        std::memset(key, '#', sizeof key);
        EXPECT_EQ(cut_key(c.row.c_str(), c.offset, c.keylen, key), c.cut);
        EXPECT_EQ(std::string(key), c.key);
    }
}

TEST(SelectText, ExpandNewlinesDropsBackslashesAndMakesNALineFeed) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"Too many\\nrows", "Too many\nrows"},
        {"a\\\\nb", "a\nb"},    // several backslashes, one character after them
        {"C:\\temp", "C:temp"}, // any other character stays as itself
        {"N\\N", "NN"},         // only the small letter n
        {"end\\", "end"},       // a backslash at the end goes
        {"\\\\", ""},
        {"no escapes", "no escapes"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        char text[64];
        std::snprintf(text, sizeof text, "%s", c.in);
        EXPECT_EQ(expand_newlines(text), text);
        EXPECT_STREQ(text, c.out);
    }
}

TEST(SelectText, FontTextGivesHeightWidthAndFace) {
    struct Case {
        const char* text;
        int height, width;
        const char* face;
    } cases[] = {
        {"20,Arial", -20, -12, "Arial"},
        {"13, Courier", -13, -8, "Courier"},
        {"10,\t Lucida Console \t", -10, -6, "Lucida Console"},
        {"12,   ", -12, -7, ""},
        {"  Arial  ", -13, -8, "Arial"},
        {"12, ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", -12, -7, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        {"Arial", -13, -8, "Arial"},
        {"7,Small Fonts", -7, -4, "Small Fonts"},
        {"-16,Arial", 16, 10, "Arial"}, // 5 * -16 / 8 truncates toward zero
        {"-3,X", 3, 1, "X"},
        {",Arial", 0, 0, "Arial"},
        {"big,Arial", 0, 0, "Arial"},
        {"12,", -12, -7, ""},
        {"20,Arial,Bold", -20, -12, "Arial,Bold"},
        {"99999999999999999999,Arial", -32767, -20479, "Arial"},
        {"12,ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", -12, -7, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", -13, -8, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        {"", -13, -8, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ListFontText font;
        std::memset(&font, '#', sizeof font);
        parse_list_font(c.text, &font);
        EXPECT_EQ(font.height, c.height);
        EXPECT_EQ(font.width, c.width);
        EXPECT_STREQ(font.face, c.face);
    }
}

TEST(SelectText, ConfiguredExtentIsHeldBetweenMinimumAndScreen) {
    struct Case {
        const char* text;
        int result;
    } cases[] = {
        {"", 0}, // not configured: the template's size
        {"0", 0},
        {"abc", 0}, // no number reads as 0
        {"100", 260},
        {"259", 260},
        {"260", 260},
        {"-5", 260},
        {"640", 640},
        {"1024", 1024},
        {"1025", 1024},
        {"99999999999999", 1024},
        {"-99999999999999", 260},
        {"300px", 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(clamp_dialog_extent(c.text, 1024, 260), c.result);
    }
    EXPECT_EQ(clamp_dialog_extent(nullptr, 1024, 260), 0);
}

TEST(SelectText, StatusTextIsAFormatOnlyWithOneIntegerDirective) {
    struct Case {
        const char* format;
        const char* out;
    } cases[] = {
        {"%d Entries qualified", "12 Entries qualified"},
        {"%i rows", "12 rows"},
        {"%u rows", "12 rows"},
        {"[%5d]", "[   12]"},
        {"[%-4d]", "[12  ]"},
        {"[%.3d]", "[012]"},
        {"rows: %d", "rows: 12"},
        {"no directive", "no directive"},
        {"%s rows", "%s rows"},
        {"%d of %d", "%d of %d"},
        {"100%% %d", "100%% %d"},
        {"%ld rows", "%ld rows"},
        {"%*d rows", "%*d rows"},
        {"%n%d", "%n%d"},
        {"%9999d", "%9999d"},
        {"%", "%"},
        {"%d%", "%d%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        char out[64];
        std::memset(out, '#', sizeof out);
        format_status_text(c.format, 12, out, sizeof out);
        EXPECT_STREQ(out, c.out);
    }
    // Cut to the buffer, always terminated.
    char small[8];
    format_status_text("%d Entries qualified", 12, small, sizeof small);
    EXPECT_STREQ(small, "12 Entr");
    format_status_text("plain text here", 12, small, sizeof small);
    EXPECT_STREQ(small, "plain t");
}

} // namespace
