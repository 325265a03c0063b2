#include "server/result_set.h"

#include <algorithm>

namespace dorvd {
namespace {

const std::string& line_text(const Cell& cell) {
    return cell.shown ? *cell.shown : cell.field;
}

void append_column(std::string& line, const std::string& text, size_t width, bool last) {
    const size_t start = line.size();
    line.append(text);
    for (size_t i = start; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F) line[i] = ' ';
    }
    if (!last) {
        line.append(width - text.size(), ' ');
        line += ' ';
    }
}

void append_field(std::string& record, char type, const std::string& text) {
    record += type;
    record.append(text);
    record += '\0';
}

} // namespace

void compute_widths(ResultSet& result) {
    const size_t columns = result.column_count();
    result.widths.assign(columns, 0);
    if (columns == 0) return;
    for (size_t c = 0; c < columns; ++c)
        result.widths[c] = result.names[c].size();
    for (size_t i = 0; i < result.cells.size(); ++i) {
        size_t& width = result.widths[i % columns];
        width = std::max(width, line_text(result.cells[i]).size());
    }
}

std::string header_line(const ResultSet& result) {
    std::string line;
    const size_t columns = result.column_count();
    for (size_t c = 0; c < columns; ++c) {
        append_column(line, result.names[c], result.widths[c], c + 1 == columns);
    }
    return line;
}

std::string row_line(const ResultSet& result, size_t row) {
    std::string line;
    const size_t columns = result.column_count();
    for (size_t c = 0; c < columns; ++c) {
        append_column(line, line_text(result.cells[row * columns + c]), result.widths[c],
                      c + 1 == columns);
    }
    return line;
}

std::string header_record(const ResultSet& result) {
    std::string record;
    for (const std::string& name : result.names)
        append_field(record, 'S', name);
    return record;
}

void append_row_record(const ResultSet& result, size_t row, std::string& out) {
    const size_t columns = result.column_count();
    for (size_t c = 0; c < columns; ++c) {
        const Cell& cell = result.cells[row * columns + c];
        append_field(out, cell.type, cell.field);
    }
}

} // namespace dorvd
