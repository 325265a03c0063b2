// The sample databases as PostgreSQL schemas 'sample' and 'secret'.
#pragma once

#include <string>

#include "server/backends/postgresql/pg_admin.h"

namespace dorvd {

// Creates both schemas with their rows when neither exists, or afresh
// (replacing them) when replace is set; false with error set when it fails.
bool write_pg_sample(PgAdmin& admin, bool replace, std::string& error);

} // namespace dorvd
