// The data folder's password file: one "name:password" per line; blank lines
// and lines starting with '#' are skipped. A database not listed needs no
// password.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "server/base/password_file_name.h"

namespace dorvd {

// Reads the file; a missing file lists nothing. Lines without ':' are
// reported in warnings (one line each) and skipped. False with error set
// when the file exists but cannot be read.
bool read_password_file(const std::filesystem::path& path,
                        std::map<std::string, std::string>& entries, std::string& warnings,
                        std::string& error);

} // namespace dorvd
