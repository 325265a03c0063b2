// Reads a query's rows as the wire carries them: as value records one row
// at a time, or to the end into a ResultSet for the line layout.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "server/backend.h"
#include "server/result_set.h"

namespace dorvd {

enum class BuildOutcome {
    complete,      // all rows are in the result
    too_large,     // the rows would take more than the memory bound allows
    server_full,   // the rows would take more than the server-wide bound has left
    row_too_large, // one row alone would take more than the memory bound allows
    failed,        // a step failed; the rows' failure() says why
};

// Appends UTF-8 as wire text; a zero byte becomes a blank, as it would end
// a value record's field early.
void append_wire_text(std::string_view utf8, std::string& out);

// The column names as wire text.
std::vector<std::string> wire_names(const BackendRows& rows);

// Appends the current row as a value record: per column its type letter,
// its text and a zero byte.
void append_row_record(BackendRows& rows, std::string& out);

// Reads the rest of the rows into result: the current row first when
// has_row is set, then every further step. budget, when given, is the
// server-wide bound the result's memory is also taken from.
BuildOutcome build_result(BackendRows& rows, bool has_row, size_t max_bytes, ResultBudget* budget,
                          ResultSet& result);

} // namespace dorvd
