// The texts of Excel's 12 interface (UTF-16) and the library's (Windows
// ANSI, code page 1252), one unit for one byte.
#pragma once

#include <stddef.h>

// The n units of `units` as n bytes into `out`. False at the first unit the
// code page has no byte for (a surrogate among them); *bad is that unit.
bool wide_to_ansi(const char16_t* units, size_t n, char* out, char16_t* bad);
// The n bytes of `text` as n units into `out`; every byte has its unit.
void ansi_to_wide(const char* text, size_t n, char16_t* out);
