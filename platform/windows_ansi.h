// Windows ANSI (code page 1252), the character set of the library's texts, and
// Unicode: the mapping every converter to and from UTF-8 shares.
#pragma once

namespace windows_ansi {

// Code points of 0x80-0x9F (0 where the code page has none); the other bytes
// are the code points of the same value.
inline constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The character a byte stands for; '?' for the five bytes that stand for none.
inline char32_t to_unicode(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) return byte;
    return kHigh[byte - 0x80] != 0 ? kHigh[byte - 0x80] : U'?';
}

// The byte for a code point, or -1 when the code page has none.
inline int from_unicode(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) return static_cast<int>(cp);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] != 0 && kHigh[k] == cp) return 0x80 + k;
    return -1;
}

// The UTF-16 unit of a byte as Windows converts the code page: the five bytes
// without a character stand for the C1 control of the same value, so that
// every byte comes back from UTF-16 as it went in.
inline char16_t to_utf16(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0 || kHigh[byte - 0x80] == 0) return byte;
    return kHigh[byte - 0x80];
}

// The byte of a UTF-16 unit (the inverse of to_utf16), or -1 when the code
// page has none for it.
inline int from_utf16(char16_t unit) {
    if (unit >= 0x80 && unit < 0xA0) return kHigh[unit - 0x80] == 0 ? static_cast<int>(unit) : -1;
    return from_unicode(unit);
}

} // namespace windows_ansi
