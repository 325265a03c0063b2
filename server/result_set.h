// A query result held in memory, in the form the wire carries it: names and
// values already in Roman-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "server/result_budget.h"

namespace dorvd {

struct Cell {
    char type = 'S';                  // 'S' text, 'N' number, 'D' date, 'T' date and time
    std::string field;                // the value record's text
    std::optional<std::string> shown; // the row line's text, when it differs from field
};

struct ResultSet {
    std::vector<std::string> names;
    std::vector<Cell> cells; // row by row, names.size() cells per row
    std::vector<size_t> widths;
    size_t next_row = 0;
    size_t bytes = 0;   // what the result takes, as counted against the bounds
    BudgetShare budget; // its part of the server-wide bound

    size_t column_count() const { return names.size(); }
    size_t row_count() const { return names.empty() ? 0 : cells.size() / names.size(); }
};

// Sets every column's width: its name's or its widest row text's length.
void compute_widths(ResultSet& result);

// Header line and row lines share one layout: each column as wide as its
// width, left-aligned, one blank between columns, the last one unpadded.
// Control characters show as blanks so a line stays one line.
std::string header_line(const ResultSet& result);
std::string row_line(const ResultSet& result, size_t row);

// Value records: one field per column, each its type letter, its text and a
// zero byte. The header's fields are the column names, typed 'S'.
std::string header_record(const ResultSet& result);
void append_row_record(const ResultSet& result, size_t row, std::string& out);

} // namespace dorvd
