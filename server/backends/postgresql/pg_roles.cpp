#include "server/backends/postgresql/pg_roles.h"

#include <algorithm>

#include "server/backends/postgresql/pg_connect.h"

namespace dorvd {
namespace {

// Predefined roles a client role must not reach.
constexpr const char* kForbiddenRoles =
    "{pg_read_server_files,pg_write_server_files,pg_execute_server_program,pg_read_all_data,"
    "pg_write_all_data,pg_read_all_stats,pg_signal_backend}";

// Every client role (login and database roles of the registry) with the
// first role it reaches that it must not: itself, when its own attributes
// are the trouble. Superusers come first, as they reach every role.
constexpr const char* kUnsafeRolesQuery = R"sql(
SELECT c.name, r.rolname, cr.rolsuper, r.rolsuper, r.rolbypassrls, r.rolcreaterole
FROM (SELECT role_name AS name FROM dorvd_admin.login_roles
      UNION SELECT role_name FROM dorvd_admin.database_roles) c
JOIN pg_catalog.pg_roles cr ON cr.rolname = c.name AND ($2 = '' OR c.name = $2)
JOIN pg_catalog.pg_roles r ON pg_catalog.pg_has_role(cr.oid, r.oid, 'MEMBER')
WHERE r.rolsuper OR r.rolbypassrls OR r.rolcreaterole OR r.rolname = ANY ($1::text[])
   OR r.rolname = current_user
ORDER BY cr.rolsuper DESC, c.name, r.rolname = c.name DESC, r.rolname
LIMIT 1
)sql";

} // namespace

std::vector<std::string> database_grants(PGconn* conn, const std::string& schema,
                                         const std::string& role, const std::string& admin) {
    const std::string s = pg_identifier(conn, schema);
    const std::string r = pg_identifier(conn, role);
    const std::string a = pg_identifier(conn, admin);
    const std::string tables = "SELECT, INSERT, UPDATE, DELETE, TRUNCATE";
    const std::string sequences = "USAGE, SELECT, UPDATE";
    return {
        "GRANT USAGE ON SCHEMA " + s + " TO " + r,
        "GRANT " + tables + " ON ALL TABLES IN SCHEMA " + s + " TO " + r,
        "GRANT " + sequences + " ON ALL SEQUENCES IN SCHEMA " + s + " TO " + r,
        "ALTER DEFAULT PRIVILEGES FOR ROLE " + a + " IN SCHEMA " + s + " GRANT " + tables +
            " ON TABLES TO " + r,
        "ALTER DEFAULT PRIVILEGES FOR ROLE " + a + " IN SCHEMA " + s + " GRANT " + sequences +
            " ON SEQUENCES TO " + r,
    };
}

std::string database_role_name(const std::string& admin, const std::string& schema) {
    const std::string name = admin + "_db_" + schema;
    return name.size() <= kMaxRoleName ? name : "";
}

std::string numbered_role_name(const std::string& admin, const char* kind, long long number) {
    return admin + "_" + kind + "_" + std::to_string(number);
}

std::string text_array(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::string array = "{";
    for (const std::string& name : names) {
        if (array.size() > 1) array += ',';
        array += '"';
        for (const char c : name) {
            if (c == '"' || c == '\\') array += '\\';
            array += c;
        }
        array += '"';
    }
    return array + "}";
}

RoleCheck check_client_roles(PGconn* conn, std::string& reason, const std::string& only) {
    const PgResult found = pg_run(conn, kUnsafeRolesQuery, {kForbiddenRoles, only});
    if (!found.ok()) {
        reason = "cannot look at the client roles: " + found.message();
        return RoleCheck::failed;
    }
    if (found.rows() == 0) return RoleCheck::safe;
    const std::string client = found.text(0, 0);
    const std::string reached = found.text(0, 1);
    std::string what;
    if (found.flag(0, 2)) {
        what = "is a superuser";
    } else if (reached == client) {
        what = found.flag(0, 4) ? "bypasses row security" : "can create roles";
    } else {
        what = "is a member of " + reached;
        if (found.flag(0, 3)) {
            what += ", a superuser";
        } else if (found.flag(0, 4)) {
            what += ", which bypasses row security";
        } else if (found.flag(0, 5)) {
            what += ", which can create roles";
        }
    }
    reason =
        "the PostgreSQL role " + client + ", which clients log in as or can SET ROLE to, " + what;
    return RoleCheck::unsafe;
}

} // namespace dorvd
