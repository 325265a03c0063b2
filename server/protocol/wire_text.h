// Result text as the wire carries it: UTF-8 converted to Roman-8, one byte a
// character (a character Roman-8 lacks and each byte of a malformed sequence
// become '?'), a zero byte a blank.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvd {

// Appends utf8 as wire text; a zero byte becomes a blank, as it would end a
// value record's field early.
void append_wire_text(std::string_view utf8, std::string& out);

// The bytes append_wire_text would append, counted without converting.
size_t wire_text_length(std::string_view utf8);

} // namespace dorvd
