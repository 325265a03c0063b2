// `dorvd setup-postgresql` against the throw-away cluster (which it has set
// up already), and dorvd's refusal to start on a database that is not set
// up or whose client roles reach more than their databases.
#include <gtest/gtest.h>

#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "pg_test_support.h"
#include "result_reading.h"
#include "test_server.h"

extern char** environ;

namespace {

using dorvd_test::DirectConnection;
using dorvd_test::pg_conninfo;
using dorvd_test::RawClient;
using dorvd_test::TestServer;
using dorvd_test::use_postgresql;

struct Ran {
    int status = -1;
    std::string output; // standard output and standard error together
};

// Runs dorvd with the arguments and waits (thirty seconds at most).
Ran run_dorvd(const std::vector<std::string>& args) {
    Ran ran;
    int fds[2];
    if (pipe(fds) != 0) return ran;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> all = {DORVD_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const bool spawned =
        posix_spawn(&pid, DORVD_BINARY, &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned) {
        pollfd watch{fds[0], POLLIN, 0};
        char buffer[4096];
        while (poll(&watch, 1, 30000) > 0) {
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            ran.output.append(buffer, static_cast<size_t>(n));
        }
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) ran.status = WEXITSTATUS(status);
    }
    close(fds[0]);
    return ran;
}

std::string superuser_conninfo() {
    return pg_conninfo() + " user=postgres";
}

// The cluster's temp_file_limit as the set-up command takes it.
std::string current_temp_file_limit(DirectConnection& superuser) {
    return superuser.value("select setting from pg_settings where name = 'temp_file_limit'") + "K";
}

TEST(PgSetup, BadArgumentsAreRefused) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--admin-role", "Dorvd"}, "--admin-role: 'Dorvd' is not 1 to 40 lower-case letters"},
        {{"--admin-role", "a_name_of_more_than_forty_characters_in_all"},
         "is not 1 to 40 lower-case letters"},
        {{"--temp-file-limit", "512K"}, "--temp-file-limit: '512K' is not a size of at least 1M"},
        {{"--temp-file-limit", "3000G"}, "--temp-file-limit: '3000G' is not a size"},
        {{"--temp-file-limit", "1X"}, "--temp-file-limit: '1X' is not a size"},
        {{"--pg"}, "--pg needs a value"},
        {{"--listen", "0.0.0.0"}, "unknown option '--listen'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"setup-postgresql"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args.front());
        const Ran ran = run_dorvd(args);
        EXPECT_EQ(ran.status, 2);
        EXPECT_NE(ran.output.find(c.message), std::string::npos) << ran.output;
        EXPECT_NE(ran.output.find("Usage: dorvd setup-postgresql"), std::string::npos);
    }
}

TEST(PgSetup, NeedsASuperuser) {
    const Ran ran = run_dorvd({"setup-postgresql", "--pg", pg_conninfo()});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.output.find("the set-up needs a PostgreSQL superuser"), std::string::npos)
        << ran.output;
}

// Run again, the set-up keeps what dorvd made and gives a database's role
// its rights on a table an administrator made under another role.
TEST(PgSetup, RunsAgainAndSharesTablesMadeByOthers) {
    DirectConnection superuser("user=postgres");
    TestServer server([](auto& o) {
        use_postgresql(o);
        o.sample = true;
    });
    ASSERT_TRUE(server.started());
    RawClient client = server.connect();
    dorvd_test::run(client, "OPEN DATABASE 'sample'");
    superuser.run("CREATE TABLE sample.made_by_postgres AS SELECT 1 AS n");
    EXPECT_EQ(client.exec("select n from made_by_postgres").status, 23);

    const Ran ran = run_dorvd({"setup-postgresql", "--pg", superuser_conninfo(), "--admin-role",
                               "dorvd", "--temp-file-limit", current_temp_file_limit(superuser)});
    EXPECT_EQ(ran.status, 0) << ran.output;
    EXPECT_NE(ran.output.find("dorvd setup-postgresql: gave role dorvd_db_sample its rights on "
                              "database sample again"),
              std::string::npos)
        << ran.output;
    EXPECT_NE(ran.output.find("is set up for dorvd: administrative role dorvd"), std::string::npos);
    EXPECT_EQ(client.exec("select n from made_by_postgres").status, 0);
    superuser.run("DROP TABLE sample.made_by_postgres");
}

