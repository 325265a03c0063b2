#include "platform/platform.h"

#include <windows.h>

bool plat_window_rect(PlatWindow window, PlatRect* rect) {
    RECT r;
    if (!GetWindowRect(static_cast<HWND>(window), &r)) return false;
    *rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

bool plat_client_rect(PlatWindow window, PlatRect* rect) {
    RECT r;
    if (!GetClientRect(static_cast<HWND>(window), &r)) return false;
    *rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

void plat_screen_size(int* width, int* height) {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
}

bool plat_move_window(PlatWindow window, int x, int y, int width, int height, bool repaint) {
    return MoveWindow(static_cast<HWND>(window), x, y, width, height, repaint ? TRUE : FALSE) != 0;
}
