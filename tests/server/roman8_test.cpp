// Conversion between the wire's HP Roman-8 and SQLite's UTF-8.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "server/protocol/roman8.h"

namespace {

using dorvd::roman8_to_unicode;
using dorvd::roman8_to_utf8;
using dorvd::utf8_to_roman8;

// The Windows-1252 values the client gives Roman-8 bytes 0xA0-0xFF.
constexpr std::array<unsigned char, 96> kClientWindowsValues = {
    0x20, 0xC0, 0xC2, 0xC8, 0xCA, 0xCB, 0xCE, 0xCF, 0x27, 0x60, 0x88, 0xA8, 0x98, 0xD9, 0xDB, 0xA3,
    0xAF, 0xDD, 0xFD, 0xB0, 0xC7, 0xE7, 0xD1, 0xF1, 0xA1, 0xBF, 0xA4, 0xA3, 0xA5, 0xA7, 0x83, 0xA2,
    0xE2, 0xEA, 0xF4, 0xFB, 0xE1, 0xE9, 0xF3, 0xFA, 0xE0, 0xE8, 0xF2, 0xF9, 0xE4, 0xEB, 0xF6, 0xFC,
    0xC5, 0xEE, 0xD8, 0xC6, 0xE5, 0xED, 0xF8, 0xE6, 0xC4, 0xEC, 0xD6, 0xDC, 0xC9, 0xEF, 0xDF, 0xD4,
    0xC1, 0xC3, 0xE3, 0xD0, 0xF0, 0xCD, 0xCC, 0xD3, 0xD2, 0xD5, 0xF5, 0x8A, 0x9A, 0xDA, 0x9F, 0xFF,
    0xDE, 0xFE, 0xB7, 0xB5, 0xB6, 0xBE, 0x2D, 0xBC, 0xBD, 0xAA, 0xBA, 0xAB, 0x20, 0xBB, 0xB1, 0x20,
};

char32_t windows_1252_to_unicode(unsigned char value) {
    switch (value) {
    case 0x83:
        return 0x0192;
    case 0x88:
        return 0x02C6;
    case 0x8A:
        return 0x0160;
    case 0x98:
        return 0x02DC;
    case 0x9A:
        return 0x0161;
    case 0x9F:
        return 0x0178;
    default:
        return value; // 0x20-0x7F and 0xA0-0xFF are Latin-1
    }
}

// The client folds these Roman-8 characters into look-alikes; the server
// keeps the real ones.
struct RealCharacter {
    unsigned char byte;
    char32_t code_point;
};
constexpr RealCharacter kUnfolded[] = {
    {0xA0, 0x00A0}, {0xA8, 0x00B4}, {0xA9, 0x02CB}, {0xAF, 0x20A4},
    {0xF6, 0x2014}, {0xFC, 0x25A0}, {0xFF, U'?'},
};

TEST(Roman8, UpperHalfAgreesWithTheClientsWindowsTable) {
    for (unsigned byte = 0xA0; byte <= 0xFF; ++byte) {
        char32_t expected = windows_1252_to_unicode(kClientWindowsValues[byte - 0xA0]);
        for (const RealCharacter& real : kUnfolded) {
            if (real.byte == byte) expected = real.code_point;
        }
        EXPECT_EQ(roman8_to_unicode(static_cast<unsigned char>(byte)), expected)
            << "Roman-8 byte 0x" << std::hex << byte;
    }
}

TEST(Roman8, EveryDefinedByteSurvivesARoundTripThroughUtf8) {
    for (unsigned byte = 0; byte < 0xFF; ++byte) {
        const std::string wire(1, static_cast<char>(byte));
        EXPECT_EQ(utf8_to_roman8(roman8_to_utf8(wire)), wire) << "byte 0x" << std::hex << byte;
    }
}

struct Utf8Case {
    const char* utf8;
    const char* roman8;
};

class Utf8ToRoman8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToRoman8, Converts) {
    EXPECT_EQ(utf8_to_roman8(GetParam().utf8), GetParam().roman8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToRoman8,
    ::testing::Values(Utf8Case{"plain ASCII", "plain ASCII"},
                      Utf8Case{"M\xC3\xBCller", "M\xCFller"},                   // ü
                      Utf8Case{"S\xC3\xB8ren", "S\xD6ren"},                     // ø
                      Utf8Case{"Fran\xC3\xA7oise", "Fran\xB5oise"},             // ç
                      Utf8Case{"\xC2\xA3 \xC3\x9F \xC5\xB8", "\xBB \xDE \xEE"}, // £ ß Ÿ
                      Utf8Case{"\xE2\x80\x94", "\xF6"},                         // em dash
                      Utf8Case{"5 \xE2\x82\xAC", "5 ?"},                        // euro: no Roman-8
                      Utf8Case{"\xE4\xB8\xAD\xF0\x9F\x98\x80", "??"},           // CJK, emoji
                      Utf8Case{"a\xFFz", "a?z"},                                // not UTF-8
                      Utf8Case{"\xC0\xAF", "??"},                               // overlong
                      Utf8Case{"\xED\xA0\x80", "???"},                          // surrogate
                      Utf8Case{"cut \xC3", "cut ?"}));                          // cut sequence

TEST(Roman8Stream, JoinsASequenceCutBetweenPieces) {
    dorvd::Utf8ToRoman8Stream stream;
    EXPECT_EQ(stream.feed("M\xC3"), "M");
    EXPECT_EQ(stream.feed("\xBCller \xE2\x80"), "\xCFller ");
    EXPECT_EQ(stream.feed("\x94"), "\xF6");
    EXPECT_EQ(stream.feed("end \xC3"), "end ");
    EXPECT_EQ(stream.finish(), "?");
    EXPECT_EQ(stream.finish(), "");
}

} // namespace
