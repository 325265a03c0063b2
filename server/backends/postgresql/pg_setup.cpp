#include "server/backends/postgresql/pg_setup.h"

#include <cctype>
#include <cstdio>
#include <libpq-fe.h>

#include "server/base/option_word.h"
#include "server/backends/postgresql/pg_connect.h"
#include "server/backends/postgresql/pg_roles.h"

namespace dorvd {
namespace {

constexpr size_t kMaxAdminRoleName = 40; // room for "_login_" and a number behind it
constexpr long long kMinTempFileKb = 1024;
constexpr long long kDefaultTempFileKb = 1024 * 1024; // 1G

struct SetupOptions {
    std::string conninfo;
    std::string admin = "dorvd";
    long long temp_file_kb = kDefaultTempFileKb;
};

// A size with an optional suffix K, M or G, in kilobytes (PostgreSQL's unit
// of temp_file_limit); false when it is no such size.
bool read_kilobytes(const std::string& text, long long& kb) {
    long long bytes = 0;
    if (!read_number(text, true, bytes)) return false;
    kb = bytes / 1024;
    // temp_file_limit is an int of kilobytes.
    return kb <= 2147483647;
}

bool valid_admin_name(const std::string& name) {
    if (name.empty() || name.size() > kMaxAdminRoleName) return false;
    if (std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    for (const char c : name) {
        if (!std::islower(static_cast<unsigned char>(c)) &&
            !std::isdigit(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return true;
}

enum class Parsed { run, help, error };

Parsed parse(const std::vector<std::string>& args, SetupOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        OptionWord word = split_option(args[i]);
        const std::string& option = word.name;
        std::string& value = word.value;
        const bool has_value = word.has_value;
        if (option == "--help" || option == "-h") return Parsed::help;
        if (option != "--pg" && option != "--admin-role" && option != "--temp-file-limit") {
            error = "unknown option '" + args[i] + "'";
            return Parsed::error;
        }
        if (!has_value) {
            if (i + 1 >= args.size()) {
                error = option + " needs a value";
                return Parsed::error;
            }
            value = args[++i];
        }
        if (option == "--pg") {
            options.conninfo = value;
        } else if (option == "--admin-role") {
            if (!valid_admin_name(value)) {
                error = "--admin-role: '" + value + "' is not 1 to " +
                        std::to_string(kMaxAdminRoleName) +
                        " lower-case letters, digits and '_', beginning with no digit";
                return Parsed::error;
            }
            options.admin = value;
        } else if (!read_kilobytes(value, options.temp_file_kb) ||
                   options.temp_file_kb < kMinTempFileKb) {
            error = "--temp-file-limit: '" + value +
                    "' is not a size of at least 1M (suffix K, "
                    "M or G) up to 2047G";
            return Parsed::error;
        }
    }
    return Parsed::run;
}

// The set-up's statements, in one transaction; says what failed.
class Setup {
  public:
    Setup(PGconn* conn, const SetupOptions& options) : conn_(conn), options_(options) {}

    bool run(std::string& report, std::string& error);

  private:
    bool exec(const std::string& sql, std::string& error);
    bool admin_role(std::string& report, std::string& error);
    bool revoke_from_public(std::string& error);
    bool registry(std::string& error);
    bool grant_databases(std::string& report, std::string& error);

    PGconn* conn_;
    const SetupOptions& options_;
    std::string database_;
};

bool Setup::exec(const std::string& sql, std::string& error) {
    const PgResult result = pg_run(conn_, sql);
    if (!result.ok()) error = result.message() + " (in: " + sql.substr(0, 80) + ")";
    return result.ok();
}

// The role dorvd connects as: it logs in, makes the client roles and may
// end and watch their sessions; it is no superuser unless it already was.
bool Setup::admin_role(std::string& report, std::string& error) {
    const std::string a = pg_identifier(conn_, options_.admin);
    const PgResult found = pg_run(
        conn_, "SELECT rolsuper FROM pg_catalog.pg_roles WHERE rolname = $1", {options_.admin});
    if (!found.ok()) {
        error = found.message();
        return false;
    }
    if (found.rows() == 0) {
        if (!exec("CREATE ROLE " + a + " LOGIN CREATEROLE", error)) return false;
        report += "made role " + options_.admin +
                  " (LOGIN CREATEROLE); give it a password if pg_hba.conf asks for one\n";
    } else if (!found.flag(0, 0)) {
        if (!exec("ALTER ROLE " + a + " LOGIN CREATEROLE", error)) return false;
    }
    const std::string d = pg_identifier(conn_, database_);
    return exec("GRANT CONNECT, TEMPORARY, CREATE ON DATABASE " + d + " TO " + a, error) &&
           exec("GRANT pg_signal_backend, pg_read_all_stats TO " + a, error);
}

// Seeing another session's statement or stopping it is PUBLIC's by
// default; only the administrative role keeps it.
bool Setup::revoke_from_public(std::string& error) {
    const std::string a = pg_identifier(conn_, options_.admin);
    const PgResult functions = pg_run(conn_, R"sql(
SELECT p.oid::pg_catalog.regprocedure::text FROM pg_catalog.pg_proc p
WHERE p.pronamespace = 'pg_catalog'::regnamespace
  AND p.proname IN ('pg_stat_get_activity', 'pg_stat_get_backend_activity',
                    'pg_terminate_backend', 'pg_cancel_backend'))sql");
    if (!functions.ok()) {
        error = functions.message();
        return false;
    }
    for (int row = 0; row < functions.rows(); ++row) {
        const std::string function = "pg_catalog." + functions.text(row, 0);
        if (!exec("REVOKE EXECUTE ON FUNCTION " + function + " FROM PUBLIC", error) ||
            !exec("GRANT EXECUTE ON FUNCTION " + function + " TO " + a, error)) {
            return false;
        }
    }
    if (!exec("REVOKE SELECT ON pg_catalog.pg_stat_activity FROM PUBLIC", error) ||
        !exec("GRANT SELECT ON pg_catalog.pg_stat_activity TO " + a, error)) {
        return false;
    }
    const PgResult has_public =
        pg_run(conn_, "SELECT 1 FROM pg_catalog.pg_namespace WHERE nspname = 'public'");
    return has_public.rows() == 0 || exec("REVOKE CREATE ON SCHEMA public FROM PUBLIC", error);
}

// dorvd's registry of client roles, the administrative role's own.
bool Setup::registry(std::string& error) {
    const std::string a = pg_identifier(conn_, options_.admin);
    if (!exec(std::string("CREATE SCHEMA IF NOT EXISTS ") + kRegistrySchema + " AUTHORIZATION " + a,
              error)) {
        return false;
    }
    const PgResult owner =
        pg_run(conn_,
               "SELECT pg_catalog.pg_get_userbyid(nspowner) FROM pg_catalog.pg_namespace WHERE "
               "nspname = $1",
               {kRegistrySchema});
    if (owner.text(0, 0) != options_.admin) {
        error = std::string("schema ") + kRegistrySchema + " belongs to role " + owner.text(0, 0) +
                ": set up for that role (--admin-role " + owner.text(0, 0) +
                "), or drop the schema and its roles first";
        return false;
    }
    return exec(std::string("REVOKE ALL ON SCHEMA ") + kRegistrySchema + " FROM PUBLIC", error) &&
           exec("SET LOCAL ROLE " + a, error) &&
           exec("CREATE TABLE IF NOT EXISTS dorvd_admin.database_roles (schema_name text PRIMARY "
                "KEY, role_name text NOT NULL UNIQUE)",
                error) &&
           exec("CREATE TABLE IF NOT EXISTS dorvd_admin.login_roles (databases text[] PRIMARY "
                "KEY, role_name text NOT NULL UNIQUE, password text NOT NULL)",
                error) &&
           exec("CREATE SEQUENCE IF NOT EXISTS dorvd_admin.role_numbers", error) &&
           exec("RESET ROLE", error);
}

// Database roles made before get their rights again, on every table of
// their schema whoever made it.
bool Setup::grant_databases(std::string& report, std::string& error) {
    const PgResult roles = pg_run(conn_, R"sql(
SELECT d.schema_name, d.role_name FROM dorvd_admin.database_roles d
JOIN pg_catalog.pg_namespace n ON n.nspname = d.schema_name
JOIN pg_catalog.pg_roles r ON r.rolname = d.role_name ORDER BY 1)sql");
    if (!roles.ok()) {
        error = roles.message();
        return false;
    }
    for (int row = 0; row < roles.rows(); ++row) {
        for (const std::string& grant :
             database_grants(conn_, roles.text(row, 0), roles.text(row, 1), options_.admin)) {
            if (!exec(grant, error)) return false;
        }
        report += "gave role " + roles.text(row, 1) + " its rights on database " +
                  roles.text(row, 0) + " again\n";
    }
    return true;
}

bool Setup::run(std::string& report, std::string& error) {
    const PgResult who = pg_run(conn_, "SELECT current_database(), r.rolsuper FROM "
                                       "pg_catalog.pg_roles r WHERE r.rolname = current_user");
    if (!who.ok() || who.rows() != 1) {
        error = "cannot look at PostgreSQL: " + who.message();
        return false;
    }
    database_ = who.text(0, 0);
    if (!who.flag(0, 1)) {
        error = "the set-up needs a PostgreSQL superuser; connect as one with --pg (for example "
                "user=postgres dbname=" +
                database_ + ")";
        return false;
    }
    const std::string limit = std::to_string(options_.temp_file_kb) + "kB";
    if (!exec("BEGIN", error) || !admin_role(report, error) || !revoke_from_public(error) ||
        !exec("ALTER DATABASE " + pg_identifier(conn_, database_) +
                  " SET temp_file_limit = " + pg_literal(conn_, limit),
              error) ||
        !registry(error) || !grant_databases(report, error) || !exec("COMMIT", error)) {
        pg_run(conn_, "ROLLBACK");
        return false;
    }
    report += "database " + database_ + " is set up for dorvd: administrative role " +
              options_.admin + ", temp_file_limit " + limit +
              "; client sessions log in as the roles " + options_.admin +
              "_login_N with "
              "passwords dorvd keeps, which pg_hba.conf must accept\n";
    return true;
}

} // namespace

std::string pg_setup_usage() {
    return "Usage: dorvd setup-postgresql [--pg CONNINFO] [--admin-role NAME] "
           "[--temp-file-limit SIZE]\n"
           "Prepares a PostgreSQL database for dorvd --backend postgresql; run it once as a\n"
           "PostgreSQL superuser (again after adding tables under another role).\n"
           "\n"
           "  --pg CONNINFO            libpq connection string of a superuser to the database\n"
           "                           dorvd will serve (default empty: the PG* variables)\n"
           "  --admin-role NAME        the role dorvd connects as, made when missing\n"
           "                           (default dorvd); client roles are named after it\n"
           "  --temp-file-limit SIZE   temporary file space one session may use, suffix K, M\n"
           "                           or G (default 1G); clients cannot raise it\n"
           "  --help                   show this text\n";
}

int run_pg_setup(const std::vector<std::string>& args) {
    SetupOptions options;
    std::string error;
    switch (parse(args, options, error)) {
    case Parsed::help:
        std::fputs(pg_setup_usage().c_str(), stdout);
        return 0;
    case Parsed::error:
        std::fprintf(stderr, "dorvd setup-postgresql: %s\n\n%s", error.c_str(),
                     pg_setup_usage().c_str());
        return 2;
    case Parsed::run:
        break;
    }
    PGconn* conn = pg_open(options.conninfo, "dorvd setup", nullptr, "", error);
    if (conn == nullptr) {
        std::fprintf(stderr, "dorvd setup-postgresql: cannot reach PostgreSQL: %s\n",
                     error.c_str());
        return 1;
    }
    std::string report;
    const bool done = Setup(conn, options).run(report, error);
    PQfinish(conn);
    if (!done) {
        std::fprintf(stderr, "dorvd setup-postgresql: %s; nothing was changed\n", error.c_str());
        return 1;
    }
    for (size_t start = 0; start < report.size();) {
        const size_t end = report.find('\n', start);
        std::printf("dorvd setup-postgresql: %s\n", report.substr(start, end - start).c_str());
        start = end + 1;
    }
    return 0;
}

} // namespace dorvd
