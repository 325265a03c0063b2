// Passwords never reach the debug log: statement texts are traced masked.
#pragma once

// Copies `text` into `out` (cut to size - 1 characters) with the password of
// every "AS '...'" of an OPEN DATABASE statement replaced by "********".
void mask_passwords(const char* text, char* out, int size);
