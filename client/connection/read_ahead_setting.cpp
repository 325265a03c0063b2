#include "client/connection/read_ahead_setting.h"

#include "client/connection/timeouts.h"

namespace {

int setting_depth(const char* file, const char* section) {
    char text[32];
    if (!connection_setting(file, section, "ReadAhead", text, sizeof text)) return 0;
    return read_ahead_depth(text);
}

} // namespace

int read_ahead_depth(const char* text) {
    int value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > MAX_READ_AHEAD) return MAX_READ_AHEAD;
    }
    return value;
}

int global_read_ahead() {
    return setting_depth(nullptr, "");
}

int configured_read_ahead(const char* file, const char* section) {
    return setting_depth(file, section);
}
