// `dorvd setup-postgresql`: prepares a PostgreSQL database for dorvd, run
// once by an administrator as a PostgreSQL superuser (again after a
// PostgreSQL upgrade, or to give database roles the rights on tables made
// under another role). It makes the administrative role dorvd connects as,
// dorvd's registry of client roles, takes from PUBLIC what lets one session
// see or end another, keeps clients out of schema public, and sets
// temp_file_limit for the database.
#pragma once

#include <string>
#include <vector>

namespace dorvd {

// The arguments after "setup-postgresql"; returns the exit status (0 done,
// 1 failed, 2 bad arguments) after saying what it did or why not.
int run_pg_setup(const std::vector<std::string>& args);

std::string pg_setup_usage();

} // namespace dorvd
