#include "platform/platform.h"

#include <windows.h>

unsigned long plat_thread_id() {
    return GetCurrentThreadId();
}

static_assert(sizeof(SRWLOCK) == sizeof(void*), "PlatLock holds an SRWLOCK");

void plat_lock(PlatLock* lock) {
    AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock->state));
}

void plat_unlock(PlatLock* lock) {
    ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock->state));
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

void* plat_host_program() {
    return reinterpret_cast<void*>(GetModuleHandleA(nullptr));
}

void* plat_get_proc_ordinal(void* library, unsigned ordinal) {
    if (ordinal == 0 || ordinal > 0xFFFF) return nullptr;
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(library), MAKEINTRESOURCEA(ordinal)));
}

int plat_module_path(const void* address, char* buffer, int size) {
    HMODULE module = nullptr;
    if (size <= 0 || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                         static_cast<const char*>(address), &module))
        return 0;
    DWORD n = GetModuleFileNameA(module, buffer, static_cast<DWORD>(size));
    // A path cut short fills the buffer exactly (and is NUL-terminated or not,
    // depending on the Windows version).
    if (n == 0 || n >= static_cast<DWORD>(size)) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<int>(n);
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
