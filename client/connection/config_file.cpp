#include "client/connection/config_file.h"

#include "platform/platform.h"

#include <string.h>

bool read_config_text(const char* file, const char* section, const char* key, char* value,
                      int size) {
    plat_ini_string(section, key, "", value, size, file);
    if (value[0] == '\0') plat_ini_string("Global", key, "", value, size, file);
    return value[0] != '\0';
}

void copy_cut(char* to, const char* from) {
    size_t n = from != nullptr ? strlen(from) : 0;
    if (n > INI_TEXT_SIZE - 1) n = INI_TEXT_SIZE - 1;
    memcpy(to, from != nullptr ? from : "", n);
    to[n] = '\0';
}
