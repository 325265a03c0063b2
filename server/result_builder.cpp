#include "server/result_builder.h"

#include <cstring>

#include "server/result_budget.h"
#include "server/roman8.h"

namespace dorvd {
namespace {

// The server-wide bound is taken in steps, not per cell.
constexpr size_t kBudgetStep = 256 * 1024;
// std::string keeps this many characters without a heap block of its own.
constexpr size_t kInlineChars = 15;

// Appends UTF-8 as wire text; a zero byte would end a value record's field early.
void append_wire_text(std::string_view utf8, std::string& out) {
    const size_t start = out.size();
    append_utf8_as_roman8(utf8, out);
    for (size_t i = start; i < out.size(); ++i) {
        if (out[i] == '\0') out[i] = ' ';
    }
}

void append_hex(const void* data, int bytes, std::string& out) {
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const unsigned char*>(data);
    for (int i = 0; i < bytes; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 0x0F];
    }
}

// Appends a value's text to field and returns its type letter; a date or
// time also leaves its text as stored in shown.
char append_value(sqlite3_stmt* statement, int column, TemporalKind kind, std::string& field,
                  std::string* shown) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return 'S';
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        if (text != nullptr)
            field.append(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
        return 'N';
    }
    case SQLITE_BLOB: {
        const void* data = sqlite3_column_blob(statement, column);
        append_hex(data, sqlite3_column_bytes(statement, column), field);
        return 'S';
    }
    default: {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        if (utf8 == nullptr) return 'S';
        const std::string_view text(utf8,
                                    static_cast<size_t>(sqlite3_column_bytes(statement, column)));
        if (kind != TemporalKind::none) {
            if (auto digits = fourteen_digits(text, kind)) {
                field.append(*digits);
                if (shown != nullptr) append_wire_text(text, *shown);
                return kind == TemporalKind::date ? 'D' : 'T';
            }
        }
        append_wire_text(text, field);
        return 'S';
    }
    }
}

size_t heap_bytes(const std::string& text) {
    return text.capacity() > kInlineChars ? text.capacity() + 1 : 0;
}

size_t cost(const Cell& cell) {
    return heap_bytes(cell.field) +
           (cell.shown ? sizeof(std::string) + heap_bytes(*cell.shown) : 0);
}

} // namespace

std::vector<std::string> column_names(sqlite3_stmt* statement) {
    std::vector<std::string> names;
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(statement, c);
        names.emplace_back();
        if (name != nullptr) append_wire_text(name, names.back());
    }
    return names;
}

std::vector<TemporalKind> column_kinds(sqlite3_stmt* statement) {
    std::vector<TemporalKind> kinds;
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c)
        kinds.push_back(temporal_kind(sqlite3_column_decltype(statement, c)));
    return kinds;
}

void append_row_record(sqlite3_stmt* statement, const std::vector<TemporalKind>& kinds,
                       std::string& out) {
    for (size_t c = 0; c < kinds.size(); ++c) {
        const size_t type_at = out.size();
        out += 'S';
        out[type_at] = append_value(statement, static_cast<int>(c), kinds[c], out, nullptr);
        out += '\0';
    }
}

BuildOutcome build_result(sqlite3_stmt* statement, bool has_row, size_t max_bytes,
                          ResultBudget* budget, ResultSet& result, int& sqlite_status) {
    result.names = column_names(statement);
    const std::vector<TemporalKind> kinds = column_kinds(statement);
    const size_t columns = kinds.size();
    size_t texts = 0; // bytes of the cells' texts held outside the cell vector
    for (const std::string& name : result.names)
        texts += sizeof(std::string) + heap_bytes(name);
    for (bool row = has_row;; row = false) {
        if (!row) {
            sqlite_status = sqlite3_step(statement);
            if (sqlite_status == SQLITE_DONE) break;
            if (sqlite_status != SQLITE_ROW) return BuildOutcome::failed;
        }
        for (size_t c = 0; c < columns; ++c) {
            Cell cell;
            std::string shown;
            cell.type = append_value(statement, static_cast<int>(c), kinds[c], cell.field, &shown);
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
    sqlite_status = SQLITE_DONE;
    compute_widths(result);
    return BuildOutcome::complete;
}

} // namespace dorvd
