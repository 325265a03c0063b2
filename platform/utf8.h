// UTF-8, the encoding of Linux terminals and of SQLite's text: the one encoder
// and decoder behind every conversion of an 8-bit character set (Windows ANSI,
// Roman-8). Plain functions without system calls, usable from every layer.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

namespace utf8 {

// Appends the UTF-8 form of code point cp. A value that is no character (a
// surrogate, or above U+10FFFF) appends '?', as the converters show any
// character they cannot.
inline void append(std::string& out, char32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        out += '?';
    } else if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the sequence a lead byte announces, 0 for a byte that cannot
// start one.
inline size_t sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

enum class Decode { complete, incomplete, invalid };

// Decodes one sequence at the start of text (not empty). On invalid, consumed
// is 1 (the bad byte). On incomplete, the text ends inside a sequence that is
// well formed so far.
inline Decode decode_one(std::string_view text, char32_t& cp, size_t& consumed) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t length = sequence_length(lead);
    consumed = 1;
    if (length == 0) return Decode::invalid;
    if (length == 1) {
        cp = lead;
        return Decode::complete;
    }
    char32_t value = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if (i >= text.size()) return Decode::incomplete;
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return Decode::invalid;
        // Second bytes that would make an overlong form, a surrogate or a
        // value above U+10FFFF.
        if (i == 1) {
            if (lead == 0xE0 && next < 0xA0) return Decode::invalid;
            if (lead == 0xED && next > 0x9F) return Decode::invalid;
            if (lead == 0xF0 && next < 0x90) return Decode::invalid;
            if (lead == 0xF4 && next > 0x8F) return Decode::invalid;
        }
        value = (value << 6) | (next & 0x3F);
    }
    cp = value;
    consumed = length;
    return Decode::complete;
}

} // namespace utf8
