#include "server/options.h"

#include <charconv>
#include <limits>

namespace dorvd {
namespace {

constexpr size_t kMinBlockOption = 7; // a status block with one data byte
constexpr size_t kMaxBlockOption = 1024;
constexpr long long kMaxConnections = 1000;
constexpr long long kMinResultBytes = 1024;
constexpr long long kMinScratchBytes = 64 * 1024;
constexpr long long kMaxTimeoutSeconds = 24 * 60 * 60;
constexpr long long kMaxAuthDelayMs = 60 * 1000;
constexpr long long kMaxAuthFailures = 100;

// A decimal number, optionally followed by K, M or G (powers of 1024).
bool read_number(const std::string& text, bool allow_suffix, long long& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto [last, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || last == begin || value < 0) return false;
    if (last == end) return true;
    if (!allow_suffix || last + 1 != end) return false;
    int shift = 0;
    switch (*last) {
    case 'K':
    case 'k':
        shift = 10;
        break;
    case 'M':
    case 'm':
        shift = 20;
        break;
    case 'G':
    case 'g':
        shift = 30;
        break;
    default:
        return false;
    }
    if (value > (std::numeric_limits<long long>::max() >> shift)) return false;
    value <<= shift;
    return true;
}

bool in_range(const std::string& option, const std::string& text, long long low, long long high,
              bool allow_suffix, long long& value, std::string& error) {
    if (!read_number(text, allow_suffix, value) || value < low || value > high) {
        error = option + ": '" + text + "' is not a number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
    }
    return true;
}

// The bounds on what one client may hold: time limits and database size.
// Returns false when option is none of them; error is set when its value is bad.
bool parse_client_bound(const std::string& option, const std::string& value, ServerOptions& options,
                        std::string& error) {
    int* seconds = nullptr;
    if (option == "--read-timeout") {
        seconds = &options.read_timeout_s;
    } else if (option == "--idle-timeout") {
        seconds = &options.idle_timeout_s;
    } else if (option == "--idle-in-transaction-timeout") {
        seconds = &options.idle_in_transaction_timeout_s;
    } else if (option == "--send-timeout") {
        seconds = &options.send_timeout_s;
    } else if (option != "--max-database-bytes") {
        return false;
    }
    long long number = 0;
    if (seconds != nullptr) {
        if (in_range(option, value, 0, kMaxTimeoutSeconds, false, number, error))
            *seconds = static_cast<int>(number);
    } else if (value == "0" ||
               in_range(option, value, kMinScratchBytes, std::numeric_limits<long long>::max(),
                        true, number, error)) {
        options.max_database_bytes = static_cast<size_t>(number);
    }
    return true;
}

bool is_client_bound(const std::string& option) {
    std::string unused_error;
    ServerOptions unused;
    return parse_client_bound(option, "0", unused, unused_error);
}

} // namespace

std::string usage_text() {
    return "Usage: dorvd [options]\n"
           "       dorvd setup-postgresql --help   (prepares PostgreSQL for it, once)\n"
           "Reference Dorv server on SQLite or in front of PostgreSQL.\n"
           "\n"
           "  --listen ADDRESS         IPv4 address to listen on (default 127.0.0.1)\n"
           "  --port N                 TCP port (default 2000); 0 picks a free port\n"
           "  --data DIR               data folder with the databases NAME.db and the\n"
           "                           password file 'passwords' (default ./dorvd-data);\n"
           "                           created with sample databases when it has none\n"
           "  --block-size N           largest block sent, 7 to 1024 (default 1024);\n"
           "                           smaller sizes split replies over more blocks\n"
           "  --allow-host-commands    run clients' host commands (off by default)\n"
           "  --max-connections N      connections served at once, 1 to 1000 (default 16)\n"
           "  --max-result-bytes N     memory one query result may take, with optional\n"
           "                           suffix K, M or G (default 16M); also the largest\n"
           "                           single value a statement may make\n"
           "  --max-total-result-bytes N  memory all connections' kept results may take\n"
           "                           together (default 256M); value records are read\n"
           "                           as asked for and kept by neither bound\n"
           "  --max-scratch-bytes N    size of the scratch database and of each\n"
           "                           connection's temporary database (default 64M)\n"
           "  --statement-timeout S    seconds a statement may run before it is stopped,\n"
           "                           0 for no limit (default 60)\n"
           "  --auth-delay-ms N        delay before answering a wrong password, doubled\n"
           "                           for each further one from the client's address; the\n"
           "                           address's next attempt waits as long (default 500)\n"
           "  --max-auth-failures N    wrong passwords before the connection is closed,\n"
           "                           1 to 100 (default 5)\n"
           "  --read-timeout S         seconds the rest of a request block may take once\n"
           "                           it has begun (default 30); 0 for no limit\n"
           "  --idle-timeout S         seconds a client may stay idle between requests\n"
           "                           (default 0: no limit)\n"
           "  --idle-in-transaction-timeout S  seconds a client may stay idle with a\n"
           "                           transaction or a result half read open; then it is\n"
           "                           rolled back and the connection closed (default 0: no\n"
           "                           limit)\n"
           "  --send-timeout S         seconds a client may leave a reply unread before the\n"
           "                           connection is closed (default 60); 0 for no limit\n"
           "  --max-database-bytes N   size an opened SQLite database may grow to, with\n"
           "                           optional suffix K, M or G (default 0: no bound)\n"
           "  --backend NAME           sqlite (default) or postgresql\n"
           "  --pg CONNINFO            libpq connection string for --backend postgresql\n"
           "                           (default empty: the PG* environment variables)\n"
           "  --sample                 create the sample databases afresh at start,\n"
           "                           replacing 'sample' and 'secret'\n"
           "  --help                   show this text\n"
           "  --version                show the version\n"
           "\n"
           "At start dorvd prints \"dorvd: listening on ADDRESS:PORT\" on standard output.\n"
           "The log goes to standard error, each line headed by the time in UTC\n"
           "(ISO 8601, 2026-12-10T05:30:21Z). SIGINT or SIGTERM shuts it down cleanly.\n";
}

OptionWord split_option(const std::string& argument) {
    OptionWord word{argument, "", false};
    const size_t equals = argument.find('=');
    if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
        word.value = argument.substr(equals + 1);
        word.name.resize(equals);
        word.has_value = true;
    }
    return word;
}

