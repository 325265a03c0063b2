// Statements with comments, parentheses and odd spacing in front, and the
// replies the server gives for them: the same through every backend. The
// SQLite tests and the PostgreSQL tests both run this table.
#pragma once

#include <functional>

#include "raw_client.h"

namespace dorvd_test {

enum class Engine { sqlite, postgresql };

// Runs every case of the table, each on a fresh connection from connect,
// and checks the replies (a failed check fails the running test).
void check_commented_statements(Engine engine, const std::function<RawClient()>& connect);

} // namespace dorvd_test
