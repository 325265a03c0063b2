#include "server/backends/postgresql/pg_admin.h"

#include <cerrno>
#include <cstdlib>
#include <strings.h>
#include <sys/random.h>

#include "server/base/log.h"
#include "server/backends/postgresql/pg_roles.h"
#include "server/base/status_codes.h"

namespace dorvd {
namespace {

constexpr const char* kApplication = "dorvd admin";
// The date and byte formats the value records read.
constexpr const char* kFormats =
    "-c DateStyle=ISO,YMD -c IntervalStyle=postgres -c bytea_output=hex";
// Settings every session starts with as the administrative connection has
// them: a client's stored value would stop the next session's own set-up
// or make it read-only.
constexpr const char* kGuarded[] = {"statement_timeout", "lock_timeout",
                                    "idle_in_transaction_session_timeout", "idle_session_timeout",
                                    "default_transaction_read_only"};
// How long one statement of the administrative connection may wait for a
// lock, and run.
constexpr const char* kAdminLimits = "SET lock_timeout = '10s'; SET statement_timeout = '60s'";
// Duplicate keys of another dorvd making the same role at the same time.
constexpr const char* kUniqueViolation = "23505";
constexpr const char* kDuplicateObject = "42710";
// Login roles dorvd makes at most: one per set of databases opened together.
constexpr long long kMaxLoginRoles = 10000;

// Settings that are not put back from the baseline: the session sets them
// itself, or they cannot be set outside a transaction.
bool own_setting(const std::string& name) {
    for (const char* own :
         {"search_path", "client_encoding", "application_name", "role", "session_authorization",
          "DateStyle", "IntervalStyle", "bytea_output"}) {
        if (strcasecmp(name.c_str(), own) == 0) return true;
    }
    return name.rfind("transaction_", 0) == 0;
}

// A value in libpq's options, where blanks separate words.
std::string option_value(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        if (c == ' ' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// 48 hexadecimal digits from the system's random source; empty when it fails.
std::string random_password() {
    unsigned char bytes[24];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return "";
        got += static_cast<size_t>(n);
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

constexpr const char* kUnreachable =
    "The server cannot reach its PostgreSQL database; try again later.";

} // namespace

std::shared_ptr<PgAdmin> PgAdmin::open(const std::string& conninfo, std::string& error) {
    std::shared_ptr<PgAdmin> admin(new PgAdmin());
    admin->conninfo_ = conninfo;
    if (!admin->connected(error)) {
        error = "cannot reach PostgreSQL: " + error;
        return nullptr;
    }
    PGconn* conn = admin->conn_;
    const PgResult about = pg_run(
        conn, "SELECT current_setting('server_version'), current_database(), current_user, "
              "r.rolsuper OR r.rolcreaterole, current_setting('temp_file_limit'), (SELECT "
              "pg_catalog.pg_get_userbyid(nspowner) FROM pg_catalog.pg_namespace WHERE nspname = "
              "'dorvd_admin') FROM pg_catalog.pg_roles r WHERE r.rolname = current_user");
    if (!about.ok() || about.rows() != 1) {
        error = "cannot look at PostgreSQL: " + about.message();
        return nullptr;
    }
    admin->server_version_ = PQserverVersion(conn);
    admin->database_ = about.text(0, 1);
    admin->role_ = about.text(0, 2);
    const std::string& role = admin->role_;
    const std::string& database = admin->database_;
    log_line("PostgreSQL " + about.text(0, 0) + ", database " + database + ", role " + role);
    const std::string how = "run `dorvd setup-postgresql --pg CONNINFO --admin-role " + role +
                            "` once as a PostgreSQL superuser (see dorvd's README)";
    const std::string owner = about.text(0, 5);
    if (owner.empty()) {
        error = "PostgreSQL database " + database + " is not set up for dorvd: " + how;
        return nullptr;
    }
    if (owner != role) {
        error = "PostgreSQL database " + database + " is set up for dorvd's role " + owner +
                ", but dorvd connects as " + role + ": name " + owner + " in --pg, or " + how;
        return nullptr;
    }
    const PgResult registry =
        pg_run(conn, "SELECT to_regclass('dorvd_admin.login_roles') IS NOT NULL AND "
                     "to_regclass('dorvd_admin.database_roles') IS NOT NULL AND "
                     "to_regclass('dorvd_admin.role_numbers') IS NOT NULL");
    if (!registry.flag(0, 0)) {
        error = "PostgreSQL database " + database + " is not set up for dorvd (the schema " +
                kRegistrySchema + " is incomplete): " + how;
        return nullptr;
    }
    if (!about.flag(0, 3)) {
        error = "the PostgreSQL role " + role + " cannot create roles: " + how;
        return nullptr;
    }
    if (about.text(0, 4) == "-1") {
        log_line("warning: temp_file_limit is not set in database " + database +
                 ", so one client's sort may fill PostgreSQL's disk; `dorvd setup-postgresql` "
                 "sets it");
    }
    if (!admin->read_baseline(error)) return nullptr;
    return admin;
}

PgAdmin::~PgAdmin() {
    PQfinish(conn_);
}

bool PgAdmin::connected(std::string& error) {
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) return true;
    PQfinish(conn_);
    conn_ = pg_open(conninfo_, kApplication, nullptr, "", error);
    if (conn_ == nullptr) return false;
    // A client's open transaction may hold a row the role work must change
    // (its role's stored settings, say): the administrative connection, and
    // every session waiting behind it, must not wait on that for ever.
    const PgResult limits(PQexec(conn_, kAdminLimits));
    if (!limits.ok()) {
        error = "cannot set the administrative connection's time limits: " + limits.message();
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    return true;
}

bool PgAdmin::read_baseline(std::string& error) {
    // The values the session started with, not the time limits set above.
    const PgResult settings = pg_run(conn_, "SELECT name, reset_val FROM "
                                            "pg_catalog.pg_settings WHERE context = 'user'");
    if (!settings.ok()) {
        error = "cannot read PostgreSQL's settings: " + settings.message();
        return false;
    }
    for (int row = 0; row < settings.rows(); ++row) {
        const std::string name = settings.text(row, 0);
        if (!own_setting(name)) baseline_[name] = settings.text(row, 1);
    }
    session_options_ = pg_configured_options(conninfo_);
    if (!session_options_.empty()) session_options_ += ' ';
    session_options_ += kFormats;
    for (const char* name : kGuarded) {
        const auto found = baseline_.find(name);
        if (found != baseline_.end()) {
            session_options_ += std::string(" -c ") + name + "=" + option_value(found->second);
        }
    }
    return true;
}

bool PgAdmin::baseline(const std::string& name, std::string& value) const {
    const auto found = baseline_.find(name);
    if (found == baseline_.end()) return false;
    value = found->second;
    return true;
}

Outcome PgAdmin::unreachable(const std::string& error) {
    log_line("cannot reach PostgreSQL: " + error);
    return {kStatusDatabaseUnreachable, kUnreachable};
}

// Runs the statements in one transaction; on failure rolls back, and error
// holds PostgreSQL's message after its SQLSTATE and a blank.
bool PgAdmin::in_transaction(const std::vector<std::string>& statements, std::string& error) {
    if (!pg_run(conn_, "BEGIN").ok()) {
        error = "08000 " + pg_message(conn_);
        return false;
    }
    for (const std::string& statement : statements) {
        const PgResult result = pg_run(conn_, statement);
        if (!result.ok()) {
            error = result.sqlstate() + " " + result.message();
            pg_run(conn_, "ROLLBACK");
            return false;
        }
    }
    const PgResult commit = pg_run(conn_, "COMMIT");
    if (!commit.ok()) {
        error = commit.sqlstate() + " " + commit.message();
        return false;
    }
    return true;
}

bool PgAdmin::run_script(const std::string& sql, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected(error)) return false;
    const PgResult result(PQexec(conn_, ("BEGIN;" + sql + "COMMIT;").c_str()));
    if (result.ok()) return true;
    error = one_line(PQerrorMessage(conn_));
    pg_run(conn_, "ROLLBACK");
    return false;
}

PgAdmin::Lookup PgAdmin::find_database(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string error;
    if (!connected(error)) {
        unreachable(error);
        return Lookup::failed;
    }
    const PgResult found =
        pg_run(conn_, "SELECT 1 FROM pg_catalog.pg_namespace WHERE nspname = $1", {name});
    if (!found.ok()) {
        log_line("cannot look up schema " + name + ": " + found.message());
        return Lookup::failed;
    }
    return found.rows() > 0 ? Lookup::found : Lookup::missing;
}

bool PgAdmin::database_role(const std::string& schema, std::string& role, Outcome& failure) {
    // Another dorvd may make the same role at the same time: then look again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const PgResult found = pg_run(conn_, R"sql(
SELECT d.role_name, r.oid IS NOT NULL,
       coalesce(pg_catalog.has_schema_privilege(r.oid, n.oid, 'USAGE'), false)
FROM pg_catalog.pg_namespace n
LEFT JOIN dorvd_admin.database_roles d ON d.schema_name = n.nspname
LEFT JOIN pg_catalog.pg_roles r ON r.rolname = d.role_name
WHERE n.nspname = $1)sql",
                                      {schema});
        if (!found.ok()) {
            if (PQstatus(conn_) != CONNECTION_OK) {
                failure = unreachable(pg_message(conn_));
            } else {
                log_line("cannot look up the role of database " + schema + ": " + found.message());
                failure = {kStatusError, "Cannot look up database '" + schema + "'."};
            }
            return false;
        }
        if (found.rows() == 0) {
            failure = {kStatusUnknownDatabase, "Unknown database '" + schema + "'."};
            return false;
        }
        role = found.text(0, 0);
        if (!role.empty() && found.flag(0, 1) && found.flag(0, 2)) return true;
        bool conflict = false;
        if (make_database_role(schema, role, found.flag(0, 1), role, failure, conflict)) {
            return true;
        }
        if (!conflict) return false;
    }
    return false;
}

