// Passwords never reach the debug log: statement texts are traced masked.
#pragma once

// Copies `text` into `out` (cut to size - 1 characters) with every password of
// an OPEN DATABASE statement replaced by "********": quoted or bare, as the
// server reads them. Where a statement goes on in a way the server would not
// read (a forgotten AS, a quote inside a password), the rest is hidden too.
void mask_passwords(const char* text, char* out, int size);
