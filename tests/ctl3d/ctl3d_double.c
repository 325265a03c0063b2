/* A stand-in for the 3-D controls library CTL3D32, built by the tests in two
 * kinds: complete, and without Ctl3dColorChange. It records every call with
 * its arguments; the tests read the record through ctl3d_double_calls. */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#define DOUBLE_EXPORT __declspec(dllexport)
#define DOUBLE_CALL WINAPI
#else
#define DOUBLE_EXPORT __attribute__((visibility("default")))
#define DOUBLE_CALL
#endif

static char calls[16384];
static size_t calls_length;

static void note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vsnprintf(calls + calls_length, sizeof calls - calls_length, format, args);
    va_end(args);
    if (n > 0)
        calls_length +=
            (size_t)n < sizeof calls - calls_length ? (size_t)n : sizeof calls - calls_length - 1;
}

static unsigned long long window_number(void* window) {
    return (unsigned long long)(uintptr_t)window;
}

DOUBLE_EXPORT int DOUBLE_CALL Ctl3dRegister(void* window) {
    note("Ctl3dRegister %llx\n", window_number(window));
    return 11;
}

DOUBLE_EXPORT int DOUBLE_CALL Ctl3dUnregister(void* window) {
    note("Ctl3dUnregister %llx\n", window_number(window));
    return 12;
}

DOUBLE_EXPORT int DOUBLE_CALL Ctl3dSubclassDlg(void* window, unsigned short kinds) {
    note("Ctl3dSubclassDlg %llx %x\n", window_number(window), kinds);
    return 13;
}

/* Paints nothing itself: a real window gets the default frame handling. */
DOUBLE_EXPORT intptr_t DOUBLE_CALL Ctl3dDlgFramePaint(void* window, unsigned message,
                                                      uintptr_t wparam, intptr_t lparam) {
    note("Ctl3dDlgFramePaint %llx %x %llx %llx\n", window_number(window), message,
         (unsigned long long)wparam, (unsigned long long)lparam);
#ifdef _WIN32
    if (IsWindow((HWND)window)) return DefWindowProcA((HWND)window, message, wparam, lparam);
#endif
    return 14;
}

#ifndef CTL3D_DOUBLE_INCOMPLETE
DOUBLE_EXPORT int DOUBLE_CALL Ctl3dColorChange(void) {
    note("Ctl3dColorChange\n");
    return 15;
}
#endif

/* The calls recorded so far, one per line; the number of characters. */
DOUBLE_EXPORT int ctl3d_double_calls(char* out, int size) {
    int n = (int)calls_length < size - 1 ? (int)calls_length : size - 1;
    memcpy(out, calls, (size_t)n);
    out[n] = '\0';
    return n;
}

DOUBLE_EXPORT void ctl3d_double_clear(void) {
    calls_length = 0;
    calls[0] = '\0';
}