bool PgAdmin::make_database_role(const std::string& schema, const std::string& registered,
                                 bool role_exists, std::string& role, Outcome& failure,
                                 bool& conflict) {
    std::vector<std::string> statements;
    std::string name = registered;
    if (name.empty()) {
        name = database_role_name(role_, schema);
        if (name.empty()) name = free_role_name("dbn");
        // A role of that name left from an earlier set-up is taken as it is;
        // the check of the client roles looks at what it may do.
        role_exists =
            pg_run(conn_, "SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = $1", {name}).rows() >
            0;
        statements.push_back("INSERT INTO dorvd_admin.database_roles VALUES (" +
                             pg_literal(conn_, schema) + ", " + pg_literal(conn_, name) + ")");
    }
    if (!role_exists) {
        statements.push_back("CREATE ROLE " + pg_identifier(conn_, name) +
                             " NOLOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION "
                             "NOBYPASSRLS INHERIT");
    }
    for (std::string& grant : database_grants(conn_, schema, name, role_))
        statements.push_back(std::move(grant));
    std::string error;
    if (!in_transaction(statements, error)) {
        conflict = error.rfind(kUniqueViolation, 0) == 0 || error.rfind(kDuplicateObject, 0) == 0;
        if (conflict) return false;
        if (PQstatus(conn_) != CONNECTION_OK) {
            failure = unreachable(pg_message(conn_));
        } else {
            log_line("cannot give a role the use of database " + schema + ": " + error.substr(6));
            failure = {kStatusError,
                       "Database '" + schema +
                           "' cannot be opened: the server cannot set up its role (see the "
                           "server's log)."};
        }
        return false;
    }
    // A grant the administrative role cannot give is only a warning to
    // PostgreSQL: look whether it took.
    const PgResult usable =
        pg_run(conn_, "SELECT pg_catalog.has_schema_privilege($1, $2, 'USAGE')", {name, schema});
    if (!usable.flag(0, 0)) {
        log_line("cannot give role " + name + " the use of schema " + schema + ": the role " +
                 role_ + " may not grant it; make " + role_ +
                 " the schema's owner, or run `dorvd setup-postgresql` again");
        failure = {kStatusNotAuthorized,
                   "not authorized: database '" + schema +
                       "' is not shared by this server (see the server's log)."};
        return false;
    }
    log_line("role " + name + " holds database " + schema);
    role = name;
    return true;
}

