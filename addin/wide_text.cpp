#include "addin/wide_text.h"

#include "platform/windows_ansi.h"

bool wide_to_ansi(const char16_t* units, size_t n, char* out, char16_t* bad) {
    for (size_t i = 0; i < n; ++i) {
        int byte = windows_ansi::from_utf16(units[i]);
        if (byte < 0) {
            *bad = units[i];
            return false;
        }
        out[i] = static_cast<char>(byte);
    }
    return true;
}

void ansi_to_wide(const char* text, size_t n, char16_t* out) {
    for (size_t i = 0; i < n; ++i)
        out[i] = windows_ansi::to_utf16(static_cast<unsigned char>(text[i]));
}
