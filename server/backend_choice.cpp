#include "server/backend.h"
#include "server/sqlite_backend.h"
#ifdef DORVD_WITH_POSTGRESQL
#include "server/pg_backend.h"
#endif

namespace dorvd {

std::unique_ptr<Backend> make_backend(const SessionConfig& config, int client_fd) {
#ifdef DORVD_WITH_POSTGRESQL
    if (config.backend == BackendKind::postgresql) return make_pg_backend(config, client_fd);
#endif
    return make_sqlite_backend(config, client_fd);
}

} // namespace dorvd
