#include <cstring>

#include "server/backends/sqlite/sqlite_backend.h"

namespace dorvd {
namespace {

void append_hex(const void* data, int bytes, std::string& out) {
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const unsigned char*>(data);
    for (int i = 0; i < bytes; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 0x0F];
    }
}

} // namespace

SqliteRows::SqliteRows(SqliteBackend& backend, sqlite3_stmt* statement)
    : backend_(backend), statement_(statement) {
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(statement, c);
        names_.emplace_back(name == nullptr ? "" : name);
        kinds_.push_back(temporal_kind(sqlite3_column_decltype(statement, c)));
    }
}

Step SqliteRows::step() {
    last_code_ = sqlite3_step(statement_);
    if (last_code_ == SQLITE_ROW) return Step::row;
    return last_code_ == SQLITE_DONE ? Step::done : Step::failed;
}

// Sizes only: no value is converted (a blob made by zeroblob() is not even
// filled in). Blobs go out as two digits a byte; text at most as long as in
// UTF-8 (Roman-8 takes one byte a character), and a date or time once more
// as its 14 digits.
size_t SqliteRows::row_bytes() {
    constexpr size_t kNumberBytes = 32;
    constexpr size_t kDigits = 14;
    size_t bytes = 0;
    const int columns = sqlite3_column_count(statement_);
    for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(statement_, c)) {
        case SQLITE_NULL:
            break;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            bytes += kNumberBytes;
            break;
        case SQLITE_BLOB:
            bytes += 2 * static_cast<size_t>(sqlite3_column_bytes(statement_, c));
            break;
        default:
            bytes += static_cast<size_t>(sqlite3_column_bytes(statement_, c)) + kDigits;
            break;
        }
    }
    return bytes;
}

void SqliteRows::read_cell(size_t column, Cell& cell, bool with_stored) {
    const int c = static_cast<int>(column);
    cell.type = 'S';
    cell.text.clear();
    cell.stored.reset();
    switch (sqlite3_column_type(statement_, c)) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, c));
        if (text != nullptr)
            cell.text.append(text, static_cast<size_t>(sqlite3_column_bytes(statement_, c)));
        cell.type = 'N';
        return;
    }
    case SQLITE_BLOB: {
        const void* data = sqlite3_column_blob(statement_, c);
        append_hex(data, sqlite3_column_bytes(statement_, c), cell.text);
        return;
    }
    default: {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(statement_, c));
        if (utf8 == nullptr) return;
        const std::string_view text(utf8, static_cast<size_t>(sqlite3_column_bytes(statement_, c)));
        const TemporalKind kind = kinds_[column];
        if (kind != TemporalKind::none) {
            if (auto digits = fourteen_digits(text, kind)) {
                cell.text.append(*digits);
                if (with_stored) cell.stored.emplace(text);
                cell.type = kind == TemporalKind::date ? 'D' : 'T';
                return;
            }
        }
        cell.text.append(text);
        return;
    }
    }
}

} // namespace dorvd
