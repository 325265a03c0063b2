// The demo data a fresh data folder receives, so a first start needs no set-up.
#pragma once

#include <filesystem>
#include <string>

namespace dorvd {

// Creates the folder when missing. When it holds no database (no *.db file)
// yet, creates sample.db (customers, products, orders) and secret.db (open
// with password "geheim"), and a password file listing secret when there is
// none. Each file is written under a temporary name and then renamed, so an
// interrupted start leaves no half-written database. Returns false with
// error set when the folder or a file cannot be made.
// With replace, sample.db and secret.db are written afresh even when the
// folder holds databases.
bool prepare_data_folder(const std::filesystem::path& folder, std::string& error,
                         bool replace = false);

// Creates the folder when missing, and in it the password file listing
// secret when there is none (the data folder of a PostgreSQL backend).
bool prepare_password_folder(const std::filesystem::path& folder, std::string& error);

} // namespace dorvd
