// HP Roman-8, the character set the server speaks on the wire, and its
// conversion to and from the UTF-8 that SQLite stores.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvd {

// The character a Roman-8 byte stands for. Bytes 0x00-0x9F stand for the
// code points of the same value (0x80-0x9F are the C1 controls); 0xFF is
// undefined in Roman-8 and reads as '?'.
char32_t roman8_to_unicode(unsigned char byte);

// The Roman-8 byte for a code point, or -1 when Roman-8 has none.
int unicode_to_roman8(char32_t code_point);

// Converts wire text to UTF-8.
std::string roman8_to_utf8(std::string_view roman8);

// Converts UTF-8 to wire text. A character Roman-8 lacks, and each byte of a
// malformed UTF-8 sequence, becomes '?'.
std::string utf8_to_roman8(std::string_view utf8);
// The same, appended to out (a reused buffer allocates nothing per call).
void append_utf8_as_roman8(std::string_view utf8, std::string& out);
// The bytes that conversion gives, counted without converting: one a
// character, and one a byte of a malformed sequence.
size_t roman8_length(std::string_view utf8);

// The same conversion for text that arrives in pieces (host command output):
// a UTF-8 sequence cut between two pieces is converted whole.
class Utf8ToRoman8Stream {
  public:
    std::string feed(std::string_view piece);
    // Converts what is left of an unfinished sequence at the end.
    std::string finish();

  private:
    std::string pending_;
};

} // namespace dorvd
