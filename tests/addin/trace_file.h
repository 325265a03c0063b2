// The add-in's debug log for one test: windorv.ini switches it on, the add-in
// is reloaded to read it, and unloaded again to close the log.
#pragma once

#include <string>

class XllTrace {
  public:
    // Writes windorv.ini (Debug=1, XLLDebugFile, and `extra` lines of section
    // Global) and reloads the add-in.
    explicit XllTrace(const std::string& extra = "");
    // Removes windorv.ini and reloads the add-in without tracing.
    ~XllTrace();
    // Unloads the add-in, which writes the end line and closes the log, and
    // returns the whole log.
    std::string text();
    std::string path;
};

// A log file's text with its line ends as written (CR LF read back as LF).
std::string read_log(const std::string& path);