// ADMIN_kind_N with the next number no role has yet (a role may be left
// from an earlier set-up); empty when none is found.
std::string PgAdmin::free_role_name(const char* kind) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const PgResult number = pg_run(conn_, "SELECT nextval('dorvd_admin.role_numbers')");
        if (!number.ok()) {
            log_line("cannot number a new role: " + number.message());
            return "";
        }
        std::string name = numbered_role_name(role_, kind, std::atoll(number.text(0, 0).c_str()));
        const PgResult taken =
            pg_run(conn_, "SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = $1", {name});
        if (taken.ok() && taken.rows() == 0) return name;
    }
    return "";
}

bool PgAdmin::set_password(const PgLogin& login, std::string& error) {
    char* verifier =
        PQencryptPasswordConn(conn_, login.password.c_str(), login.user.c_str(), nullptr);
    if (verifier == nullptr) {
        error = "cannot encrypt a password: " + pg_message(conn_);
        return false;
    }
    const std::string statement = "ALTER ROLE " + pg_identifier(conn_, login.user) + " PASSWORD " +
                                  pg_literal(conn_, verifier);
    PQfreemem(verifier);
    const PgResult result = pg_run(conn_, statement);
    if (!result.ok()) error = result.message();
    return result.ok();
}

// A login role for a set of databases none has yet: its name, its
// password and the row that remembers them, while there is room for one.
bool PgAdmin::plan_new_login(const std::string& key, PgLogin& login,
                             std::vector<std::string>& statements, Outcome& failure) {
    const PgResult count = pg_run(conn_, "SELECT count(*) FROM dorvd_admin.login_roles");
    if (!count.ok() || count.rows() != 1) {
        failure = PQstatus(conn_) != CONNECTION_OK
                      ? unreachable(pg_message(conn_))
                      : Outcome{kStatusError, "Cannot count the login roles."};
        if (failure.status == kStatusError)
            log_line("cannot count the login roles: " + count.message());
        return false;
    }
    if (std::atoll(count.text(0, 0).c_str()) >= kMaxLoginRoles) {
        log_line("no login role is made for databases " + key + ": there are " +
                 std::to_string(kMaxLoginRoles) +
                 " already (one per set of databases opened together)");
        failure = {kStatusFull, "This server has as many PostgreSQL login roles as it makes (" +
                                    std::to_string(kMaxLoginRoles) +
                                    "); open a set of databases opened before."};
        return false;
    }
    login.user = free_role_name("login");
    login.password = random_password();
    if (login.user.empty() || login.password.empty()) {
        log_line("cannot make a login role: no free name or no random password");
        failure = {kStatusError,
                   "The server cannot make a PostgreSQL role (see the server's log)."};
        return false;
    }
    statements.push_back("INSERT INTO dorvd_admin.login_roles VALUES (" + pg_literal(conn_, key) +
                         ", " + pg_literal(conn_, login.user) + ", " +
                         pg_literal(conn_, login.password) + ")");
    return true;
}

