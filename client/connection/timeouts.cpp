#include "client/connection/timeouts.h"

#include "client/connection/config_file.h"
#include "platform/platform.h"

namespace {

const char windorv_ini[] = "windorv.ini";

int configured_seconds(const char* file, const char* section, const char* key) {
    char text[32];
    return connection_setting(file, section, key, text, sizeof text) ? timeout_seconds(text) : 0;
}

} // namespace

bool connection_setting(const char* file, const char* section, const char* key, char* text,
                        int size) {
    if (file != nullptr && read_config_text(file, section, key, text, size)) return true;
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
    return configured_timeouts(nullptr, "");
}

ConnectionTimeouts configured_timeouts(const char* file, const char* section) {
    return {configured_seconds(file, section, "ConnectTimeout"),
            configured_seconds(file, section, "ReplyTimeout")};
}
