// Opt-in read-ahead: "ReadAhead" = how many row requests hl_dorv_next_val and
// hl_dorv_next_row keep in flight. Absent or 0 means none: one request per
// row, sent when the caller asks (the bytes of a plain installation).
#pragma once

enum : int { MAX_READ_AHEAD = 64 };

// From section "Global" of "windorv.ini" (for hl_connect).
int global_read_ahead();
// For a configured connection: the connection file's section first, then its
// "Global", then "windorv.ini" as for hl_connect.
int configured_read_ahead(const char* file, const char* section);
// Depth from a setting's text: leading decimal digits, cut to MAX_READ_AHEAD
// (a larger depth is still a request for read-ahead); anything else, a sign
// included, is 0 (off), as for the time-outs.
int read_ahead_depth(const char* text);
