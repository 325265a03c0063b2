// Serves one client connection: reads request blocks and answers each.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "server/session.h"

namespace dorvd {

struct ConnectionConfig {
    size_t max_block = 1024;
    bool allow_host_commands = false;
    int auth_delay_ms = 500;   // before answering the first wrong password; doubles after
    int max_auth_failures = 5; // the connection is closed after this many
    SessionConfig session;
};

// The version text the server answers with, naming the database engine
// (SQLite's version when none is given).
std::string version_text(const std::string& engine = sqlite_backend_version());

// Returns when the client closes the connection, the connection fails, a
// block makes the stream untrustworthy, or stopping becomes true and the
// socket is shut down. Does not close fd.
void serve_connection(int fd, const std::string& name, const ConnectionConfig& config,
                      const std::atomic<bool>& stopping);

} // namespace dorvd
