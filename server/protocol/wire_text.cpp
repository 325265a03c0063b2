#include "server/protocol/wire_text.h"

#include "server/protocol/roman8.h"

namespace dorvd {

void append_wire_text(std::string_view utf8, std::string& out) {
    const size_t start = out.size();
    append_utf8_as_roman8(utf8, out);
    for (size_t i = start; i < out.size(); ++i) {
        if (out[i] == '\0') out[i] = ' ';
    }
}

size_t wire_text_length(std::string_view utf8) {
    return roman8_length(utf8);
}

} // namespace dorvd
