// Splitting a statement list into its pieces at the semicolons outside quotes.
#pragma once

// The next piece of `*rest`, or null when nothing is left. The semicolon that
// ends the piece is overwritten by a NUL and *rest moves behind it. A single
// or double quote opens a quoted stretch that only the same character closes;
// there is no escape. A semicolon at the very end yields no further piece.
char* next_piece(char** rest);
