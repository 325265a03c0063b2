#include "platform/platform.h"

#include <windows.h>

int plat_ini_string(const char* section, const char* key, const char* deflt, char* buffer, int size,
                    const char* file) {
    if (size < 1) return 0;
    return static_cast<int>(GetPrivateProfileStringA(section, key, deflt, buffer, size, file));
}

unsigned plat_ini_int(const char* section, const char* key, int deflt, const char* file) {
    return GetPrivateProfileIntA(section, key, deflt, file);
}

int plat_profile_string(const char* section, const char* key, const char* deflt, char* buffer,
                        int size) {
    if (size < 1) return 0;
    return static_cast<int>(GetProfileStringA(section, key, deflt, buffer, size));
}
