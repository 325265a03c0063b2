#include "client/connection/timeouts.h"

#include "platform/platform.h"

namespace {

const char windorv_ini[] = "windorv.ini";

// True when the key has a value in the section; its seconds in *seconds.
bool read_seconds(const char* file, const char* section, const char* key, int* seconds) {
    char text[32];
    if (plat_ini_string(section, key, "", text, sizeof text, file) == 0) return false;
    *seconds = timeout_seconds(text);
    return true;
}

int configured_seconds(const char* file, const char* section, const char* key) {
    int seconds = 0;
    if (read_seconds(file, section, key, &seconds)) return seconds;
    if (read_seconds(file, "Global", key, &seconds)) return seconds;
    read_seconds(windorv_ini, "Global", key, &seconds);
    return seconds;
}

} // namespace

bool connection_setting(const char* file, const char* section, const char* key, char* text,
                        int size) {
    if (file != nullptr && plat_ini_string(section, key, "", text, size, file) != 0) return true;
    if (file != nullptr && plat_ini_string("Global", key, "", text, size, file) != 0) return true;
    return plat_ini_string("Global", key, "", text, size, windorv_ini) != 0;
}

int timeout_seconds(const char* text) {
    long long value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > MAX_TIMEOUT_SECONDS) return MAX_TIMEOUT_SECONDS;
    }
    return static_cast<int>(value);
}

ConnectionTimeouts global_timeouts() {
    ConnectionTimeouts t = {0, 0};
    read_seconds(windorv_ini, "Global", "ConnectTimeout", &t.connect_seconds);
    read_seconds(windorv_ini, "Global", "ReplyTimeout", &t.reply_seconds);
    return t;
}

ConnectionTimeouts configured_timeouts(const char* file, const char* section) {
    return {configured_seconds(file, section, "ConnectTimeout"),
            configured_seconds(file, section, "ReplyTimeout")};
}
