// The PostgreSQL roles dorvd's client sessions log in as, named after the
// administrative role ADMIN that dorvd itself connects as (--pg):
//   ADMIN_db_NAME    no login; USAGE on schema NAME, rights on its tables
//                    and sequences, and on those ADMIN makes there later
//                    (ADMIN_dbn_N where that name would be too long)
//   ADMIN_login_N    login; a member of the database roles of one set of
//                    databases opened together (N counts; the empty set,
//                    "nothing opened yet", has one too; at most 10,000)
// dorvd keeps which is which in its own schema, dorvd_admin, which
// `dorvd setup-postgresql` makes and no client role may use.
#pragma once

#include <libpq-fe.h>
#include <string>
#include <vector>

namespace dorvd {

constexpr const char* kRegistrySchema = "dorvd_admin";
// Role names longer than this are cut by PostgreSQL (NAMEDATALEN - 1).
constexpr size_t kMaxRoleName = 63;

// The statements that let role use schema: USAGE, table and sequence rights,
// and the same rights on tables and sequences admin makes there later.
std::vector<std::string> database_grants(PGconn* conn, const std::string& schema,
                                         const std::string& role, const std::string& admin);

// A database's role, ADMIN_db_NAME; empty when that is too long for a role
// name (the caller numbers it instead, ADMIN_dbn_N, which no NAME gives).
std::string database_role_name(const std::string& admin, const std::string& schema);
std::string numbered_role_name(const std::string& admin, const char* kind, long long number);

// The set of databases as a PostgreSQL text array, sorted, each once.
std::string text_array(std::vector<std::string> names);

enum class RoleCheck { safe, unsafe, failed };

// Whether any client role of the registry (or only the one named) is a
// superuser, bypasses row security, can create roles, or reaches (as a
// member) a role that reads or writes the database server's files, runs its
// programs, reads or writes all data, reads every session's statement,
// signals any session, or is dorvd's own role. unsafe: reason names the
// role and what it can; failed: reason says why the lookup failed.
RoleCheck check_client_roles(PGconn* conn, std::string& reason, const std::string& only = "");

} // namespace dorvd
