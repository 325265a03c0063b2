#include "server/options.h"

#include <algorithm>
#include <array>
#include <limits>

namespace dorvd {
namespace {

constexpr long long kNoUpperBound = std::numeric_limits<long long>::max();
constexpr long long kMaxTimeoutSeconds = 24 * 60 * 60;
constexpr long long kMinResultBytes = 1024;
constexpr long long kMinScratchBytes = 64 * 1024;

constexpr std::array<OptionChoice, 2> kBackends = {{
    {"sqlite", BackendKind::sqlite},
    {"postgresql", BackendKind::postgresql},
}};

// Time limits on clients, in seconds; 0: none.
constexpr OptionEntry client_seconds(std::string_view name, std::string_view shown_default,
                                     std::string_view help, int ServerOptions::*field) {
    return {.name = name,
            .argument = "S",
            .shown_default = shown_default,
            .help = help,
            .reading = OptionReading::number,
            .high = kMaxTimeoutSeconds,
            .field = field};
}

constexpr std::array kOptions = {
    OptionEntry{.name = "--listen",
                .argument = "ADDRESS",
                .shown_default = "127.0.0.1",
                .help = "IPv4 address to listen on",
                .reading = OptionReading::text,
                .needs = "an address",
                .field = &ServerOptions::listen_address},
    OptionEntry{.name = "--port",
                .argument = "N",
                .shown_default = "2000",
                .help = "TCP port; 0 picks a free port",
                .reading = OptionReading::number,
                .high = 65535,
                .field = &ServerOptions::port},
    OptionEntry{.name = "--data",
                .argument = "DIR",
                .shown_default = "./dorvd-data",
                .help = "data folder with the databases NAME.db and the password file "
                        "'passwords'; created with sample databases when it has none",
                .reading = OptionReading::path,
                .needs = "a folder",
                .field = &ServerOptions::data_dir},
    OptionEntry{.name = "--block-size",
                .argument = "N",
                .shown_default = "1024",
                .help = "largest block sent; smaller sizes split replies over more blocks",
                .reading = OptionReading::number,
                .low = 7, // a status block with one data byte
                .high = 1024,
                .field = &ServerOptions::max_block},
    OptionEntry{.name = "--allow-host-commands",
                .shown_default = "off",
                .help = "run clients' host commands",
                .reading = OptionReading::on_switch,
                .field = &ServerOptions::allow_host_commands},
    OptionEntry{.name = "--max-connections",
                .argument = "N",
                .shown_default = "16",
                .help = "connections served at once",
                .reading = OptionReading::number,
                .low = 1,
                .high = 1000,
                .field = &ServerOptions::max_connections},
    OptionEntry{.name = "--max-result-bytes",
                .argument = "N",
                .shown_default = "16M",
                .help = "memory one query result may take; also the largest single value a "
                        "statement may make",
                .reading = OptionReading::number,
                .low = kMinResultBytes,
                .high = kNoUpperBound,
                .suffix = true,
                .field = &ServerOptions::max_result_bytes},
    OptionEntry{.name = "--max-total-result-bytes",
                .argument = "N",
                .shown_default = "256M",
                .help = "memory all connections' kept results may take together; value "
                        "records are read as asked for and kept by neither bound",
                .reading = OptionReading::number,
                .low = kMinResultBytes,
                .high = kNoUpperBound,
                .suffix = true,
                .field = &ServerOptions::max_total_result_bytes},
    OptionEntry{.name = "--max-scratch-bytes",
                .argument = "N",
                .shown_default = "64M",
                .help = "size of the scratch database and of each connection's temporary "
                        "database",
                .reading = OptionReading::number,
                .low = kMinScratchBytes,
                .high = kNoUpperBound,
                .suffix = true,
                .field = &ServerOptions::max_scratch_bytes},
    OptionEntry{.name = "--max-database-bytes",
                .argument = "N",
                .shown_default = "0",
                .help = "size an opened SQLite database may grow to; 0 for no bound",
                .reading = OptionReading::zero_or_number,
                .low = kMinScratchBytes,
                .high = kNoUpperBound,
                .suffix = true,
                .field = &ServerOptions::max_database_bytes},
    OptionEntry{.name = "--statement-timeout",
                .argument = "S",
                .shown_default = "60",
                .help = "seconds a statement may run before it is stopped; 0 for no limit",
                .reading = OptionReading::number,
                .high = kMaxTimeoutSeconds,
                .field = &ServerOptions::statement_timeout_s},
    OptionEntry{.name = "--auth-delay-ms",
                .argument = "N",
                .shown_default = "500",
                .help = "delay before answering a wrong password, doubled for each further one "
                        "from the client's address; the address's next attempt waits as long",
                .reading = OptionReading::number,
                .high = 60 * 1000,
                .field = &ServerOptions::auth_delay_ms},
    OptionEntry{.name = "--max-auth-failures",
                .argument = "N",
                .shown_default = "5",
                .help = "wrong passwords before the connection is closed",
                .reading = OptionReading::number,
                .low = 1,
                .high = 100,
                .field = &ServerOptions::max_auth_failures},
    client_seconds("--read-timeout", "30",
                   "seconds the rest of a request block may take once it has begun; 0 for no "
                   "limit",
                   &ServerOptions::read_timeout_s),
    client_seconds("--idle-timeout", "0",
                   "seconds a client may stay idle between requests; 0 for no limit",
                   &ServerOptions::idle_timeout_s),
    client_seconds("--idle-in-transaction-timeout", "0",
                   "seconds a client may stay idle with a transaction or a result half read "
                   "open; then it is rolled back and the connection closed; 0 for no limit",
                   &ServerOptions::idle_in_transaction_timeout_s),
    client_seconds("--send-timeout", "60",
                   "seconds a client may leave a reply unread before the connection is "
                   "closed; 0 for no limit",
                   &ServerOptions::send_timeout_s),
    OptionEntry{.name = "--backend",
                .argument = "NAME",
                .shown_default = "sqlite",
                .help = "the database engine behind dorvd",
                .reading = OptionReading::choice,
                .choices = kBackends,
                .field = &ServerOptions::backend},
    OptionEntry{.name = "--pg",
                .argument = "CONNINFO",
                .help = "libpq connection string for --backend postgresql; empty (the "
                        "default): the PG* environment variables apply",
                .reading = OptionReading::text,
                .postgresql_only = true,
                .field = &ServerOptions::pg_conninfo},
    OptionEntry{.name = "--sample",
                .shown_default = "off",
                .help = "create the sample databases afresh at start, replacing 'sample' and "
                        "'secret'",
                .reading = OptionReading::on_switch,
                .field = &ServerOptions::sample},
    OptionEntry{
        .name = "--help", .alias = "-h", .help = "show this text", .reading = OptionReading::help},
    OptionEntry{.name = "--version", .help = "show the version", .reading = OptionReading::version},
};

constexpr std::string_view kUsageHead =
    "Usage: dorvd [options]\n"
    "       dorvd setup-postgresql --help   (prepares PostgreSQL for it, once)\n"
    "Reference Dorv server on SQLite or in front of PostgreSQL.\n"
    "\n";

constexpr std::string_view kUsageTail =
    "\n"
    "At start dorvd prints \"dorvd: listening on ADDRESS:PORT\" on standard output.\n"
    "The log goes to standard error, each line headed by the time in UTC\n"
    "(ISO 8601, 2026-12-10T05:30:21Z). SIGINT or SIGTERM shuts it down cleanly.\n";

constexpr size_t kHelpColumn = 27;
// Joins the words of a note that the usage keeps on one line ("1 to 100").
constexpr char kTie = '\x1f';
constexpr size_t kUsageWidth = 79;

bool in_range(const OptionEntry& entry, const std::string& text, long long& value,
              std::string& error) {
    if (!read_number(text, entry.suffix, value) || value < entry.low || value > entry.high) {
        error = std::string(entry.name) + ": '" + text + "' is not a number from " +
                std::to_string(entry.low) + " to " + std::to_string(entry.high);
        return false;
    }
    return true;
}

void store_number(const OptionField& field, long long number, ServerOptions& options) {
    if (const auto* member = std::get_if<int ServerOptions::*>(&field)) {
        options.*(*member) = static_cast<int>(number);
    } else if (const auto* member = std::get_if<size_t ServerOptions::*>(&field)) {
        options.*(*member) = static_cast<size_t>(number);
    } else if (const auto* member = std::get_if<uint16_t ServerOptions::*>(&field)) {
        options.*(*member) = static_cast<uint16_t>(number);
    }
}

void store_text(const OptionField& field, const std::string& value, ServerOptions& options) {
    if (const auto* member = std::get_if<std::string ServerOptions::*>(&field)) {
        options.*(*member) = value;
    } else if (const auto* member = std::get_if<std::filesystem::path ServerOptions::*>(&field)) {
        options.*(*member) = value;
    }
}

// "a", "a or b", "a, b or c".
std::string either(std::span<const OptionChoice> choices) {
    std::string text;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (i > 0) text += i + 1 == choices.size() ? " or " : ", ";
        text += choices[i].word;
    }
    return text;
}

bool read_choice(const OptionEntry& entry, const std::string& value, ServerOptions& options,
                 std::string& error) {
    for (const OptionChoice& choice : entry.choices) {
        if (value != choice.word) continue;
        if (const auto* member = std::get_if<BackendKind ServerOptions::*>(&entry.field))
            options.*(*member) = choice.kind;
        return true;
    }
    error = std::string(entry.name) + ": '" + value + "' is not " + either(entry.choices);
    return false;
}

// Reads the value of an option that takes one into its field.
bool read_value(const OptionEntry& entry, const std::string& value, ServerOptions& options,
                std::string& error) {
    long long number = 0;
    switch (entry.reading) {
    case OptionReading::zero_or_number:
        if (value == "0") {
            store_number(entry.field, 0, options);
            return true;
        }
        [[fallthrough]];
    case OptionReading::number:
        if (!in_range(entry, value, number, error)) return false;
        store_number(entry.field, number, options);
        return true;
    case OptionReading::text:
    case OptionReading::path:
        if (value.empty() && !entry.needs.empty()) {
            error = std::string(entry.name) + " needs " + std::string(entry.needs);
            return false;
        }
        store_text(entry.field, value, options);
        return true;
    case OptionReading::choice:
        return read_choice(entry, value, options, error);
    case OptionReading::on_switch:
    case OptionReading::help:
    case OptionReading::version:
        break;
    }
    return true;
}

const OptionEntry* find_option(const std::string& name) {
    for (const OptionEntry& entry : kOptions) {
        if (name == entry.name || (!entry.alias.empty() && name == entry.alias)) return &entry;
    }
    return nullptr;
}

// A byte count as the usage shows it: 64K rather than 65536.
std::string amount(long long value, bool suffix) {
    static constexpr std::array<std::pair<int, char>, 3> kUnits = {
        {{30, 'G'}, {20, 'M'}, {10, 'K'}}};
    if (suffix && value > 0) {
        for (const auto& [shift, letter] : kUnits) {
            if (value % (1LL << shift) == 0) return std::to_string(value >> shift) + letter;
        }
    }
    return std::to_string(value);
}

std::string tied(std::string note) {
    std::replace(note.begin(), note.end(), ' ', kTie);
    return note;
}

// What the usage adds after an option's help: its values and its default.
std::string value_notes(const OptionEntry& entry) {
    std::vector<std::string> notes;
    if (entry.reading == OptionReading::number || entry.reading == OptionReading::zero_or_number) {
        const std::string low = amount(entry.low, entry.suffix);
        if (entry.reading == OptionReading::zero_or_number) {
            notes.push_back(tied("0 or at least " + low));
        } else if (entry.high == kNoUpperBound) {
            notes.push_back(tied("at least " + low));
        } else {
            notes.push_back(tied(low + " to " + amount(entry.high, entry.suffix)));
        }
        if (entry.suffix) notes.push_back(tied("suffix K, M or G"));
    }
    if (entry.reading == OptionReading::choice) notes.push_back(either(entry.choices));
    if (!entry.shown_default.empty())
        notes.push_back(tied("default " + std::string(entry.shown_default)));
    std::string text;
    for (const std::string& note : notes)
        text += (text.empty() ? "(" : "; ") + note;
    return text.empty() ? text : text + ")";
}

// "  --name ARG   help ..." with the help wrapped under its column.
void append_option(std::string& usage, const OptionEntry& entry) {
    std::string line = "  " + std::string(entry.name);
    if (!entry.argument.empty()) line += " " + std::string(entry.argument);
    if (line.size() + 2 > kHelpColumn) {
        line += "  ";
    } else {
        line.resize(kHelpColumn, ' ');
    }
    const std::string notes = value_notes(entry);
    const std::string text = std::string(entry.help) + (notes.empty() ? "" : " " + notes);
    bool line_begins = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view word(text.data() + start, end - start);
        if (!line_begins && line.size() + 1 + word.size() > kUsageWidth) {
            std::replace(line.begin(), line.end(), kTie, ' ');
            usage += line + "\n";
            line.assign(kHelpColumn, ' ');
            line_begins = true;
        }
        if (!line_begins) line += ' ';
        line += word;
        line_begins = false;
        start = end + 1;
    }
    std::replace(line.begin(), line.end(), kTie, ' ');
    usage += line + "\n";
}

} // namespace

