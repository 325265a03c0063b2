// What the query tests script and read back: result rows, long texts,
// records spread over blocks, the status bar's lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

using Rows = std::vector<std::vector<std::string>>;

// Result rows of text fields: "S<letter><row>".
Rows text_rows(int rows, int fields);
// A cell's text for comparisons: "str [text]".
std::string s(const std::string& text);
// A text of n letters in which no stretch repeats soon, so that a character
// lost or doubled where the library cuts the field into pieces shows.
std::string long_text(size_t n);
// A value record whose data are spread over blocks of `chunk` bytes each.
std::string record_in_blocks(const std::vector<std::string>& fields, size_t chunk);
// The status bar's lines, in order: the text shown, or "(Excel)" where the
// bar was given back.
std::vector<std::string> status_lines();
