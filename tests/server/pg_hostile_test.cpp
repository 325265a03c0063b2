// Hostile clients against dorvd in front of PostgreSQL. Each attack runs in a
// session of its own on a fresh server (the sample schemas written afresh)
// and must be refused; afterwards the data are as they were, the attacking
// session's own work is still answered, and a later client is not hurt.
// Each attack prints one line: its name, the status it got and what it reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pg_test_support.h"
#include "result_reading.h"
#include "test_server.h"

namespace {

using dorvd_test::DirectConnection;
using dorvd_test::RawClient;
using dorvd_test::record_fields;
using dorvd_test::TestServer;
using dorvd_test::use_postgresql;
using dorvd_test::value_records;

// secret.salaries as the sample writes it: rows and their sum.
constexpr const char* kSalaries = "3/16480.5";
constexpr const char* kSalariesQuery = "select count(*) || '/' || sum(salary) from secret.salaries";
// Tables, views, sequences and functions in the shared schemas, the schemas
// (sessions' temporary ones left out) and triggers.
constexpr const char* kObjectsQuery =
    "select (select count(*) from pg_class c join pg_namespace n on n.oid = c.relnamespace "
    "where n.nspname in ('sample', 'secret', 'public')) || '/' || (select count(*) from pg_proc "
    "p join pg_namespace n on n.oid = p.pronamespace where n.nspname in ('sample', 'secret', "
    "'public')) || '/' || (select count(*) from pg_namespace where nspname not like "
    "'pg\\_%temp\\_%') || '/' || (select count(*) from pg_trigger where not tgisinternal)";

// Settings a client could store in its role to change what later sessions answer.
constexpr const char* kSettingsQuery =
    "select current_setting('TimeZone') || '/' || current_setting('extra_float_digits') || '/' "
    "|| current_setting('default_transaction_isolation') || '/' || "
    "current_setting('statement_timeout') || '/' || "
    "current_setting('default_transaction_read_only')";

enum class Victim {
    none,
    idle,    // another client of the same databases, waiting between statements
    running, // another client of the same databases, inside a two-second statement
};

struct Attack {
    const char* name;
    const char* open;                 // the attacker's OPEN DATABASE first, or none
    std::vector<std::string> prelude; // run before the attack; their statuses are not looked at
    // {pid}: the victim's PostgreSQL session, {db}: the database, {admin}: dorvd's own role
    std::string statement;
    int expected; // the status the attack must get
    Victim victim = Victim::none;
};

constexpr const char* kOpenSample = "OPEN DATABASE 'sample'";

const Attack kAttacks[] = {
    {"read secret.salaries without opening secret",
     kOpenSample,
     {},
     "select * from secret.salaries",
     23},
    {"read secret.salaries with nothing opened", nullptr, {}, "select * from secret.salaries", 23},
    {"UPDATE secret.salaries", kOpenSample, {}, "update secret.salaries set salary = 1", 23},
    {"DO block updating secret.salaries",
     kOpenSample,
     {},
     "DO $$ BEGIN UPDATE secret.salaries SET salary = 0; END $$",
     23},
    {"DROP SCHEMA secret CASCADE", kOpenSample, {}, "drop schema secret cascade", 23},
    {"DROP TABLE of an opened database", kOpenSample, {}, "drop table customers cascade", 23},
    // A schema the session may not use is passed over in the search path.
    {"SET search_path, then read",
     kOpenSample,
     {"SET search_path = secret, sample"},
     "select * from salaries",
     1},
    {"set_config('search_path'), then read",
     kOpenSample,
     {"select set_config('search_path', 'secret', false)"},
     "select * from salaries",
     1},
    {"view in sample over secret.salaries",
     kOpenSample,
     {},
     "create view sample.peek as select * from secret.salaries",
     23},
    {"temporary view over secret.salaries",
     kOpenSample,
     {},
     "create temp view peek as select * from secret.salaries",
     23},
    {"trigger planted on a shared table",
     kOpenSample,
     {"create function pg_temp.plant() returns trigger language plpgsql as "
      "$$ BEGIN RETURN NEW; END $$"},
     "create trigger planted before insert on orders for each row execute function "
     "pg_temp.plant()",
     23},
    {"CREATE TABLE in a shared schema", kOpenSample, {}, "create table sample.planted (i int)", 23},
    {"CREATE FUNCTION in a shared schema",
     kOpenSample,
     {},
     "create function sample.planted() returns int language sql as 'select 1'",
     23},
    {"CREATE TABLE in public", kOpenSample, {}, "create table public.planted (i int)", 23},
    {"CREATE SCHEMA", kOpenSample, {}, "create schema planted", 23},
    {"CREATE EXTENSION (trusted)", kOpenSample, {}, "create extension pgcrypto", 23},
    {"SET ROLE to secret's role", kOpenSample, {}, "SET ROLE dorvd_db_secret", 23},
    {"set_config('role') to secret's role",
     kOpenSample,
     {},
     "select set_config('role', 'dorvd_db_secret', false)",
     23},
    {"RESET ROLE, then read", kOpenSample, {"RESET ROLE"}, "select * from secret.salaries", 23},
    {"SET ROLE to dorvd's own role", kOpenSample, {}, "SET ROLE {admin}", 23},
    {"SET SESSION AUTHORIZATION postgres",
     kOpenSample,
     {},
     "SET SESSION AUTHORIZATION postgres",
     23},
    {"GRANT secret's role to oneself",
     kOpenSample,
     {},
     "GRANT dorvd_db_secret TO CURRENT_USER",
     23},
    {"pg_stat_activity: another session's statement",
     kOpenSample,
     {},
     "select query from pg_stat_activity where query like '%hostile' || '_marker'",
     23,
     Victim::running},
    {"pg_stat_get_activity: another session's statement",
     kOpenSample,
     {},
     "select query from pg_stat_get_activity(null) where query like '%hostile' || '_marker'",
     23,
     Victim::running},
    {"pg_terminate_backend of another session",
     kOpenSample,
     {},
     "select pg_terminate_backend({pid})",
     23,
     Victim::idle},
    {"pg_cancel_backend of another session",
     kOpenSample,
     {},
     "select pg_cancel_backend({pid})",
     23,
     Victim::running},
    // PostgreSQL lets a role store its own settings; dorvd undoes them for
    // every session, so the later client below must see none of it.
    {"ALTER ROLE CURRENT_USER SET default_transaction_read_only",
     kOpenSample,
     {},
     "ALTER ROLE CURRENT_USER SET default_transaction_read_only = on",
     0},
    {"ALTER ROLE CURRENT_USER SET statement_timeout",
     kOpenSample,
     {},
     "ALTER ROLE CURRENT_USER SET statement_timeout = '1ms'",
     0},
    {"ALTER ROLE CURRENT_USER SET TimeZone",
     kOpenSample,
     {},
     "ALTER ROLE CURRENT_USER SET TimeZone = 'Asia/Kathmandu'",
     0},
    {"ALTER ROLE CURRENT_USER IN DATABASE SET extra_float_digits",
     kOpenSample,
     {},
     "ALTER ROLE CURRENT_USER IN DATABASE {db} SET extra_float_digits = -15",
     0},
    {"ALTER ROLE CURRENT_USER PASSWORD",
     kOpenSample,
     {},
     "ALTER ROLE CURRENT_USER PASSWORD 'hijacked'",
     0},
    {"ALTER ROLE of dorvd's own role",
     kOpenSample,
     {},
     "ALTER ROLE {admin} SET default_transaction_read_only = on",
     23},
    {"ALTER DATABASE CONNECTION LIMIT 0",
     kOpenSample,
     {},
     "ALTER DATABASE {db} CONNECTION LIMIT 0",
     23},
    {"ALTER DATABASE SET default_transaction_read_only",
     kOpenSample,
     {},
     "ALTER DATABASE {db} SET default_transaction_read_only = on",
     23},
    {"OPEN DATABASE 'public'", nullptr, {}, "OPEN DATABASE 'public'", 201},
    {"OPEN DATABASE 'dorvd_admin'", nullptr, {}, "OPEN DATABASE 'dorvd_admin'", 201},
    {"read dorvd's role registry", kOpenSample, {}, "select * from dorvd_admin.login_roles", 23},
    {"COPY to a server file behind nested comments",
     kOpenSample,
     {},
     "/* /* */ */ copy customers to '/tmp/dorv-hostile-copy'",
     23},
    {"pg_read_file of a server file", kOpenSample, {}, "select pg_read_file('/etc/hostname')", 23},
    {"lo_import of a server file", kOpenSample, {}, "select lo_import('/etc/hostname')", 23},
};

std::string filled(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
        text.replace(at, key.size(), value);
    return text;
}

// Wire text with every byte outside ASCII shown as '?', for the printed lines.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    }
    return text;
}

