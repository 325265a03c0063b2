// The line layout counts a column's width on the UTF-8 text without
// converting it: the count must be the converted text's length for any bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "server/protocol/roman8.h"
#include "server/protocol/wire_text.h"

namespace {

using namespace std::string_literals;

void expect_counted_as_converted(const std::string& utf8) {
    std::string wire;
    dorvd::append_wire_text(utf8, wire);
    EXPECT_EQ(dorvd::wire_text_length(utf8), wire.size()) << ::testing::PrintToString(utf8);
    EXPECT_EQ(dorvd::roman8_length(utf8), dorvd::utf8_to_roman8(utf8).size())
        << ::testing::PrintToString(utf8);
}

TEST(WireTextLength, IsTheConvertedLengthOfEveryTwoByteText) {
    for (int first = 0; first < 256; ++first) {
        expect_counted_as_converted(std::string(1, static_cast<char>(first)));
        for (int second = 0; second < 256; ++second) {
            expect_counted_as_converted(
                std::string{static_cast<char>(first), static_cast<char>(second)});
        }
    }
}

// Longer texts mix well-formed sequences of every length with stray,
// cut and overlong ones.
TEST(WireTextLength, IsTheConvertedLengthOfMixedTexts) {
    const std::string pieces[] = {
        "a",    "\0"s,  "\xC3\xBC", "\xE2\x82\xAC",     "\xF0\x9F\x98\x80", "\xC2\x85",
        "\x7F", "\xC3", "\xE2\x82", "\xF4\x90\x80\x80", "\xED\xA0\x80",     "\xC0\xAF",
        "\x80", "\xFF", "\xF0\x9F"};
    std::mt19937 random(20240229);
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const size_t count = 1 + round % 8;
        for (size_t i = 0; i < count; ++i)
            text += pieces[pick(random)];
        expect_counted_as_converted(text);
    }
}

TEST(WireText, MakesAZeroByteABlank) {
    std::string wire = "x";
    dorvd::append_wire_text("a\0\xC3\xBC\0"s, wire);
    EXPECT_EQ(wire, "xa \317 ");
}

} // namespace
