// The shared UTF-8 encoder and decoder, and the Windows ANSI mapping, at the
// boundaries where sequence lengths and code page ranges change.
#include <gtest/gtest.h>

#include <string>

#include "platform/utf8.h"
#include "platform/windows_ansi.h"

namespace {

struct EncodeCase {
    char32_t cp;
    std::string bytes;
};

TEST(Utf8Encoder, BoundaryCodePoints) {
    const EncodeCase cases[] = {
        {0x00, std::string(1, '\0')},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x9F, "\xC2\x9F"},
        {0xA0, "\xC2\xA0"},
        {0xFF, "\xC3\xBF"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xD7FF, "\xED\x9F\xBF"},
        {0xD800, "?"}, // surrogates are no characters
        {0xDFFF, "?"},
        {0xE000, "\xEE\x80\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0x110000, "?"},
        {0xFFFFFFFF, "?"},
    };
    for (const auto& c : cases) {
        std::string out = "<";
        utf8::append(out, c.cp);
        EXPECT_EQ(out, "<" + c.bytes) << std::hex << "U+" << static_cast<unsigned long>(c.cp);
    }
}

TEST(Utf8Decoder, ReadsBackWhatTheEncoderWrites) {
    for (const char32_t cp :
         {0x7Fu, 0x80u, 0x9Fu, 0xA0u, 0xFFu, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
        std::string bytes;
        utf8::append(bytes, cp);
        char32_t decoded = 0;
        size_t consumed = 0;
        ASSERT_EQ(utf8::decode_one(bytes, decoded, consumed), utf8::Decode::complete)
            << std::hex << static_cast<unsigned long>(cp);
        EXPECT_EQ(decoded, cp);
        EXPECT_EQ(consumed, bytes.size());
    }
}

struct DecodeCase {
    std::string bytes;
    utf8::Decode result;
    size_t consumed;
};

TEST(Utf8Decoder, RejectsMalformedSequencesByteByByte) {
    const DecodeCase cases[] = {
        {"\x80", utf8::Decode::invalid, 1},             // continuation byte as lead
        {"\xC0\xAF", utf8::Decode::invalid, 1},         // overlong two bytes
        {"\xE0\x9F\xBF", utf8::Decode::invalid, 1},     // overlong three bytes
        {"\xED\xA0\x80", utf8::Decode::invalid, 1},     // surrogate
        {"\xF0\x8F\xBF\xBF", utf8::Decode::invalid, 1}, // overlong four bytes
        {"\xF4\x90\x80\x80", utf8::Decode::invalid, 1}, // above U+10FFFF
        {"\xF5\x80\x80\x80", utf8::Decode::invalid, 1},
        {"\xFF", utf8::Decode::invalid, 1},
        {"\xC3"
         "A",
         utf8::Decode::invalid, 1}, // second byte no continuation
        {"\xE2\x82", utf8::Decode::incomplete, 1},
        {"\xF0\x90\x80", utf8::Decode::incomplete, 1},
    };
    for (const auto& c : cases) {
        char32_t cp = 0;
        size_t consumed = 0;
        EXPECT_EQ(utf8::decode_one(c.bytes, cp, consumed), c.result)
            << testing::PrintToString(c.bytes);
        EXPECT_EQ(consumed, c.consumed) << testing::PrintToString(c.bytes);
    }
}

struct AnsiCase {
    unsigned char byte;
    char32_t cp;
};

TEST(WindowsAnsi, BoundaryBytesBothWays) {
    const AnsiCase cases[] = {
        {0x7F, 0x7F},   {0x80, 0x20AC}, {0x8A, 0x0160},
        {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xFF, 0x00FF},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windows_ansi::to_unicode(c.byte), c.cp) << int{c.byte};
        EXPECT_EQ(windows_ansi::from_unicode(c.cp), int{c.byte}) << int{c.byte};
    }
}

TEST(WindowsAnsi, BytesAndCharactersTheCodePageLacks) {
    for (const unsigned char byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(windows_ansi::to_unicode(byte), U'?') << int{byte};
    // C1 controls, characters beyond the code page, and 0 of the table's gaps.
    for (const char32_t cp : {0x80u, 0x81u, 0x9Fu, 0x100u, 0x20ADu, 0x10000u})
        EXPECT_EQ(windows_ansi::from_unicode(cp), -1) << std::hex << static_cast<unsigned long>(cp);
}

TEST(WindowsAnsi, EveryByteComesBackFromUtf16) {
    for (int byte = 0; byte < 256; ++byte) {
        const char16_t unit = windows_ansi::to_utf16(static_cast<unsigned char>(byte));
        EXPECT_EQ(windows_ansi::from_utf16(unit), byte) << byte;
    }
    // The holes of the code page are the C1 controls of their value.
    for (const unsigned char byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(windows_ansi::to_utf16(byte), char16_t{byte}) << int{byte};
    EXPECT_EQ(windows_ansi::to_utf16(0x80), u'\u20AC');
    // C1 controls the code page uses for characters, and units beyond it.
    for (const char16_t unit : {char16_t{0x80}, char16_t{0x9F}, char16_t{0x100}, char16_t{0x3A9},
                                char16_t{0xD800}, char16_t{0xFFFF}})
        EXPECT_EQ(windows_ansi::from_utf16(unit), -1) << std::hex << static_cast<unsigned>(unit);
}

} // namespace
