// PostgreSQL's SQLSTATE codes as the statuses clients know from the SQLite
// backend, so that a client tells failures apart the same way on either.
#pragma once

#include <cstdint>
#include <string_view>

namespace dorvd {

// The status for a SQLSTATE (five characters): an exact code of the table
// first, then its class (the first two characters), else 1 (SQL error).
int16_t status_for_sqlstate(std::string_view sqlstate);

} // namespace dorvd