// The role itself, for a login remembered without one or made just now.
bool PgAdmin::plan_login_role(const PgLogin& login, std::vector<std::string>& statements,
                              Outcome& failure) {
    char* verifier =
        PQencryptPasswordConn(conn_, login.password.c_str(), login.user.c_str(), nullptr);
    if (verifier == nullptr) {
        log_line("cannot encrypt a password: " + pg_message(conn_));
        failure = {kStatusError,
                   "The server cannot make a PostgreSQL role (see the server's log)."};
        return false;
    }
    statements.push_back("CREATE ROLE " + pg_identifier(conn_, login.user) +
                         " LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION "
                         "NOBYPASSRLS INHERIT PASSWORD " +
                         pg_literal(conn_, verifier));
    PQfreemem(verifier);
    return true;
}

// Runs what making the login takes in one transaction.
bool PgAdmin::write_login(const PgLogin& login, const std::vector<std::string>& statements,
                          Outcome& failure, bool& conflict) {
    std::string error;
    if (statements.empty() || in_transaction(statements, error)) return true;
    conflict = error.rfind(kUniqueViolation, 0) == 0 || error.rfind(kDuplicateObject, 0) == 0;
    if (conflict) return false;
    if (PQstatus(conn_) != CONNECTION_OK) {
        failure = unreachable(pg_message(conn_));
    } else {
        log_line("cannot make login role " + login.user + ": " + error.substr(6));
        failure = {kStatusError,
                   "The server cannot make a PostgreSQL role (see the server's log)."};
    }
    return false;
}

