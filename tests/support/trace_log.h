// Switches the library's debug log on into a file for one test, and off again.
#pragma once

#include "support/test_files.h"

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
