// A query being read row by row: its rows stay open in the backend between
// the client's row requests, so a result of any size takes no more memory
// than one row.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "server/backends/backend.h"

namespace dorvd {

struct RowCursor {
    RowCursor(std::unique_ptr<BackendRows> rows_, bool has_row_);

    // Lets go of the rows (and of the read transaction they hold).
    void finish() {
        rows.reset();
        has_row = false;
    }

    std::unique_ptr<BackendRows> rows; // none once the rows are used up
    bool has_row = false;              // the rows stand on one not yet sent
    std::vector<std::string> names;    // UTF-8, kept when the rows go
    std::vector<Cell> row;             // the row read last, until its record is sent
};

} // namespace dorvd
