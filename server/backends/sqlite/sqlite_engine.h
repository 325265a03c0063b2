// SQLite as the whole server sees it: its sessions' backend, its version
// and the memory all of them may take together.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "server/backends/backend.h"

namespace dorvd {

// client_fd, when given, is watched while a statement runs: a statement
// whose client has closed the connection is stopped.
std::unique_ptr<Backend> make_sqlite_backend(const BackendLimits& config, int client_fd);
// The engine's name and version, as the version reply shows it ("SQLite 3.x.y").
std::string sqlite_backend_version();
// Bounds the memory SQLite takes for all connections together: an
// allocation past it fails, and so does its statement (status 7).
void bound_sqlite_memory(size_t bytes);

} // namespace dorvd
