#include "platform/platform.h"

#include <windows.h>

int plat_load_string(PlatInstance instance, unsigned id, char* buffer, int size) {
    if (size < 1) return 0;
    buffer[0] = '\0';
    int n = LoadStringA(static_cast<HINSTANCE>(instance), id, buffer, size);
    if (n <= 0) buffer[0] = '\0';
    return n > 0 ? n : 0;
}
