// The server's log: one line per event on standard error.
#pragma once

#include <string>

namespace dorvd {

// Writes "dorvd: " and the text as one line; safe from several threads.
void log_line(const std::string& text);

} // namespace dorvd
