#include "platform/platform.h"

#include <windows.h>

int plat_message_box(const char* text, const char* caption, unsigned style) {
    return MessageBoxA(nullptr, text, caption, style);
}

void plat_debug_output(const char* text) {
    OutputDebugStringA(text);
}
