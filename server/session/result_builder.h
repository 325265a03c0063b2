// Reads a query's rows as cells: the current row for a value record, or the
// rows to the end into a ResultSet kept for the line layout.
#pragma once

#include <cstddef>
#include <vector>

#include "server/backends/backend.h"
#include "server/session/result_set.h"

namespace dorvd {

enum class BuildOutcome {
    complete,      // all rows are in the result
    too_large,     // the rows would take more than the memory bound allows
    server_full,   // the rows would take more than the server-wide bound has left
    row_too_large, // one row alone would take more than the memory bound allows
    failed,        // a step failed; the rows' failure() says why
};

// Reads the current row into row, one cell per column (their memory is
// reused); dates and times without their text as stored.
void read_row(BackendRows& rows, std::vector<Cell>& row);

// Reads the rest of the rows into result: the current row first when
// has_row is set, then every further step. budget, when given, is the
// server-wide bound the result's memory is also taken from.
BuildOutcome build_result(BackendRows& rows, bool has_row, size_t max_bytes, ResultBudget* budget,
                          ResultSet& result);

} // namespace dorvd
