#include "encoding.h"

#ifdef _WIN32
std::string ansi_to_terminal(const std::string& text) {
    return text;
}
std::string terminal_to_ansi(const std::string& text) {
    return text;
}
#else
namespace {

// Unicode code points of code page 1252's 0x80-0x9F (0 where it has none).
const unsigned short cp1252_high[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

unsigned code_point(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return cp1252_high[c - 0x80] != 0 ? cp1252_high[c - 0x80] : '?';
    return c;
}

void append_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string ansi_to_terminal(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        append_utf8(out, code_point(c));
    return out;
}

std::string terminal_to_ansi(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            n = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            n = 3;
        } else {
            cp = '?';
            n = (c & 0xF8) == 0xF0 ? 4 : 1;
        }
        i += n;
        if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (cp1252_high[k] == cp) mapped = static_cast<char>(0x80 + k);
        out += mapped;
    }
    return out;
}
#endif