// The first of the statements that does not answer 0, described; empty when all do.
std::string first_failure(RawClient& client, const std::vector<std::string>& statements) {
    for (const std::string& statement : statements) {
        const auto reply = client.exec(statement);
        if (!reply.ok) return "'" + statement + "' got no reply";
        if (reply.status != 0) {
            return "'" + statement + "' answered " + std::to_string(reply.status) + " (" +
                   reply.data + ")";
        }
    }
    return "";
}

// The one value of a query, as its record field.
std::string single_field(RawClient& client, const std::string& query) {
    const auto reply = client.exec(query);
    if (reply.status != 0) return "status " + std::to_string(reply.status);
    int end = 0;
    const auto records = value_records(client, end);
    if (records.size() != 2) return "no single row";
    const auto fields = record_fields(records[1]);
    return fields.size() == 1 ? fields[0] : "not one field";
}

// The status of a reply read block by block; -1 when there was none.
int reply_status(const std::optional<std::vector<dorvd_test::WireBlock>>& blocks) {
    if (!blocks || blocks->empty() || blocks->front().payload.size() < 2) return -1;
    const std::string& payload = blocks->front().payload;
    return static_cast<int16_t>((static_cast<unsigned char>(payload[0]) << 8) |
                                static_cast<unsigned char>(payload[1]));
}

