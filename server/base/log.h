// The server's log: one line per event on standard error, each line headed
// by the time in UTC, ISO 8601 (2026-12-10T05:30:21Z).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace dorvd {

// Writes the time, "dorvd: " and the text as one line; safe from several threads.
void log_line(const std::string& text);

// The time as the log writes it.
std::string log_time(std::chrono::system_clock::time_point when);

// Sends the log to another open file (tests read it back); null restores
// standard error.
void set_log_file(std::FILE* file);

} // namespace dorvd
