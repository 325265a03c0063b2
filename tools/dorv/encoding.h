// The library speaks Windows ANSI (code page 1252); a Linux terminal speaks
// UTF-8. The client converts at its edges there; on Windows it passes texts on.
#pragma once

#include <string>

std::string ansi_to_terminal(const std::string& text);
std::string terminal_to_ansi(const std::string& text);
