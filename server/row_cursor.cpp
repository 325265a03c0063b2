#include "server/row_cursor.h"

#include "server/result_builder.h"

namespace dorvd {

RowCursor::RowCursor(sqlite3_stmt* statement_, bool has_row_)
    : statement(statement_), has_row(has_row_), names(column_names(statement_)),
      kinds(column_kinds(statement_)) {
    if (!has_row) finish();
}

} // namespace dorvd
