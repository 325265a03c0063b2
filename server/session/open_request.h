// The steps of OPEN DATABASE that do not depend on the backend: reading the
// list and the password file, checking a password, and the answer naming
// the databases now open.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/backends/backend.h"
#include "server/session/open_database.h"

namespace dorvd {

struct OpenRequest {
    std::vector<DatabaseRequest> databases;
    std::map<std::string, std::string> passwords; // name: password, from the password file
};

// Reads the statement's list of databases and the password file of
// data_dir. On failure returns no value and sets failure to the answer.
std::optional<OpenRequest> read_open_request(std::string_view statement,
                                             const std::filesystem::path& data_dir,
                                             Outcome& failure);

// The answer for a database whose password is wrong; none when it is right
// or the database needs none.
std::optional<Outcome> wrong_password(const OpenRequest& request, const DatabaseRequest& database);

// Status 0 with the explanation "Databases open: a, b.".
Outcome databases_open(const std::vector<std::string>& names);

} // namespace dorvd
