#include "encoding.h"

namespace {
// Windows ANSI bytes without an HP Roman-8 counterpart.
bool lacking(unsigned char c) {
    static const unsigned char lacks[] = {
        0x80, 0x81, 0x82, 0x84, 0x85, 0x86, 0x87, 0x89, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,
        0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x99, 0x9B, 0x9C, 0x9D, 0x9E,
        0xA0, 0xA6, 0xA9, 0xAC, 0xAD, 0xAE, 0xB2, 0xB3, 0xB4, 0xB8, 0xB9, 0xD7, 0xF7,
    };
    for (unsigned char l : lacks)
        if (l == c) return true;
    return false;
}
} // namespace

std::string roman8_lacks(const std::string& ansi) {
    std::string lost;
    for (char c : ansi)
        if (lacking(static_cast<unsigned char>(c)) && lost.find(c) == std::string::npos) lost += c;
    return lost;
}

std::string named_characters(const std::string& ansi) {
    std::string out;
    for (char c : ansi) {
        if (!out.empty()) out += ' ';
        if (static_cast<unsigned char>(c) == 0xA0)
            out += "(no-break space)";
        else if (static_cast<unsigned char>(c) == 0xAD)
            out += "(soft hyphen)";
        else
            out += ansi_to_terminal(std::string(1, c));
    }
    return out;
}

#ifdef _WIN32
std::string ansi_to_terminal(const std::string& text) {
    return text;
}
std::string terminal_to_ansi(const std::string& text) {
    return text;
}
#else
#include "platform/utf8.h"
#include "platform/windows_ansi.h"

std::string ansi_to_terminal(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        utf8::append(out, windows_ansi::to_unicode(c));
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
        const int mapped = windows_ansi::from_unicode(cp);
        out += static_cast<char>(mapped < 0 ? '?' : mapped);
    }
    return out;
}
#endif