OptionsOutcome parse_options(const std::vector<std::string>& args, ServerOptions& options,
                             std::string& error) {
    bool has_pg = false;
    for (size_t i = 0; i < args.size(); ++i) {
        OptionWord word = split_option(args[i]);
        const std::string& option = word.name;
        std::string& value = word.value;
        const bool has_value = word.has_value;
        if (option == "--help" || option == "-h") return OptionsOutcome::help;
        if (option == "--version" || option == "--allow-host-commands" || option == "--sample") {
            if (has_value) {
                error = option + " takes no value";
                return OptionsOutcome::error;
            }
            if (option == "--version") return OptionsOutcome::version;
            if (option == "--sample") {
                options.sample = true;
            } else {
                options.allow_host_commands = true;
            }
            continue;
        }
        const bool known =
            is_client_bound(option) || option == "--listen" || option == "--port" ||
            option == "--data" || option == "--block-size" || option == "--max-connections" ||
            option == "--max-result-bytes" || option == "--max-scratch-bytes" ||
            option == "--max-total-result-bytes" || option == "--statement-timeout" ||
            option == "--auth-delay-ms" || option == "--max-auth-failures" ||
            option == "--backend" || option == "--pg";
        if (!known) {
            error = "unknown option '" + args[i] + "' (see --help)";
            return OptionsOutcome::error;
        }
        if (!has_value) {
            if (i + 1 >= args.size()) {
                error = option + " needs a value";
                return OptionsOutcome::error;
            }
            value = args[++i];
        }
        long long number = 0;
        if (parse_client_bound(option, value, options, error)) {
            if (!error.empty()) return OptionsOutcome::error;
        } else if (option == "--backend") {
            if (value == "sqlite") {
                options.backend = BackendKind::sqlite;
            } else if (value == "postgresql") {
                options.backend = BackendKind::postgresql;
            } else {
                error = "--backend: '" + value + "' is not sqlite or postgresql";
                return OptionsOutcome::error;
            }
        } else if (option == "--pg") {
            options.pg_conninfo = value;
            has_pg = true;
        } else if (option == "--listen") {
            if (value.empty()) {
                error = "--listen needs an address";
                return OptionsOutcome::error;
            }
            options.listen_address = value;
        } else if (option == "--data") {
            if (value.empty()) {
                error = "--data needs a folder";
                return OptionsOutcome::error;
            }
            options.data_dir = value;
        } else if (option == "--port") {
            if (!in_range(option, value, 0, 65535, false, number, error))
                return OptionsOutcome::error;
            options.port = static_cast<uint16_t>(number);
        } else if (option == "--block-size") {
            if (!in_range(option, value, kMinBlockOption, kMaxBlockOption, false, number, error)) {
                return OptionsOutcome::error;
            }
            options.max_block = static_cast<size_t>(number);
        } else if (option == "--max-connections") {
            if (!in_range(option, value, 1, kMaxConnections, false, number, error)) {
                return OptionsOutcome::error;
            }
            options.max_connections = static_cast<int>(number);
        } else if (option == "--statement-timeout") {
            if (!in_range(option, value, 0, kMaxTimeoutSeconds, false, number, error)) {
                return OptionsOutcome::error;
            }
            options.statement_timeout_s = static_cast<int>(number);
        } else if (option == "--auth-delay-ms") {
            if (!in_range(option, value, 0, kMaxAuthDelayMs, false, number, error)) {
                return OptionsOutcome::error;
            }
            options.auth_delay_ms = static_cast<int>(number);
        } else if (option == "--max-auth-failures") {
            if (!in_range(option, value, 1, kMaxAuthFailures, false, number, error)) {
                return OptionsOutcome::error;
            }
            options.max_auth_failures = static_cast<int>(number);
        } else if (option == "--max-scratch-bytes") {
            if (!in_range(option, value, kMinScratchBytes, std::numeric_limits<long long>::max(),
                          true, number, error)) {
                return OptionsOutcome::error;
            }
            options.max_scratch_bytes = static_cast<size_t>(number);
        } else if (option == "--max-total-result-bytes") {
            if (!in_range(option, value, kMinResultBytes, std::numeric_limits<long long>::max(),
                          true, number, error)) {
                return OptionsOutcome::error;
            }
            options.max_total_result_bytes = static_cast<size_t>(number);
        } else {
            if (!in_range(option, value, kMinResultBytes, std::numeric_limits<long long>::max(),
                          true, number, error)) {
                return OptionsOutcome::error;
            }
            options.max_result_bytes = static_cast<size_t>(number);
        }
    }
    if (has_pg && options.backend != BackendKind::postgresql) {
        error = "--pg needs --backend postgresql";
        return OptionsOutcome::error;
    }
    return OptionsOutcome::run;
}

} // namespace dorvd
