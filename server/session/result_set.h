// A query result held in memory: its column names and typed cells, UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "server/backends/cell.h"
#include "server/base/result_budget.h"

namespace dorvd {

struct ResultSet {
    std::vector<std::string> names;
    std::vector<Cell> cells; // row by row, names.size() cells per row
    size_t next_row = 0;
    size_t bytes = 0;    // what the result takes, as counted against the bounds
    BudgetShare budget;  // its part of the server-wide bound
    uint64_t serial = 0; // tells it from the session's earlier results

    size_t column_count() const { return names.size(); }
    size_t row_count() const { return names.empty() ? 0 : cells.size() / names.size(); }
    std::span<const Cell> row(size_t index) const {
        return {cells.data() + index * names.size(), names.size()};
    }
};

} // namespace dorvd
