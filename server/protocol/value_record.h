// Value records: one field per column, each its type letter, its text as
// wire text and a zero byte.
#pragma once

#include <span>
#include <string>

#include "server/backends/cell.h"

namespace dorvd {

// The header's fields are the column names, typed 'S'.
void append_header_record(std::span<const std::string> names, std::string& out);
void append_row_record(std::span<const Cell> row, std::string& out);

} // namespace dorvd
