// Steps a prepared query to its end and keeps its rows as a ResultSet.
#pragma once

#include <cstddef>
#include <sqlite3.h>

#include "server/result_set.h"

namespace dorvd {

enum class BuildOutcome {
    complete,  // all rows are in the result
    too_large, // the rows would take more than the memory bound allows
    failed,    // a step failed; sqlite_status holds its result code
};

// Values are typed by their storage class ('N' integers and reals, 'S' text,
// blobs as hexadecimal text, NULL as empty text), except text in a column
// declared as a date or time, which becomes 'D' or 'T' with 14 digits when
// it reads as one.
BuildOutcome build_result(sqlite3_stmt* statement, size_t max_bytes, ResultSet& result,
                          int& sqlite_status);

} // namespace dorvd
