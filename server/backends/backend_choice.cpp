#include "server/backends/backend_choice.h"

#include "server/backends/sqlite/sqlite_engine.h"
#ifdef DORVD_WITH_POSTGRESQL
#include "server/backends/postgresql/pg_backend.h"
#endif

namespace dorvd {

std::unique_ptr<Backend> make_backend(const BackendConfig& config, int client_fd) {
#ifdef DORVD_WITH_POSTGRESQL
    if (config.backend == BackendKind::postgresql) return make_pg_backend(config, client_fd);
#endif
    return make_sqlite_backend(config, client_fd);
}

} // namespace dorvd
