// dorvd's command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "server/backend.h"

namespace dorvd {

struct ServerOptions {
    std::string listen_address = "127.0.0.1";
    uint16_t port = 2000; // 0: any free port, printed at start
    std::filesystem::path data_dir = "dorvd-data";
    size_t max_block = 1024;
    bool allow_host_commands = false;
    int max_connections = 16;
    size_t max_result_bytes = 16 * 1024 * 1024;
    // What all connections' kept results (line layouts) may take together.
    size_t max_total_result_bytes = 256 * 1024 * 1024;
    // Bounds the scratch database and each connection's temporary database.
    size_t max_scratch_bytes = 64 * 1024 * 1024;
    int statement_timeout_s = 60; // 0: statements may run as long as they like
    int auth_delay_ms = 500;      // first wrong password; doubles with each further one
    int max_auth_failures = 5;    // wrong passwords before the connection is closed
    // Time limits on clients, in seconds; 0: none.
    int read_timeout_s = 30;               // the rest of a request block once it has begun
    int idle_timeout_s = 0;                // between requests
    int idle_in_transaction_timeout_s = 0; // between requests while a transaction is open
    int send_timeout_s = 60;               // the client taking a reply
    // The size an opened SQLite database may grow to; 0: no bound.
    size_t max_database_bytes = 0;
    BackendKind backend = BackendKind::sqlite;
    // libpq connection string; empty: the PG* environment variables apply.
    std::string pg_conninfo;
    bool sample = false; // write the sample databases afresh at start
};

enum class OptionsOutcome { run, help, version, error };

// One argument as the option's name and, for "--name=value", its value.
struct OptionWord {
    std::string name;
    std::string value;
    bool has_value = false;
};
OptionWord split_option(const std::string& argument);

// Reads the arguments after the program name; on error says why.
OptionsOutcome parse_options(const std::vector<std::string>& args, ServerOptions& options,
                             std::string& error);

std::string usage_text();

} // namespace dorvd
