#include "platform/platform.h"

#include <windows.h>

#include <string.h>

namespace {
PlatMessageRoute message_route = nullptr;
} // namespace

void plat_set_message_route(PlatMessageRoute route) {
    message_route = route;
}

int plat_message_box(const char* text, const char* caption, unsigned style) {
    if (message_route != nullptr) return message_route(text, caption, style);
    return MessageBoxA(nullptr, text, caption, style);
}

void plat_debug_output(const char* text) {
    OutputDebugStringA(text);
}

bool plat_environment(const char* name, char* buffer, int size) {
    // The process environment itself, so that a variable set by the host program
    // after the C runtime started is seen too.
    char none[1];
    if (size < 1) {
        buffer = none;
        size = 1;
    }
    buffer[0] = '\0';
    DWORD n = GetEnvironmentVariableA(name, buffer, static_cast<DWORD>(size));
    if (n == 0) return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (n >= static_cast<DWORD>(size)) {
        // Too long for the buffer: the value is cut, as the POSIX side does.
        char* whole = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, n));
        if (whole == nullptr) return true;
        GetEnvironmentVariableA(name, whole, n);
        memcpy(buffer, whole, static_cast<size_t>(size - 1));
        buffer[size - 1] = '\0';
        HeapFree(GetProcessHeap(), 0, whole);
    }
    return true;
}
