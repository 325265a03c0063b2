// dorvd's command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "server/backends/backend_choice.h"
#include "server/base/option_word.h"

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

// How an option's value is read.
enum class OptionReading {
    number,         // a decimal number from low to high
    zero_or_number, // 0, or a number from low to high
    text,           // any text; empty only when needs is empty
    path,           // a folder or file; empty only when needs is empty
    choice,         // one of choices
    on_switch,      // no value: sets the field
    help,           // no value needed: the usage is wanted
    version,        // no value: the version is wanted
};

struct OptionChoice {
    std::string_view word;
    BackendKind kind;
};

// Where an option's value lands.
using OptionField =
    std::variant<std::monostate, bool ServerOptions::*, int ServerOptions::*,
                 uint16_t ServerOptions::*, size_t ServerOptions::*, std::string ServerOptions::*,
                 std::filesystem::path ServerOptions::*, BackendKind ServerOptions::*>;

// One option of dorvd, as the usage shows it and the parser reads it.
struct OptionEntry {
    std::string_view name{};          // "--port"
    std::string_view alias{};         // another name it answers to; not shown
    std::string_view argument{};      // "N"; empty for an option without value
    std::string_view shown_default{}; // as the usage shows it; empty: none shown
    std::string_view help{};
    OptionReading reading = OptionReading::text;
    long long low = 0; // number, zero_or_number
    long long high = 0;
    bool suffix = false;      // the number may end in K, M or G (powers of 1024)
    std::string_view needs{}; // text, path: what an empty value lacks ("an address")
    std::span<const OptionChoice> choices{};
    bool postgresql_only = false; // given only with --backend postgresql
    OptionField field{};
};

// Every option, in the order the usage shows them.
std::span<const OptionEntry> option_table();

// Reads the arguments after the program name; on error says why.
OptionsOutcome parse_options(const std::vector<std::string>& args, ServerOptions& options,
                             std::string& error);

std::string usage_text();

} // namespace dorvd
