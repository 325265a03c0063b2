// dorvd's administrative connection to PostgreSQL: one per server, as the
// role the connection string names, and never carrying a client's text. It
// finds the databases (schemas), makes the roles client sessions log in as
// when first needed (pg_roles.h), puts back a role a client tampered with,
// and ends a session that ignores a cancel. Safe to call from any thread.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/backends/backend.h"
#include "server/backends/postgresql/pg_connect.h"

namespace dorvd {

class PgAdmin {
  public:
    // Connects and checks that `dorvd setup-postgresql` was run for this
    // role; null with error set (saying what to do) otherwise.
    static std::shared_ptr<PgAdmin> open(const std::string& conninfo, std::string& error);
    ~PgAdmin();
    PgAdmin(const PgAdmin&) = delete;
    PgAdmin& operator=(const PgAdmin&) = delete;

    // The server's version number (PQserverVersion), 0 when unknown.
    int server_version() const { return server_version_; }
    const std::string& role() const { return role_; }

    // Runs statements of the server's own (the sample schemas).
    bool run_script(const std::string& sql, std::string& error);

    enum class Lookup { found, missing, failed };
    // Whether a schema of that name exists.
    Lookup find_database(const std::string& name);

    // The login role of exactly these databases (in any order), made with
    // the database roles on first use; a database whose schema was made
    // again gets its rights again. False with failure set (status 210 when
    // PostgreSQL cannot be reached).
    bool login_for(const std::vector<std::string>& databases, PgLogin& login, Outcome& failure);
    // Sets the login role's password again and clears the settings stored
    // in it, after PostgreSQL refused the login (a client may have changed
    // its role's password).
    bool restore_login(const PgLogin& login);
    // Clears the settings a client stored in its role (ALTER ROLE ... SET);
    // names lists them for the log.
    void clear_settings(const std::string& role, const std::string& names);
    // Ends a session that did not stop when cancelled; true when it is gone.
    bool end_session(int pid);

    // Options every client session starts with (libpq's "options"): the
    // date and byte formats the server reads, and the time-outs and
    // read-only default as this connection has them, so that nothing a
    // client stored in its role changes them.
    const std::string& session_options() const { return session_options_; }
    // The value of a setting clients may change, as this connection has it
    // (from the configuration, not from a client's role); false when it is
    // not one of those.
    bool baseline(const std::string& name, std::string& value) const;

    // At start: the login role of "nothing opened yet" exists, what the
    // set-up revoked from PUBLIC is not back, and no client role can reach
    // more than its databases. False with error saying why dorvd does not start.
    bool check_client_roles(std::string& error);

  private:
    PgAdmin() = default;
    bool connected(std::string& error);
    bool read_baseline(std::string& error);
    bool in_transaction(const std::vector<std::string>& statements, std::string& error);
    bool database_role(const std::string& schema, std::string& role, Outcome& failure);
    bool make_database_role(const std::string& schema, const std::string& registered,
                            bool role_exists, std::string& role, Outcome& failure, bool& conflict);
    bool make_login(const std::vector<std::string>& databases,
                    const std::vector<std::string>& roles, PgLogin& login, Outcome& failure,
                    bool& conflict);
    bool plan_new_login(const std::string& key, PgLogin& login,
                        std::vector<std::string>& statements, Outcome& failure);
    bool plan_login_role(const PgLogin& login, std::vector<std::string>& statements,
                         Outcome& failure);
    bool write_login(const PgLogin& login, const std::vector<std::string>& statements,
                     Outcome& failure, bool& conflict);
    bool set_password(const PgLogin& login, std::string& error);
    std::string free_role_name(const char* kind);
    static Outcome unreachable(const std::string& error);

    std::mutex mutex_;
    std::string conninfo_;
    PGconn* conn_ = nullptr;
    std::string role_;     // the administrative role
    std::string database_; // the database dorvd serves
    int server_version_ = 0;
    std::map<std::string, std::string> baseline_;
    std::string session_options_;
    std::map<std::string, PgLogin> logins_; // by the set of databases (text_array)
};

} // namespace dorvd
