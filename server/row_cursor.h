// A query being read row by row: its statement stays open between the
// client's row requests, so a result of any size takes no more memory than
// one row.
#pragma once

#include <sqlite3.h>
#include <string>
#include <vector>

#include "server/date_text.h"

namespace dorvd {

struct RowCursor {
    RowCursor(sqlite3_stmt* statement_, bool has_row_);
    ~RowCursor() { finish(); }
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // Ends the statement, which lets go of its read transaction.
    void finish() {
        sqlite3_finalize(statement);
        statement = nullptr;
        has_row = false;
    }

    sqlite3_stmt* statement = nullptr; // null once the rows are used up
    bool has_row = false;              // the statement holds a row not yet sent
    std::vector<std::string> names;    // wire text
    std::vector<TemporalKind> kinds;
};

} // namespace dorvd
