// The server's own statement OPEN DATABASE 'name' [AS 'password'], ...
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvd {

struct DatabaseRequest {
    std::string name;
    std::optional<std::string> password;
};

// True when the statement begins with the keywords OPEN DATABASE (any case).
bool is_open_database(std::string_view statement);

// Reads the list of databases. Names and passwords are quoted with ' or "
// (no escapes inside) or bare words; keywords are case-insensitive; one
// trailing ';' is allowed. On a syntax error returns no value and says why.
std::optional<std::vector<DatabaseRequest>> parse_open_database(std::string_view statement,
                                                                std::string& error);

// A database name is 1 to 64 letters, digits, '_' or '-', so it always names
// a file inside the data folder; "main" and "temp" are SQLite's own.
bool valid_database_name(std::string_view name);

} // namespace dorvd
