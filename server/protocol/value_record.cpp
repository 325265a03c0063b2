#include "server/protocol/value_record.h"

#include "server/protocol/wire_text.h"

namespace dorvd {
namespace {

void append_field(char type, std::string_view utf8, std::string& out) {
    out += type;
    append_wire_text(utf8, out);
    out += '\0';
}

} // namespace

void append_header_record(std::span<const std::string> names, std::string& out) {
    for (const std::string& name : names)
        append_field('S', name, out);
}

void append_row_record(std::span<const Cell> row, std::string& out) {
    for (const Cell& cell : row)
        append_field(cell.type, cell.text, out);
}

} // namespace dorvd
