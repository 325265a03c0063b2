#include "server/result_builder.h"

#include "server/result_budget.h"
#include "server/roman8.h"

namespace dorvd {
namespace {

// The server-wide bound is taken in steps, not per cell.
constexpr size_t kBudgetStep = 256 * 1024;
// std::string keeps this many characters without a heap block of its own.
constexpr size_t kInlineChars = 15;

size_t heap_bytes(const std::string& text) {
    return text.capacity() > kInlineChars ? text.capacity() + 1 : 0;
}

size_t cost(const Cell& cell) {
    return heap_bytes(cell.field) +
           (cell.shown ? sizeof(std::string) + heap_bytes(*cell.shown) : 0);
}

} // namespace

void append_wire_text(std::string_view utf8, std::string& out) {
    const size_t start = out.size();
    append_utf8_as_roman8(utf8, out);
    for (size_t i = start; i < out.size(); ++i) {
        if (out[i] == '\0') out[i] = ' ';
    }
}

std::vector<std::string> wire_names(const BackendRows& rows) {
    std::vector<std::string> names;
    for (const std::string& name : rows.names()) {
        names.emplace_back();
        append_wire_text(name, names.back());
    }
    return names;
}

void append_row_record(BackendRows& rows, std::string& out) {
    const size_t columns = rows.names().size();
    for (size_t c = 0; c < columns; ++c) {
        const size_t type_at = out.size();
        out += 'S';
        out[type_at] = rows.append_value(c, out, nullptr);
        out += '\0';
    }
}

BuildOutcome build_result(BackendRows& rows, bool has_row, size_t max_bytes, ResultBudget* budget,
                          ResultSet& result) {
    result.names = wire_names(rows);
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
        if (!result.budget.cover(budget, result.bytes + row_bytes, kBudgetStep))
            return BuildOutcome::server_full;
        for (size_t c = 0; c < columns; ++c) {
            Cell cell;
            std::string shown;
            cell.type = rows.append_value(c, cell.field, &shown);
            if (cell.type == 'D' || cell.type == 'T') cell.shown = std::move(shown);
            texts += cost(cell);
            result.cells.push_back(std::move(cell));
        }
        // The cell vector's spare room counts too: it is memory held all the same.
        result.bytes = texts + result.cells.capacity() * sizeof(Cell);
        if (result.bytes > max_bytes) return BuildOutcome::too_large;
        if (!result.budget.cover(budget, result.bytes, kBudgetStep))
            return BuildOutcome::server_full;
    }
    compute_widths(result);
    return BuildOutcome::complete;
}

} // namespace dorvd
