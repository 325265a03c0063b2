// Switches the library's debug log on into a file for one test, and off again.
#pragma once

#include <string>

class TraceLog {
  public:
    TraceLog();  // "Debug=1" and a log file in the test folder; restarts the log
    ~TraceLog(); // "Debug" off again; restarts the log
    // Closes the log (writing its end line) and returns the whole file.
    std::string text();
    std::string path;
};

// Writes windorv.ini (section Global) and restarts the log with it.
void restart_debug_log(const std::string& ini_text);

// A log file's text with line ends as written (CR LF read back as LF).
std::string read_log_file(const std::string& path);
