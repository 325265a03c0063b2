// Reads a prepared query's rows: as value records one row at a time, or to
// its end into a ResultSet for the line layout.
#pragma once

#include <cstddef>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "server/date_text.h"
#include "server/result_set.h"

namespace dorvd {

class ResultBudget;

enum class BuildOutcome {
    complete,    // all rows are in the result
    too_large,   // the rows would take more than the memory bound allows
    server_full, // the rows would take more than the server-wide bound has left
    failed,      // a step failed; sqlite_status holds its result code
};

// Column names as wire text, and the date or time kind of each column.
std::vector<std::string> column_names(sqlite3_stmt* statement);
std::vector<TemporalKind> column_kinds(sqlite3_stmt* statement);

// Appends the statement's current row as a value record. Values are typed
// by their storage class ('N' integers and reals, 'S' text, blobs as
// hexadecimal text, NULL as empty text), except text in a column declared
// as a date or time, which becomes 'D' or 'T' with 14 digits when it reads
// as one.
void append_row_record(sqlite3_stmt* statement, const std::vector<TemporalKind>& kinds,
                       std::string& out);

// Reads the rest of the statement's rows into result: the current row first
// when has_row is set, then every further step. budget, when given, is the
// server-wide bound the result's memory is also taken from.
BuildOutcome build_result(sqlite3_stmt* statement, bool has_row, size_t max_bytes,
                          ResultBudget* budget, ResultSet& result, int& sqlite_status);

} // namespace dorvd
