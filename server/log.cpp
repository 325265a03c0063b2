#include "server/log.h"

#include <cstdio>
#include <mutex>

namespace dorvd {

void log_line(const std::string& text) {
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    std::fprintf(stderr, "dorvd: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace dorvd
