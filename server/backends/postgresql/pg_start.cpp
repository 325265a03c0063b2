// dorvd's start in front of PostgreSQL: the administrative connection, the
// sample schemas, and the refusal to serve when the set-up is missing or a
// client role could reach more than the databases it opens.
#include "server/base/log.h"
#include "server/backends/postgresql/pg_admin.h"
#include "server/backends/postgresql/pg_backend.h"
#include "server/backends/postgresql/pg_sample.h"

namespace dorvd {

bool prepare_postgresql(BackendChoice& choice, bool replace, std::string& error) {
    std::shared_ptr<PgAdmin> admin = PgAdmin::open(choice.pg_conninfo, error);
    if (!admin || !write_pg_sample(*admin, replace, error)) return false;
    if (!admin->check_client_roles(error)) {
        error = "dorvd does not start: " + error;
        return false;
    }
    choice.pg_admin = std::move(admin);
    return true;
}

} // namespace dorvd
