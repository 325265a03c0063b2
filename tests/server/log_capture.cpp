#include "log_capture.h"

#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "server/base/log.h"

namespace dorvd_test {

LogCapture::LogCapture() : file_(std::tmpfile()) {
    if (file_ == nullptr) ADD_FAILURE() << "cannot make a temporary file for the log";
    dorvd::set_log_file(file_);
}

LogCapture::~LogCapture() {
    dorvd::set_log_file(nullptr);
    if (file_ != nullptr) std::fclose(file_);
}

// Read with pread: the server keeps writing through the stream, whose
// position must not move under it. Each line is flushed as it is written.
std::string LogCapture::text() const {
    if (file_ == nullptr) return {};
    const int fd = fileno(file_);
    struct stat info {};
    if (fstat(fd, &info) != 0) return {};
    std::string content(static_cast<size_t>(info.st_size), '\0');
    const ssize_t n = pread(fd, content.data(), content.size(), 0);
    content.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return content;
}

bool LogCapture::wait_for(const std::string& part) const {
    for (int i = 0; i < 250; ++i) {
        if (text().find(part) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace dorvd_test