std::span<const OptionEntry> option_table() {
    return kOptions;
}

std::string usage_text() {
    std::string usage(kUsageHead);
    for (const OptionEntry& entry : kOptions)
        append_option(usage, entry);
    usage += kUsageTail;
    return usage;
}

OptionsOutcome parse_options(const std::vector<std::string>& args, ServerOptions& options,
                             std::string& error) {
    const OptionEntry* postgresql_only = nullptr;
    for (size_t i = 0; i < args.size(); ++i) {
        OptionWord word = split_option(args[i]);
        const OptionEntry* entry = find_option(word.name);
        if (entry == nullptr) {
            error = "unknown option '" + args[i] + "' (see --help)";
            return OptionsOutcome::error;
        }
        if (entry->reading == OptionReading::help) return OptionsOutcome::help;
        const std::string name(entry->name);
        if (entry->argument.empty()) {
            if (word.has_value) {
                error = name + " takes no value";
                return OptionsOutcome::error;
            }
            if (entry->reading == OptionReading::version) return OptionsOutcome::version;
            if (const auto* member = std::get_if<bool ServerOptions::*>(&entry->field))
                options.*(*member) = true;
            continue;
        }
        if (!word.has_value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return OptionsOutcome::error;
            }
            word.value = args[++i];
        }
        if (!read_value(*entry, word.value, options, error)) return OptionsOutcome::error;
        if (entry->postgresql_only) postgresql_only = entry;
    }
    if (postgresql_only != nullptr && options.backend != BackendKind::postgresql) {
        error = std::string(postgresql_only->name) + " needs --backend postgresql";
        return OptionsOutcome::error;
    }
    return OptionsOutcome::run;
}

} // namespace dorvd
