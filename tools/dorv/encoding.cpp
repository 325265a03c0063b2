#include "encoding.h"

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
