// Catches the server's log lines for the duration of one test.
#pragma once

#include <cstdio>
#include <string>

namespace dorvd_test {

class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything logged so far.
    std::string text() const;
    // Waits up to five seconds for a line holding part; true when it came.
    bool wait_for(const std::string& part) const;

  private:
    std::FILE* file_ = nullptr;
};

} // namespace dorvd_test
