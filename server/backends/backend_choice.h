// Which backend serves the sessions, and what the chosen one needs besides
// the limits all hold to.
#pragma once

#include <memory>
#include <string>

#include "server/backends/backend.h"

namespace dorvd {

enum class BackendKind { sqlite, postgresql };

class PgAdmin;

struct BackendChoice {
    BackendKind backend = BackendKind::sqlite;
    std::string pg_conninfo; // libpq connection string; empty: the PG* variables
    // PostgreSQL: the server's administrative connection, made at start.
    std::shared_ptr<PgAdmin> pg_admin;
};

// The limits and the choice: all a session's backend is made from.
struct BackendConfig : BackendLimits, BackendChoice {};

// The backend the configuration names. client_fd, when given, is watched
// while a statement runs: a statement whose client has closed the
// connection is stopped.
std::unique_ptr<Backend> make_backend(const BackendConfig& config, int client_fd);

} // namespace dorvd
