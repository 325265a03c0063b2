// The library speaks Windows ANSI (code page 1252); a Linux terminal speaks
// UTF-8. The client converts at its edges there; on Windows it passes texts on.
#pragma once

#include <string>

std::string ansi_to_terminal(const std::string& text);
std::string terminal_to_ansi(const std::string& text);

// The characters of a Windows ANSI text that HP Roman-8, the server's character
// set, lacks (the euro sign, typographic quotes and dashes, the multiplication
// and division signs, ...): the library sends each of them as a blank. Each one
// once, in the order of their first appearance; empty when nothing is lost.
std::string roman8_lacks(const std::string& ansi);
// Such characters readable on the terminal, separated by blanks; the invisible
// ones by name ("no-break space", "soft hyphen").
std::string named_characters(const std::string& ansi);
