// Where the program finds dorv32.
#pragma once

#include <string>

// Makes the library's messages come to standard error, then makes sure the
// library is there. On Windows the library is loaded here, at run time, so that
// its attach already sees the setting; elsewhere it is linked as usual.
bool bind_library(std::string* error);
