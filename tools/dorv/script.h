// Statements read from a file or standard input (-f).
#pragma once

#include <string>
#include <vector>

// Splits a script into statements: each ends with ';' outside quotes ('...' and
// "...", a doubled quote staying inside) or at the end of the text. Outside
// quotes, '--' starts a comment up to the end of the line, and line breaks are
// blanks. Statements are trimmed; empty ones are dropped.
std::vector<std::string> split_statements(const std::string& script);

// The whole of a file, or of standard input for "-". False with the reason.
bool read_script(const std::string& name, std::string* text, std::string* error);