bool PgAdmin::make_login(const std::vector<std::string>& databases,
                         const std::vector<std::string>& roles, PgLogin& login, Outcome& failure,
                         bool& conflict) {
    const std::string key = text_array(databases);
    const PgResult found = pg_run(conn_, R"sql(
SELECT l.role_name, l.password, r.oid IS NOT NULL
FROM dorvd_admin.login_roles l LEFT JOIN pg_catalog.pg_roles r ON r.rolname = l.role_name
WHERE l.databases = $1::text[])sql",
                                  {key});
    if (!found.ok()) {
        failure = PQstatus(conn_) != CONNECTION_OK
                      ? unreachable(pg_message(conn_))
                      : Outcome{kStatusError, "Cannot look up a login role."};
        if (failure.status == kStatusError)
            log_line("cannot look up a login role: " + found.message());
        return false;
    }
    std::vector<std::string> statements;
    bool exists = false;
    if (found.rows() > 0) {
        login = {found.text(0, 0), found.text(0, 1)};
        exists = found.flag(0, 2);
    } else if (!plan_new_login(key, login, statements, failure)) {
        return false;
    }
    if (!exists && !plan_login_role(login, statements, failure)) return false;
    // Memberships the login role lacks (all of them for a new role, or after
    // a database's role was made anew) are granted; where none lacks, as on
    // a read-only standby, nothing is written.
    const PgResult missing = pg_run(conn_,
                                    "SELECT r FROM unnest($1::text[]) r WHERE NOT $3 OR NOT "
                                    "pg_catalog.pg_has_role($2, r, 'MEMBER')",
                                    {text_array(roles), login.user, exists ? "true" : "false"});
    for (int row = 0; row < missing.rows(); ++row) {
        statements.push_back("GRANT " + pg_identifier(conn_, missing.text(row, 0)) + " TO " +
                             pg_identifier(conn_, login.user));
    }
    if (!write_login(login, statements, failure, conflict)) return false;
    if (!exists) log_line("made login role " + login.user + " for databases " + key);
    return true;
}

bool PgAdmin::login_for(const std::vector<std::string>& databases, PgLogin& login,
                        Outcome& failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string error;
    if (!connected(error)) {
        failure = unreachable(error);
        return false;
    }
    std::vector<std::string> roles;
    for (const std::string& database : databases) {
        std::string role;
        if (!database_role(database, role, failure)) return false;
        roles.push_back(role);
    }
    const std::string key = text_array(databases);
    const auto cached = logins_.find(key);
    if (cached != logins_.end()) {
        login = cached->second;
        return true;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool conflict = false;
        if (!make_login(databases, roles, login, failure, conflict)) {
            if (conflict) continue;
            return false;
        }
        std::string reason;
        switch (dorvd::check_client_roles(conn_, reason, login.user)) {
        case RoleCheck::safe:
            logins_[key] = login;
            return true;
        case RoleCheck::unsafe:
            log_line(reason + "; no session logs in with it");
            failure = {kStatusNotAuthorized,
                       "not authorized: the server's PostgreSQL roles would reach more than "
                       "the databases opened (see the server's log)."};
            return false;
        case RoleCheck::failed:
            log_line(reason);
            failure = {kStatusError,
                       "Cannot look at the server's PostgreSQL roles (see the server's log)."};
            return false;
        }
    }
    failure = {kStatusError, "The server cannot make a PostgreSQL role (see the server's log)."};
    return false;
}

