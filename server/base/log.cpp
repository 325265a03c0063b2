#include "server/base/log.h"

#include <ctime>
#include <mutex>

namespace dorvd {
namespace {

std::mutex log_mutex;
std::FILE* log_file = nullptr;

} // namespace

std::string log_time(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void log_line(const std::string& text) {
    const std::string time = log_time(std::chrono::system_clock::now());
    const std::lock_guard<std::mutex> lock(log_mutex);
    std::FILE* out = log_file != nullptr ? log_file : stderr;
    std::fprintf(out, "%s dorvd: %s\n", time.c_str(), text.c_str());
    std::fflush(out);
}

void set_log_file(std::FILE* file) {
    const std::lock_guard<std::mutex> lock(log_mutex);
    log_file = file;
}

} // namespace dorvd
