#include "server/session/row_cursor.h"

namespace dorvd {

RowCursor::RowCursor(std::unique_ptr<BackendRows> rows_, bool has_row_)
    : rows(std::move(rows_)), has_row(has_row_), names(rows->names()) {
    if (!has_row) finish();
}

} // namespace dorvd
