#include "server/protocol/roman8.h"

#include <array>
#include <unordered_map>

#include "platform/utf8.h"

namespace dorvd {
namespace {

// Code points of Roman-8 bytes 0xA0-0xFF; 0 marks the undefined 0xFF.
constexpr std::array<char32_t, 96> kUpperHalf = {
    0x00A0, 0x00C0, 0x00C2, 0x00C8, 0x00CA, 0x00CB, 0x00CE, 0x00CF, // A0
    0x00B4, 0x02CB, 0x02C6, 0x00A8, 0x02DC, 0x00D9, 0x00DB, 0x20A4, // A8
    0x00AF, 0x00DD, 0x00FD, 0x00B0, 0x00C7, 0x00E7, 0x00D1, 0x00F1, // B0
    0x00A1, 0x00BF, 0x00A4, 0x00A3, 0x00A5, 0x00A7, 0x0192, 0x00A2, // B8
    0x00E2, 0x00EA, 0x00F4, 0x00FB, 0x00E1, 0x00E9, 0x00F3, 0x00FA, // C0
    0x00E0, 0x00E8, 0x00F2, 0x00F9, 0x00E4, 0x00EB, 0x00F6, 0x00FC, // C8
    0x00C5, 0x00EE, 0x00D8, 0x00C6, 0x00E5, 0x00ED, 0x00F8, 0x00E6, // D0
    0x00C4, 0x00EC, 0x00D6, 0x00DC, 0x00C9, 0x00EF, 0x00DF, 0x00D4, // D8
    0x00C1, 0x00C3, 0x00E3, 0x00D0, 0x00F0, 0x00CD, 0x00CC, 0x00D3, // E0
    0x00D2, 0x00D5, 0x00F5, 0x0160, 0x0161, 0x00DA, 0x0178, 0x00FF, // E8
    0x00DE, 0x00FE, 0x00B7, 0x00B5, 0x00B6, 0x00BE, 0x2014, 0x00BC, // F0
    0x00BD, 0x00AA, 0x00BA, 0x00AB, 0x25A0, 0x00BB, 0x00B1, 0,      // F8
};

const std::unordered_map<char32_t, unsigned char>& upper_half_inverse() {
    static const auto inverse = [] {
        std::unordered_map<char32_t, unsigned char> map;
        for (size_t i = 0; i < kUpperHalf.size(); ++i) {
            if (kUpperHalf[i] != 0)
                map.emplace(kUpperHalf[i], static_cast<unsigned char>(0xA0 + i));
        }
        return map;
    }();
    return inverse;
}

char roman8_or_question_mark(char32_t cp) {
    const int byte = unicode_to_roman8(cp);
    return static_cast<char>(byte < 0 ? '?' : byte);
}

// Decodes text up to a sequence cut by its end, which it leaves undecoded
// when keep_tail is set; returns how many bytes it consumed. Each character,
// and each byte of a malformed sequence, is one Roman-8 byte: emit receives
// whether the character was decoded whole, and its code point.
template <typename Emit> size_t decode(std::string_view text, bool keep_tail, Emit emit) {
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = 0;
        size_t consumed = 0;
        const utf8::Decode result = utf8::decode_one(text.substr(pos), cp, consumed);
        if (result == utf8::Decode::incomplete && keep_tail) return pos;
        emit(result == utf8::Decode::complete, cp);
        pos += consumed;
    }
    return pos;
}

size_t convert(std::string_view text, std::string& out, bool keep_tail) {
    return decode(text, keep_tail, [&out](bool complete, char32_t cp) {
        out += complete ? roman8_or_question_mark(cp) : '?';
    });
}

size_t ascii_prefix(std::string_view utf8) {
    size_t ascii = 0;
    while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80)
        ++ascii;
    return ascii;
}

} // namespace

char32_t roman8_to_unicode(unsigned char byte) {
    if (byte < 0xA0) return byte;
    const char32_t cp = kUpperHalf[byte - 0xA0];
    return cp == 0 ? U'?' : cp;
}

int unicode_to_roman8(char32_t code_point) {
    if (code_point < 0xA0) return static_cast<int>(code_point);
    const auto& inverse = upper_half_inverse();
    const auto found = inverse.find(code_point);
    return found == inverse.end() ? -1 : found->second;
}

std::string roman8_to_utf8(std::string_view roman8) {
    std::string out;
    out.reserve(roman8.size());
    for (const char c : roman8)
        utf8::append(out, roman8_to_unicode(static_cast<unsigned char>(c)));
    return out;
}

std::string utf8_to_roman8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    convert(utf8, out, false);
    return out;
}

void append_utf8_as_roman8(std::string_view utf8, std::string& out) {
    // Plain ASCII, the usual case, is copied as it is.
    const size_t ascii = ascii_prefix(utf8);
    out.append(utf8.substr(0, ascii));
    if (ascii < utf8.size()) convert(utf8.substr(ascii), out, false);
}

size_t roman8_length(std::string_view utf8) {
    size_t length = ascii_prefix(utf8);
    decode(utf8.substr(length), false, [&length](bool, char32_t) { ++length; });
    return length;
}

std::string Utf8ToRoman8Stream::feed(std::string_view piece) {
    pending_.append(piece);
    std::string out;
    const size_t consumed = convert(pending_, out, true);
    pending_.erase(0, consumed);
    return out;
}

std::string Utf8ToRoman8Stream::finish() {
    std::string out;
    convert(pending_, out, false);
    pending_.clear();
    return out;
}

} // namespace dorvd