bool PgAdmin::restore_login(const PgLogin& login) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string error;
    if (!connected(error) || !set_password(login, error)) return false;
    pg_run(conn_, "ALTER ROLE " + pg_identifier(conn_, login.user) + " RESET ALL");
    log_line("set the password of role " + login.user + " again after PostgreSQL refused it");
    return true;
}

void PgAdmin::clear_settings(const std::string& role, const std::string& names) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string error;
    if (!connected(error)) return;
    const std::string r = pg_identifier(conn_, role);
    pg_run(conn_, "ALTER ROLE " + r + " RESET ALL");
    pg_run(conn_,
           "ALTER ROLE " + r + " IN DATABASE " + pg_identifier(conn_, database_) + " RESET ALL");
    log_line("a client stored settings in role " + role + " (" + names +
             "); they were undone for the session and cleared");
}

bool PgAdmin::end_session(int pid) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string error;
    if (!connected(error)) return false;
    const PgResult ended =
        pg_run(conn_, "SELECT pg_catalog.pg_terminate_backend($1::integer)", {std::to_string(pid)});
    if (!ended.ok())
        log_line("cannot end PostgreSQL session " + std::to_string(pid) + ": " + ended.message());
    return ended.flag(0, 0);
}

bool PgAdmin::check_client_roles(std::string& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string reason;
        switch (dorvd::check_client_roles(conn_, reason)) {
        case RoleCheck::safe:
            break;
        case RoleCheck::unsafe:
            error = reason + ", so clients would reach more than the databases they open; take "
                             "that from the role";
            return false;
        case RoleCheck::failed:
            error = reason;
            return false;
        }
    }
    PgLogin none;
    Outcome failure;
    if (!login_for({}, none, failure)) {
        error = "cannot make the login role for clients that opened nothing: " + failure.text;
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const PgResult granted = pg_run(conn_, R"sql(
SELECT pg_catalog.has_table_privilege($1, 'pg_catalog.pg_stat_activity', 'SELECT'),
       coalesce((SELECT bool_or(pg_catalog.has_function_privilege($1, p.oid, 'EXECUTE'))
                 FROM pg_catalog.pg_proc p
                 WHERE p.pronamespace = 'pg_catalog'::regnamespace
                   AND p.proname IN ('pg_stat_get_activity', 'pg_stat_get_backend_activity',
                                     'pg_terminate_backend', 'pg_cancel_backend')), false),
       pg_catalog.has_database_privilege($1, current_database(), 'CREATE'),
       coalesce((SELECT pg_catalog.has_schema_privilege($1, oid, 'CREATE')
                 FROM pg_catalog.pg_namespace WHERE nspname = 'public'), false))sql",
                                    {none.user});
    if (!granted.ok()) {
        error = "cannot look at what clients may do: " + granted.message();
        return false;
    }
    const char* const kWhat[] = {
        "clients can read every session's statement (pg_stat_activity)",
        ("clients can read other sessions' statements or stop them (pg_stat_get_activity, "
         "pg_terminate_backend, pg_cancel_backend)"),
        "clients can create schemas",
        "clients can create objects in schema public",
    };
    for (int column = 0; column < 4; ++column) {
        if (granted.flag(0, column)) {
            error = "PostgreSQL database " + database_ +
                    " is not set up for dorvd: " + kWhat[column] +
                    "; run `dorvd setup-postgresql --pg CONNINFO --admin-role " + role_ +
                    "` again as a PostgreSQL superuser";
            return false;
        }
    }
    return true;
}

} // namespace dorvd
