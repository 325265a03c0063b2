// No windows on POSIX: the dialogs are answered without them.
#include "platform/platform.h"

bool plat_window_rect(PlatWindow, PlatRect*) {
    return false;
}

bool plat_client_rect(PlatWindow, PlatRect*) {
    return false;
}

void plat_screen_size(int* width, int* height) {
    *width = 1024;
    *height = 768;
}

bool plat_move_window(PlatWindow, int, int, int, int, bool) {
    return false;
}
