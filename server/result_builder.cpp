#include "server/result_builder.h"

#include <cstring>
#include <vector>

#include "server/date_text.h"
#include "server/roman8.h"

namespace dorvd {
namespace {

// What a cell costs beyond its texts, so that many empty cells count too.
constexpr size_t kCellOverhead = sizeof(Cell);

// A zero byte would end a value record's field early.
std::string wire_text(const char* utf8, int bytes) {
    std::string text = utf8_to_roman8(std::string_view(utf8, static_cast<size_t>(bytes)));
    for (char& c : text) {
        if (c == '\0') c = ' ';
    }
    return text;
}

std::string hex_text(const void* data, int bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const auto* p = static_cast<const unsigned char*>(data);
    for (int i = 0; i < bytes; ++i) {
        text += kDigits[p[i] >> 4];
        text += kDigits[p[i] & 0x0F];
    }
    return text;
}

Cell make_cell(sqlite3_stmt* statement, int column, TemporalKind kind) {
    Cell cell;
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        break;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        cell.type = 'N';
        cell.field = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        break;
    case SQLITE_BLOB: {
        const void* data = sqlite3_column_blob(statement, column);
        cell.field = hex_text(data, sqlite3_column_bytes(statement, column));
        break;
    }
    default: {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        const int bytes = sqlite3_column_bytes(statement, column);
        std::string text = utf8 == nullptr ? std::string() : wire_text(utf8, bytes);
        auto digits =
            utf8 == nullptr ? std::nullopt : fourteen_digits(std::string_view(utf8, bytes), kind);
        if (digits) {
            cell.type = kind == TemporalKind::date ? 'D' : 'T';
            cell.field = std::move(*digits);
            cell.shown = std::move(text);
        } else {
            cell.field = std::move(text);
        }
        break;
    }
    }
    return cell;
}

size_t cost(const Cell& cell) {
    return kCellOverhead + cell.field.size() + (cell.shown ? cell.shown->size() : 0);
}

} // namespace

BuildOutcome build_result(sqlite3_stmt* statement, size_t max_bytes, ResultSet& result,
                          int& sqlite_status) {
    const int columns = sqlite3_column_count(statement);
    std::vector<TemporalKind> kinds;
    size_t used = 0;
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(statement, c);
        result.names.push_back(
            name == nullptr ? std::string() : wire_text(name, static_cast<int>(std::strlen(name))));
        kinds.push_back(temporal_kind(sqlite3_column_decltype(statement, c)));
        used += kCellOverhead + result.names.back().size();
    }
    if (used > max_bytes) return BuildOutcome::too_large;
    for (;;) {
        sqlite_status = sqlite3_step(statement);
        if (sqlite_status == SQLITE_DONE) break;
        if (sqlite_status != SQLITE_ROW) return BuildOutcome::failed;
        for (int c = 0; c < columns; ++c) {
            Cell cell = make_cell(statement, c, kinds[c]);
            used += cost(cell);
            if (used > max_bytes) return BuildOutcome::too_large;
            result.cells.push_back(std::move(cell));
        }
    }
    compute_widths(result);
    return BuildOutcome::complete;
}

} // namespace dorvd