// A database without the set-up, or whose set-up was undone, or whose client
// roles reach more than their databases: dorvd says why and does not start.
TEST(PgStart, IsRefusedWhereClientsWouldReachMore) {
    DirectConnection superuser("user=postgres");
    const std::string database = superuser.database();
    {
        // The roles exist once clients have opened something.
        TestServer server([](auto& o) {
            use_postgresql(o);
            o.sample = true;
        });
        ASSERT_TRUE(server.started());
        RawClient client = server.connect();
        dorvd_test::run(client, "OPEN DATABASE 'sample'");
    }
    const std::string nothing_open =
        superuser.value("select role_name from dorvd_admin.login_roles where databases = '{}'");
    ASSERT_FALSE(nothing_open.empty());
    struct Case {
        std::string change;
        std::string undo;
        std::string message;
    };
    const std::string sample_role = "dorvd_db_sample";
    const auto grant = [&sample_role](const std::string& role) {
        return Case{"GRANT " + role + " TO " + sample_role,
                    "REVOKE " + role + " FROM " + sample_role,
                    "the PostgreSQL role " + sample_role +
                        ", which clients log in as or can SET ROLE to, is a member of " + role};
    };
    const std::string client_role = ", which clients log in as or can SET ROLE to, ";
    const Case cases[] = {
        {"ALTER ROLE " + sample_role + " SUPERUSER", "ALTER ROLE " + sample_role + " NOSUPERUSER",
         "the PostgreSQL role " + sample_role + client_role + "is a superuser"},
        {"ALTER ROLE " + nothing_open + " SUPERUSER", "ALTER ROLE " + nothing_open + " NOSUPERUSER",
         "the PostgreSQL role " + nothing_open + client_role + "is a superuser"},
        {"ALTER ROLE " + sample_role + " BYPASSRLS", "ALTER ROLE " + sample_role + " NOBYPASSRLS",
         "the PostgreSQL role " + sample_role + client_role + "bypasses row security"},
        {"ALTER ROLE " + sample_role + " CREATEROLE", "ALTER ROLE " + sample_role + " NOCREATEROLE",
         "the PostgreSQL role " + sample_role + client_role + "can create roles"},
        grant("pg_read_server_files"),
        grant("pg_write_server_files"),
        grant("pg_execute_server_program"),
        grant("pg_read_all_data"),
        grant("pg_write_all_data"),
        {"GRANT pg_monitor TO " + sample_role, "REVOKE pg_monitor FROM " + sample_role,
         "the PostgreSQL role " + sample_role + client_role + "is a member of pg_read_all_stats"},
        grant("dorvd"),
        {"GRANT SELECT ON pg_catalog.pg_stat_activity TO PUBLIC",
         "REVOKE SELECT ON pg_catalog.pg_stat_activity FROM PUBLIC",
         "clients can read every session's statement (pg_stat_activity)"},
        {"GRANT EXECUTE ON FUNCTION pg_catalog.pg_terminate_backend(integer, bigint) TO PUBLIC",
         "REVOKE EXECUTE ON FUNCTION pg_catalog.pg_terminate_backend(integer, bigint) FROM PUBLIC",
         "clients can read other sessions' statements or stop them"},
        {"GRANT CREATE ON DATABASE " + database + " TO PUBLIC",
         "REVOKE CREATE ON DATABASE " + database + " FROM PUBLIC", "clients can create schemas"},
        {"GRANT CREATE ON SCHEMA public TO PUBLIC", "REVOKE CREATE ON SCHEMA public FROM PUBLIC",
         "clients can create objects in schema public"},
        {"ALTER SCHEMA dorvd_admin RENAME TO dorvd_admin_gone",
         "ALTER SCHEMA dorvd_admin_gone RENAME TO dorvd_admin",
         "PostgreSQL database " + database +
             " is not set up for dorvd: run `dorvd "
             "setup-postgresql --pg CONNINFO --admin-role dorvd`"},
        {"ALTER ROLE dorvd NOCREATEROLE", "ALTER ROLE dorvd CREATEROLE",
         "the PostgreSQL role dorvd cannot create roles"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        superuser.run(c.change);
        dorvd_test::TempFolder folder;
        dorvd::ServerOptions options;
        options.port = 0;
        options.data_dir = folder.path();
        use_postgresql(options);
        dorvd::Server server(options);
        std::string error;
        EXPECT_FALSE(server.start(error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        superuser.run(c.undo);
    }
    // Undone, it starts again.
    TestServer server(use_postgresql);
    EXPECT_TRUE(server.started());
}

} // namespace
