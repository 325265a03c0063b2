#include "server/row_cursor.h"

#include "server/result_builder.h"

namespace dorvd {

RowCursor::RowCursor(std::unique_ptr<BackendRows> rows_, bool has_row_)
    : rows(std::move(rows_)), has_row(has_row_), names(wire_names(*rows)) {
    if (!has_row) finish();
}

} // namespace dorvd
