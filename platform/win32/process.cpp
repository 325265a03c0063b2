#include "platform/platform.h"

#include <windows.h>

unsigned long plat_thread_id() {
    return GetCurrentThreadId();
}

unsigned long plat_last_error() {
    return GetLastError();
}

void plat_local_time(PlatLocalTime* out) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    *out = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wDayOfWeek};
}

void* plat_load_library(const char* name) {
    return reinterpret_cast<void*>(LoadLibraryA(name));
}

void* plat_get_proc(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void plat_free_library(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

bool plat_temp_folder(char* buffer, int size) {
    if (size < 1) return false;
    DWORD n = GetTempPathA(static_cast<DWORD>(size), buffer);
    if (n == 0 || n >= static_cast<DWORD>(size)) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}
