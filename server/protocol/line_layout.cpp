#include "server/protocol/line_layout.h"

#include <algorithm>

#include "server/protocol/wire_text.h"

namespace dorvd {
namespace {

const std::string& line_text(const Cell& cell) {
    return cell.stored ? *cell.stored : cell.text;
}

// Control characters show as blanks so a line stays one line.
void append_column(std::string& line, const std::string& utf8, size_t width, bool last) {
    const size_t start = line.size();
    append_wire_text(utf8, line);
    for (size_t i = start; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F) line[i] = ' ';
    }
    if (!last) {
        const size_t shown = line.size() - start;
        if (shown < width) line.append(width - shown, ' ');
        line += ' ';
    }
}

} // namespace

void LineLayout::measure(const ResultSet& result) {
    if (measured_ == result.serial && widths_.size() == result.column_count()) return;
    const size_t columns = result.column_count();
    widths_.assign(columns, 0);
    for (size_t c = 0; c < columns; ++c)
        widths_[c] = wire_text_length(result.names[c]);
    measured_ = result.serial;
    if (columns == 0) return;
    for (size_t i = 0; i < result.cells.size(); ++i) {
        size_t& width = widths_[i % columns];
        width = std::max(width, wire_text_length(line_text(result.cells[i])));
    }
}

void LineLayout::header_line(const ResultSet& result, std::string& out) {
    measure(result);
    out.clear();
    const size_t columns = result.column_count();
    for (size_t c = 0; c < columns; ++c)
        append_column(out, result.names[c], widths_[c], c + 1 == columns);
}

void LineLayout::row_line(const ResultSet& result, size_t row, std::string& out) {
    measure(result);
    out.clear();
    const size_t columns = result.column_count();
    for (size_t c = 0; c < columns; ++c) {
        append_column(out, line_text(result.cells[row * columns + c]), widths_[c],
                      c + 1 == columns);
    }
}

} // namespace dorvd