// Waits (five seconds at most) until the statement with the marker runs.
bool wait_until_running(DirectConnection& superuser, const std::string& marker) {
    for (int i = 0; i < 50; ++i) {
        if (superuser.value("select count(*) from pg_stat_activity where state = 'active' and "
                            "query like '%" +
                            marker + "'") == "1") {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Undoes what an attack that got through did to the cluster, so that the
// next attack starts clean.
void clean_up(DirectConnection& superuser, const std::string& admin) {
    const std::string database = superuser.database();
    superuser.try_run("ALTER DATABASE " + database + " CONNECTION LIMIT -1");
    superuser.try_run("ALTER DATABASE " + database + " RESET default_transaction_read_only");
    superuser.try_run("ALTER ROLE " + admin + " RESET ALL");
    superuser.try_run("ALTER ROLE " + admin + " IN DATABASE " + database + " RESET ALL");
    superuser.try_run("DROP SCHEMA IF EXISTS planted CASCADE");
    superuser.try_run("DROP TABLE IF EXISTS public.planted");
    superuser.try_run("DROP EXTENSION IF EXISTS pgcrypto CASCADE");
    superuser.try_run("select pg_terminate_backend(pid) from pg_stat_activity where query like "
                      "'%hostile_marker' and pid <> pg_backend_pid()");
}

TEST(PgHostileClient, EveryAttackIsRefusedAndTheSessionGoesOn) {
    DirectConnection superuser("user=postgres");
    const std::string admin = DirectConnection().user();
    {
        // Secret's role exists once a client has opened it with its password.
        TestServer server([](auto& o) {
            use_postgresql(o);
            o.sample = true;
        });
        RawClient owner = server.connect();
        dorvd_test::run(owner, "OPEN DATABASE 'secret' AS 'geheim'");
    }
    for (const Attack& attack : kAttacks) {
        SCOPED_TRACE(attack.name);
        std::string reached;
        int status = -1;
        {
            TestServer server([](auto& o) {
                use_postgresql(o);
                o.sample = true;
            });
            ASSERT_TRUE(server.started());
            const std::string objects_before = superuser.value(kObjectsQuery);
            const std::string settings_before = superuser.value(kSettingsQuery);

            std::optional<RawClient> victim;
            std::string victim_pid;
            if (attack.victim != Victim::none) {
                victim.emplace(server.port());
                dorvd_test::run(*victim, kOpenSample);
                victim_pid = single_field(*victim, "select pg_backend_pid()").substr(1);
                if (attack.victim == Victim::running) {
                    ASSERT_TRUE(victim->send_block(
                        'S', std::string("E") + '\0' + "select pg_sleep(2) as hostile_marker"));
                    ASSERT_TRUE(wait_until_running(superuser, "hostile_marker"));
                }
            }

            RawClient client = server.connect();
            if (attack.open != nullptr) dorvd_test::run(client, attack.open);
            for (const std::string& statement : attack.prelude)
                client.exec(statement);
            const std::string statement = filled(
                filled(filled(attack.statement, "{pid}", victim_pid), "{db}", superuser.database()),
                "{admin}", admin);
            const auto reply = client.exec(statement);
            EXPECT_TRUE(reply.ok);
            EXPECT_EQ(reply.status, attack.expected) << reply.data;
            status = reply.status;
            if (reply.status == 0) {
                int end = 0;
                const auto records = value_records(client, end);
                if (records.size() > 1) {
                    reached += "read " + std::to_string(records.size() - 1) + " rows (" +
                               printable(record_fields(records[1]).front()) + "...); ";
                }
            }

            // The data and the shared schemas are as they were.
            const std::string salaries = superuser.answer(kSalariesQuery);
            if (salaries != kSalaries) reached += "secret.salaries now " + salaries + "; ";
            const std::string objects = superuser.answer(kObjectsQuery);
            if (objects != objects_before) {
                reached += "objects/functions/schemas/triggers " + objects_before + " -> " +
                           objects + "; ";
            }
            // The other session was neither seen, stopped nor ended.
            if (attack.victim == Victim::running) {
                const auto blocks = victim->read_reply();
                const int victim_status = reply_status(blocks);
                if (victim_status != 0) {
                    reached += "the other session's statement got status " +
                               std::to_string(victim_status) + "; ";
                }
            }
            if (attack.victim == Victim::idle) {
                const std::string failure = first_failure(*victim, {"select 1"});
                if (!failure.empty()) reached += "the other session: " + failure + "; ";
            }
            // The attacking session's own work is still answered.
            const std::string own = first_failure(client, {kOpenSample});
            const std::string own_count = single_field(client, "select count(*) from customers");
            EXPECT_EQ(own, "");
            EXPECT_EQ(own_count, "N6");
            // A later client is not hurt by what the attack stored.
            RawClient later = server.connect();
            const std::string later_failure = first_failure(
                later, {kOpenSample, "select count(*) from customers", "select pg_sleep(0.01)",
                        "create temp table later (i int)", "insert into later values (1)",
                        "update customers set city = city where id = 1"});
            if (!later_failure.empty()) reached += "a later client: " + later_failure + "; ";
            const std::string later_settings = single_field(later, kSettingsQuery);
            if (later_settings != "S" + settings_before) {
                reached += "a later client's settings: " + later_settings + "; ";
            }
            // Nor after it goes back to its session's defaults.
            const std::string reset_failure =
                first_failure(later, {"RESET ALL", "select count(*) from customers"});
            const std::string reset_settings = single_field(later, kSettingsQuery);
            if (!reset_failure.empty() || reset_settings != "S" + settings_before) {
                reached +=
                    "a later client after RESET ALL: " + reset_failure + reset_settings + "; ";
            }
        }
        std::printf("attack | %-55s | status %3d | %s\n", attack.name, status,
                    reached.empty() ? "nothing" : reached.c_str());
        EXPECT_EQ(reached, "");
        clean_up(superuser, admin);
    }
}

// A DO block that catches the cancel would run on after dorvd gave up on
// it: its PostgreSQL session is ended, and the client's next statement runs.
TEST(PgHostileClient, AStatementThatCatchesTheCancelIsEnded) {
    DirectConnection superuser("user=postgres");
    TestServer server([](auto& o) {
        use_postgresql(o);
        o.sample = true;
        o.statement_timeout_s = 1;
    });
    ASSERT_TRUE(server.started());
    RawClient client = server.connect();
    dorvd_test::run(client, kOpenSample);
    const auto started = std::chrono::steady_clock::now();
    const auto reply =
        client.exec("DO $$ BEGIN LOOP BEGIN PERFORM pg_sleep(0.1); EXCEPTION WHEN "
                    "query_canceled THEN NULL; END; END LOOP; END $$ /* do_marker */");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string running;
    for (int i = 0; i < 30; ++i) {
        running = superuser.value("select count(*) from pg_stat_activity where query like "
                                  "'%do_marker */' and pid <> pg_backend_pid()");
        if (running == "0") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("attack | %-55s | status %3d | answered after %.1f s; sessions still running it: "
                "%s\n",
                "DO block catching the cancel, --statement-timeout 1", reply.status, seconds,
                running.c_str());
    EXPECT_EQ(reply.status, 209) << reply.data;
    EXPECT_LT(seconds, 4.0);
    EXPECT_EQ(running, "0");
    EXPECT_EQ(single_field(client, "select count(*) from customers"), "N6");
    superuser.try_run("select pg_terminate_backend(pid) from pg_stat_activity where query like "
                      "'%do_marker */' and pid <> pg_backend_pid()");
}

// A client that keeps a transaction open over its role's stored settings
// makes dorvd's administrative connection wait only so long: a later client
// of the same role still gets its session, and its work is answered.
TEST(PgHostileClient, AnOpenTransactionOnItsRoleDoesNotStopOtherSessions) {
    DirectConnection superuser("user=postgres");
    const std::string admin = DirectConnection().user();
    {
        TestServer server([](auto& o) {
            use_postgresql(o);
            o.sample = true;
        });
        ASSERT_TRUE(server.started());
        RawClient holder = server.connect();
        for (const char* statement : {kOpenSample, "ALTER ROLE CURRENT_USER SET work_mem = '1MB'",
                                      "BEGIN", "ALTER ROLE CURRENT_USER SET work_mem = '2MB'"})
            dorvd_test::run(holder, statement);
        RawClient later = server.connect();
        later.set_wait(std::chrono::seconds(60));
        const auto started = std::chrono::steady_clock::now();
        const std::string failure =
            first_failure(later, {kOpenSample, "select count(*) from customers"});
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        dorvd_test::run(holder, "ROLLBACK");
        std::printf("attack | %-55s | %s after %.1f s\n",
                    "open transaction over the role's stored settings",
                    failure.empty() ? "the next session answered" : failure.c_str(), seconds);
        EXPECT_EQ(failure, "");
        EXPECT_LT(seconds, 30.0);
    }
    clean_up(superuser, admin);
}

// The largest size the temporary files of the cluster's database reach
// while it watches (every 10 ms), read from the cluster's folder
// (DORV_PG_CLUSTER; -1 when that is not set, as for a cluster not made by
// the test run).
class TempFileWatch {
  public:
    TempFileWatch() {
        const char* cluster = std::getenv("DORV_PG_CLUSTER");
        if (cluster == nullptr) return;
        folder_ = std::filesystem::path(cluster) / "data" / "base" / "pgsql_tmp";
        peak_ = 0;
        thread_ = std::thread([this] {
            while (!done_) {
                long long bytes = 0;
                std::error_code ec;
                for (const auto& file : std::filesystem::directory_iterator(folder_, ec)) {
                    bytes += static_cast<long long>(file.file_size(ec));
                }
                peak_ = std::max(peak_.load(), bytes);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~TempFileWatch() { stop(); }
    TempFileWatch(const TempFileWatch&) = delete;
    TempFileWatch& operator=(const TempFileWatch&) = delete;

    long long stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        return peak_;
    }

  private:
    std::filesystem::path folder_;
    std::atomic<long long> peak_{-1};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// temp_file_limit, set by the set-up, bounds a sort that spills; a client
// cannot raise it.
TEST(PgHostileClient, TemporaryFilesAreBounded) {
    TestServer server([](auto& o) {
        use_postgresql(o);
        o.sample = true;
    });
    ASSERT_TRUE(server.started());
    RawClient client = server.connect();
    const std::string limit = single_field(client, "select setting::bigint * 1024 from pg_settings "
                                                   "where name = 'temp_file_limit'");
    const auto raise = client.exec("SET temp_file_limit = -1");
    long long peak = 0;
    dorvd_test::StatusReply reply;
    {
        TempFileWatch watch;
        // About 250 MB of rows, sorted in an order that makes the sort spill.
        reply = client.exec("select i, repeat('x', 1000) from generate_series(1, 250000) i "
                            "order by md5(i::text)");
        // The next statement ends the sort, should it still run.
        dorvd_test::run(client, "select 1");
        peak = watch.stop();
    }
    std::printf("attack | %-55s | status %3d | temp_file_limit %s bytes, SET temp_file_limit "
                "answered %d, temporary files reached %.0f MB\n",
                "sort that spills 250 MB", reply.status, limit.c_str() + 1, raise.status,
                static_cast<double>(peak) / (1024 * 1024));
    EXPECT_EQ(raise.status, 23) << raise.data;
    ASSERT_NE(limit, "N-1024");
    EXPECT_EQ(reply.status, 13) << reply.data;
    EXPECT_LE(peak, std::stoll(limit.substr(1)) + 8 * 1024 * 1024);
    dorvd_test::run(client, kOpenSample);
    EXPECT_EQ(single_field(client, "select count(*) from customers"), "N6");
}

} // namespace
