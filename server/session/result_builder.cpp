#include "server/session/result_builder.h"

#include "server/base/result_budget.h"

namespace dorvd {
namespace {

// std::string keeps this many characters without a heap block of its own.
constexpr size_t kInlineChars = 15;

size_t heap_bytes(const std::string& text) {
    return text.capacity() > kInlineChars ? text.capacity() + 1 : 0;
}

size_t cost(const Cell& cell) {
    return heap_bytes(cell.text) +
           (cell.stored ? sizeof(std::string) + heap_bytes(*cell.stored) : 0);
}

} // namespace

void read_row(BackendRows& rows, std::vector<Cell>& row) {
    row.resize(rows.names().size());
    for (size_t c = 0; c < row.size(); ++c)
        rows.read_cell(c, row[c], false);
}

BuildOutcome build_result(BackendRows& rows, bool has_row, size_t max_bytes, ResultBudget* budget,
                          ResultSet& result) {
    result.names = rows.names();
    const size_t columns = result.names.size();
    size_t texts = 0; // bytes of the cells' texts held outside the cell vector
    for (const std::string& name : result.names)
        texts += sizeof(std::string) + heap_bytes(name);
    for (bool row = has_row;; row = false) {
        if (!row) {
            const Step step = rows.step();
            if (step == Step::done) break;
            if (step == Step::failed) return BuildOutcome::failed;
        }
        // Bounded before the row is converted: its values could be many
        // times the bound together.
        const size_t row_bytes = rows.row_bytes();
        if (row_bytes > max_bytes) return BuildOutcome::row_too_large;
        if (result.bytes + row_bytes > max_bytes) return BuildOutcome::too_large;
        if (!result.budget.cover(budget, result.bytes + row_bytes))
            return BuildOutcome::server_full;
        for (size_t c = 0; c < columns; ++c) {
            Cell cell;
            rows.read_cell(c, cell, true);
            texts += cost(cell);
            result.cells.push_back(std::move(cell));
        }
        // The cell vector's spare room counts too: it is memory held all the same.
        result.bytes = texts + result.cells.capacity() * sizeof(Cell);
        if (result.bytes > max_bytes) return BuildOutcome::too_large;
        if (!result.budget.cover(budget, result.bytes)) return BuildOutcome::server_full;
    }
    return BuildOutcome::complete;
}

} // namespace dorvd
