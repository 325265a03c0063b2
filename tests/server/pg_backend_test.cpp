// dorvd in front of a real PostgreSQL: the cluster's connection string comes
// from DORV_TEST_PG (scripts/lib/pg_cluster.sh sets it). Without it the
// program says so and exits with 77, which CTest counts as skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <libpq-fe.h>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "pg_test_support.h"
#include "result_reading.h"
#include "test_server.h"

namespace {

using dorvd_test::DirectConnection;
using dorvd_test::pg_conninfo;
using dorvd_test::RawClient;
using dorvd_test::record_fields;
using dorvd_test::run;
using dorvd_test::TestServer;
using dorvd_test::use_postgresql;
using dorvd_test::value_records;

using dorvd_test::kEndOfData;

// The header line and every row line of the pending result.
std::vector<std::string> lines(RawClient& client, int& end_status) {
    std::vector<std::string> out;
    const auto header = client.statement('H', std::string(1, '\0'));
    end_status = header.status;
    if (header.status != 0) return out;
    out.push_back(header.data);
    for (;;) {
        const auto row = client.statement('R', std::string(1, '\0'));
        end_status = row.status;
        if (!row.ok || row.status != 0) break;
        out.push_back(row.data);
    }
    return out;
}

struct Read {
    int status = 0;
    std::vector<std::string> records;
    std::vector<std::string> lines;
};

Read read_both(RawClient& client, const std::string& open, const std::string& query) {
    Read read;
    run(client, open);
    auto reply = client.exec(query);
    read.status = reply.status;
    if (reply.status != 0) return read;
    int end = 0;
    read.records = value_records(client, end);
    EXPECT_EQ(end, kEndOfData) << query;
    client.exec(query);
    read.lines = lines(client, end);
    EXPECT_EQ(end, kEndOfData) << query;
    return read;
}

// The statements of the README, the demo script and docs/, run through both
// backends: the same rows, values, types and line layout.
TEST(PgBackend, DemoQueriesReadTheSameThroughBothBackends) {
    TestServer sqlite;
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.sample = true;
    });
    ASSERT_TRUE(sqlite.started() && pg.started());
    struct Case {
        const char* open;
        const char* query;
    };
    const Case cases[] = {
        {"OPEN DATABASE 'sample'", "select id, name, city from customers order by id"},
        {"OPEN DATABASE 'sample'", "select * from products order by id"},
        {"OPEN DATABASE 'sample'",
         "select id, name, city, country, customer_since from customers order by id"},
        {"OPEN DATABASE 'sample'",
         "select c.name, p.name as product, o.quantity, o.amount from orders o join customers c "
         "on c.id = o.customer_id join products p on p.id = o.product_id order by o.id"},
        {"OPEN DATABASE 'sample'", "select * from orders order by id"},
        {"OPEN DATABASE 'sample'", "select * from orders where id <= 2"},
        {"OPEN DATABASE 'sample'", "select id, name from customers order by id"},
        {"OPEN DATABASE 'sample'", "select name, price from products order by id"},
        {"OPEN DATABASE 'sample'", "SELECT id, name, price FROM products ORDER BY id"},
        {"OPEN DATABASE 'sample'", "select id, name, city from customers order by name"},
        {"OPEN DATABASE 'sample'", "select count(*) as customers from customers"},
        {"OPEN DATABASE 'secret' AS 'geheim'", "select * from salaries"},
        {"OPEN DATABASE 'sample', 'secret' AS 'geheim'",
         "select employee, salary, paid_on from secret.salaries order by salary desc"},
        {"OPEN DATABASE 'sample', 'secret' AS 'geheim'",
         "select count(*) as customers, (select count(*) from secret.salaries) as salaries from "
         "customers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        RawClient on_sqlite = sqlite.connect();
        RawClient on_pg = pg.connect();
        const Read expected = read_both(on_sqlite, c.open, c.query);
        const Read got = read_both(on_pg, c.open, c.query);
        ASSERT_EQ(expected.status, 0);
        EXPECT_EQ(got.status, 0);
        EXPECT_GT(expected.records.size(), 1u);
        EXPECT_EQ(got.records, expected.records);
        EXPECT_EQ(got.lines, expected.lines);
    }
}

TEST(PgBackend, VersionNamesPostgreSql) {
    TestServer pg(use_postgresql);
    ASSERT_TRUE(pg.started());
    RawClient client = pg.connect();
    const auto reply = client.statement('A');
    EXPECT_EQ(reply.status, 0);
    EXPECT_TRUE(std::regex_match(reply.data, std::regex(R"(dorvd \S+ \(PostgreSQL \d+\.\d+\))")))
        << reply.data;
}

// Each PostgreSQL type as its value record field: type letter and text.
TEST(PgBackend, TypesBecomeTheFieldsOfTheSqliteBackend) {
    TestServer pg(use_postgresql);
    ASSERT_TRUE(pg.started());
    RawClient client = pg.connect();
    struct Case {
        const char* expression;
        const char* field;
    };
    const Case cases[] = {
        {"7::int2", "N7"},
        {"-42::int4", "N-42"},
        {"9007199254740993::int8", "N9007199254740993"},
        {"54.0::numeric", "N54.0"},
        {"2.5::float4", "N2.5"},
        {"6.9::float8", "N6.9"},
        {"26::oid", "N26"},
        {"'NaN'::float8", "SNaN"},
        {"date '1994-03-15'", "D19940315000000"},
        {"timestamp '1996-03-01 12:00:00.25'", "T19960301120000"},
        {"timestamptz '1996-05-17 09:30:15+00'", "T19960517093015"},
        {"time '08:05:03'", "T19700101080503"},
        {"'\\x00ff41'::bytea", "S00FF41"},
        {"null::int", "S"},
        {"null::date", "S"},
        {"true", "St"},
        {"'plain text'::text", "Splain text"},
        {"interval '1 day'", "S1 day"},
    };
    run(client, "SET TimeZone = 'UTC'");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        run(client, std::string("select ") + c.expression + " as v");
        int end = 0;
        const auto records = value_records(client, end);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(record_fields(records[1]), std::vector<std::string>{c.field});
        EXPECT_EQ(end, kEndOfData);
    }
}

class PgOpenDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        admin.run("DROP SCHEMA IF EXISTS alpha CASCADE; DROP SCHEMA IF EXISTS beta CASCADE;"
                  "CREATE SCHEMA alpha; CREATE TABLE alpha.t(v text); "
                  "INSERT INTO alpha.t VALUES ('alpha'); CREATE SCHEMA beta; "
                  "CREATE TABLE beta.t(v text); INSERT INTO beta.t VALUES ('beta')");
        std::FILE* file = std::fopen((server.data_dir() / "passwords").c_str(), "a");
        ASSERT_NE(file, nullptr);
        std::fputs("beta:b-pass\n", file);
        std::fclose(file);
    }
    std::string one_value(RawClient& client, const std::string& query) {
        const auto reply = client.exec(query);
        if (reply.status != 0) return "status " + std::to_string(reply.status);
        int end = 0;
        const auto records = value_records(client, end);
        return records.size() == 2 ? records[1] : "no single row";
    }

    DirectConnection admin;
    TestServer server{use_postgresql};
};

TEST_F(PgOpenDatabase, FirstSchemaComesFirstAndLaterOnesByName) {
    RawClient client = server.connect();
    run(client, "OPEN DATABASE 'beta' AS 'b-pass', alpha");
    EXPECT_EQ(one_value(client, "select v from t"), std::string("Sbeta") + '\0');
    EXPECT_EQ(one_value(client, "select v from alpha.t"), std::string("Salpha") + '\0');
    // Clients make tables in their temporary schema only: not in a database
    // they share with others.
    const auto refused = client.exec("create table made_here(x int)");
    EXPECT_EQ(refused.status, 23);
    EXPECT_EQ(refused.data, "permission denied for schema beta");
    run(client, "create temp table made_here(x int)");
    EXPECT_EQ(admin.value("select count(*) from pg_tables where tablename = 'made_here' and "
                          "schemaname like 'pg_temp%'"),
              "1");
    const auto explained = client.explain();
    EXPECT_EQ(explained.status, 0);
    // Opening another later keeps the first in front.
    RawClient second = server.connect();
    run(second, "OPEN DATABASE 'alpha'");
    run(second, "OPEN DATABASE 'beta' AS 'b-pass'");
    EXPECT_EQ(one_value(second, "select v from t"), std::string("Salpha") + '\0');
    EXPECT_EQ(one_value(second, "select v from beta.t"), std::string("Sbeta") + '\0');
}

TEST_F(PgOpenDatabase, FailuresOpenNothing) {
    struct Case {
        const char* statement;
        int status;
        const char* text;
    };
    const Case cases[] = {
        {"OPEN DATABASE 'beta' AS 'wrong'", 202, "Wrong password for database 'beta'."},
        {"OPEN DATABASE 'beta'", 202, "Wrong password for database 'beta'."},
        {"OPEN DATABASE 'nosuch'", 201, "Unknown database 'nosuch'."},
        {"OPEN DATABASE 'alpha', 'nosuch'", 201, "Unknown database 'nosuch'."},
        {"OPEN DATABASE 'alpha', 'beta' AS 'wrong'", 202, "Wrong password for database 'beta'."},
        {"OPEN DATABASE 'pg_catalog'", 201, "Unknown database 'pg_catalog'."},
        {"OPEN DATABASE 'alpha' 'x'", 203,
         "OPEN DATABASE: unexpected text after database list (a password needs AS before it). "
         "Write OPEN DATABASE 'name' [AS 'password'], ..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        RawClient client = server.connect();
        const auto reply = client.exec(c.statement);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.data, c.text);
        // Nothing was opened: t is in no schema of the session.
        EXPECT_EQ(one_value(client, "select v from t"), "status 1");
        EXPECT_EQ(client.explain().data, "relation \"t\" does not exist");
    }
}

// Opening a further database opens a new session as the role of the wider
// set: the client's settings go on, its temporary tables do not. A failed
// OPEN, or one that adds nothing, keeps the session as it was; inside a
// transaction a further database is refused.
TEST_F(PgOpenDatabase, OpeningMoreStartsANewSessionAndAFailedOpenKeepsIt) {
    RawClient client = server.connect();
    const auto session = [&client, this] { return one_value(client, "select pg_backend_pid()"); };
    run(client, "create temp table scratch(n int)");
    run(client, "insert into scratch values (1)");
    run(client, "SET TimeZone = 'Pacific/Chatham'");
    const std::string before_open = session();
    struct Kept {
        const char* statement;
        int status;
    };
    const Kept kept[] = {
        {"OPEN DATABASE 'beta' AS 'wrong'", 202},
        {"OPEN DATABASE 'alpha', 'nosuch'", 201},
        {"OPEN DATABASE 'public'", 201},
        {"OPEN DATABASE 'alpha' 'x'", 203},
    };
    for (const Kept& k : kept) {
        SCOPED_TRACE(k.statement);
        EXPECT_EQ(client.exec(k.statement).status, k.status);
        EXPECT_EQ(session(), before_open);
        EXPECT_EQ(one_value(client, "select count(*) from scratch"), std::string("N1") + '\0');
    }

    run(client, "OPEN DATABASE 'alpha'");
    EXPECT_NE(session(), before_open);
    EXPECT_EQ(one_value(client, "select count(*) from scratch"), "status 1");
    EXPECT_EQ(one_value(client, "select current_setting('TimeZone')"),
              std::string("SPacific/Chatham") + '\0');
    EXPECT_EQ(one_value(client, "select v from t"), std::string("Salpha") + '\0');

    // Opening what is open already keeps the session.
    run(client, "create temp table scratch(n int)");
    const std::string after_open = session();
    run(client, "OPEN DATABASE 'alpha'");
    EXPECT_EQ(session(), after_open);
    run(client, "select count(*) from scratch");

    run(client, "BEGIN");
    run(client, "insert into t values ('in the transaction')");
    const auto inside = client.exec("OPEN DATABASE 'beta' AS 'b-pass'");
    EXPECT_EQ(inside.status, 1);
    EXPECT_EQ(inside.data, "A further database cannot be opened inside a transaction: end it "
                           "with COMMIT or ROLLBACK first.");
    run(client, "COMMIT");
    EXPECT_EQ(admin.value("select count(*) from alpha.t"), "2");

    run(client, "OPEN DATABASE 'beta' AS 'b-pass'");
    EXPECT_EQ(one_value(client, "select v from beta.t"), std::string("Sbeta") + '\0');
    // Writing into tables of the opened databases is the client's to do.
    run(client, "update beta.t set v = 'changed'");
    run(client, "delete from t where v = 'in the transaction'");
    EXPECT_EQ(admin.value("select string_agg(v, ',') from (select v from alpha.t union all "
                          "select v from beta.t) s"),
              "alpha,changed");
}

// A role name holds 63 bytes: a database whose role would be longer gets a
// numbered one, and it holds that database only.
TEST_F(PgOpenDatabase, ALongNameGetsANumberedRole) {
    const std::string name(60, 'l');
    admin.run("DROP SCHEMA IF EXISTS " + name + " CASCADE; CREATE SCHEMA " + name +
              "; CREATE TABLE " + name + ".t(v text); INSERT INTO " + name + ".t VALUES ('long')");
    RawClient client = server.connect();
    run(client, "OPEN DATABASE '" + name + "'");
    EXPECT_EQ(one_value(client, "select v from t"), std::string("Slong") + '\0');
    EXPECT_EQ(one_value(client, "select v from alpha.t"), "status 23");
    const std::string role = admin.value("select role_name from dorvd_admin.database_roles where "
                                         "schema_name = '" +
                                         name + "'");
    EXPECT_EQ(role.rfind("dorvd_dbn_", 0), 0u) << role;
    admin.run("DROP SCHEMA " + name + " CASCADE");
}

// Failures answer a status and PostgreSQL's message; the next statement of
// the connection runs, inside a transaction of the client's as well.
TEST(PgBackend, FailuresAnswerAStatusAndLeaveTheSessionUsable) {
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.sample = true;
    });
    ASSERT_TRUE(pg.started());
    struct Case {
        const char* statement;
        int status;
        const char* explanation;
    };
    const Case cases[] = {
        {"selec 1", 1, "syntax error at or near \"selec\""},
        {"select * from nosuch", 1, "relation \"nosuch\" does not exist"},
        {"select nosuch from customers", 1, "column \"nosuch\" does not exist"},
        {"insert into customers (id, name) values (1, 'again')", 19,
         "duplicate key value violates unique constraint \"customers_pkey\""},
        {"insert into orders (id, customer_id, product_id, quantity, amount, ordered_at) values "
         "(99, 99, 1, 1, 1, now())",
         19,
         "insert or update on table \"orders\" violates foreign key constraint "
         "\"orders_customer_id_fkey\""},
        {"select 1 / 0", 20, "division by zero"},
        {"select 'x'::int", 20, "invalid input syntax for type integer: \"x\""},
        {"select * from pg_catalog.pg_authid", 23, "permission denied for table pg_authid"},
        {"COPY customers TO '/tmp/dorvd-copy'", 23,
         "not authorized: COPY is not for clients: it reaches the database server's files and "
         "programs. Use SELECT and INSERT."},
        {"/* hidden */ copy customers from stdin", 23,
         "not authorized: COPY is not for clients: it reaches the database server's files and "
         "programs. Use SELECT and INSERT."},
        {"select 1; select 2", 205,
         "Only one statement per request: split the text at ';' before sending it."},
    };
    RawClient client = pg.connect();
    run(client, "OPEN DATABASE 'sample'");
    for (const bool in_transaction : {false, true}) {
        SCOPED_TRACE(in_transaction ? "in a transaction" : "autocommit");
        if (in_transaction) run(client, "BEGIN");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.statement);
            const auto reply = client.exec(c.statement);
            EXPECT_EQ(reply.status, c.status);
            EXPECT_EQ(reply.data, c.explanation);
            EXPECT_EQ(client.explain().data, c.explanation);
            const auto next = client.exec("select count(*) from customers");
            EXPECT_EQ(next.status, 0) << next.data;
        }
        if (in_transaction) run(client, "COMMIT");
    }
}

TEST(PgBackend, AFailureInsideTheClientsTransactionKeepsItsOtherWork) {
    TestServer pg(use_postgresql);
    ASSERT_TRUE(pg.started());
    RawClient client = pg.connect();
    run(client, "create temp table kept(n int primary key)");
    run(client, "BEGIN");
    run(client, "insert into kept values (1)");
    EXPECT_EQ(client.exec("insert into kept values (1)").status, 19);
    run(client, "insert into kept values (2)");
    // A failing transaction statement of the client's own rolls back the whole transaction.
    const auto release = client.exec("ROLLBACK TO SAVEPOINT nosuch");
    EXPECT_EQ(release.status, 1);
    EXPECT_EQ(release.data, "savepoint \"nosuch\" does not exist The transaction was rolled back.");
    run(client, "BEGIN");
    run(client, "insert into kept values (3)");
    EXPECT_EQ(client.exec("select 1 / 0").status, 20);
    run(client, "insert into kept values (4)");
    // A long result left half read is stopped without ending the transaction
    // (in the select list the series streams; in FROM it would be written to
    // temporary files first).
    run(client, "select generate_series(1, 10000000) as i");
    EXPECT_EQ(client.statement('F').status, 0);
    run(client, "insert into kept values (5)");
    run(client, "COMMIT");
    run(client, "select string_agg(n::text, ',' order by n) from kept");
    int end = 0;
    const auto records = value_records(client, end);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(record_fields(records[1]), std::vector<std::string>{"S3,4,5"});
}

TEST(PgBackend, StatementTimeoutStopsTheStatement) {
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.statement_timeout_s = 1;
    });
    ASSERT_TRUE(pg.started());
    RawClient client = pg.connect();
    const auto started = std::chrono::steady_clock::now();
    const auto reply = client.exec("select pg_sleep(30)");
    EXPECT_EQ(reply.status, 209);
    EXPECT_EQ(reply.data,
              "The statement ran longer than this server allows (1 s) and was stopped.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    run(client, "select 1");
}

TEST(PgBackend, AClientThatGoesStopsItsStatement) {
    TestServer pg(use_postgresql);
    ASSERT_TRUE(pg.started());
    DirectConnection admin;
    // The statement's sessions in PostgreSQL that are running it, waited for
    // until there are as many as wanted (five seconds at most).
    const auto running_becomes = [&admin](const std::string& wanted) {
        std::string count;
        for (int i = 0; i < 50; ++i) {
            count = admin.value("select count(*) from pg_stat_activity where query like "
                                "'%gone_client' and state = 'active' and pid <> pg_backend_pid()");
            if (count == wanted) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return count;
    };
    {
        RawClient client = pg.connect();
        const std::string statement = "select pg_sleep(60) as gone_client";
        ASSERT_TRUE(client.send_block('S', std::string("E") + '\0' + statement));
        ASSERT_EQ(running_becomes("1"), "1");
    }
    EXPECT_EQ(running_becomes("0"), "0");
}

// A session PostgreSQL ends answers 210 once; the next statement reconnects
// with the databases the client had opened.
TEST(PgBackend, ALostSessionIsAnsweredAndOpenedAgain) {
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.sample = true;
    });
    ASSERT_TRUE(pg.started());
    RawClient client = pg.connect();
    run(client, "OPEN DATABASE 'sample'");
    DirectConnection admin;
    admin.value("select count(pg_terminate_backend(pid)) from pg_stat_activity where "
                "application_name = 'dorvd' and pid <> pg_backend_pid()");
    const auto lost = client.exec("select count(*) from customers");
    EXPECT_EQ(lost.status, 210);
    const auto again = client.exec("select count(*) from customers");
    EXPECT_EQ(again.status, 0) << again.data;
}

// PostgreSQL refusing the session (here: the database's connection limit) is
// answered 210 on each statement until it lets the session in.
TEST(PgBackend, ASessionPostgreSqlRefusesIsAnsweredUntilItConnects) {
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.sample = true;
    });
    ASSERT_TRUE(pg.started());
    struct Limit {
        DirectConnection superuser{"user=postgres"};
        Limit() { superuser.run("ALTER DATABASE " + superuser.database() + " CONNECTION LIMIT 0"); }
        ~Limit() {
            superuser.run("ALTER DATABASE " + superuser.database() + " CONNECTION LIMIT -1");
        }
    };
    auto limit = std::make_unique<Limit>();
    RawClient client = pg.connect();
    for (int i = 0; i < 2; ++i) {
        const auto refused = client.exec("OPEN DATABASE 'sample'");
        EXPECT_EQ(refused.status, 210);
        EXPECT_EQ(refused.data,
                  "The server cannot reach its PostgreSQL database; try again later.");
    }
    limit.reset();
    run(client, "OPEN DATABASE 'sample'");
    run(client, "select count(*) from customers");
}

TEST(PgBackend, AnUnreachablePostgreSqlStopsTheStart) {
    dorvd_test::TempFolder folder;
    dorvd::ServerOptions options;
    options.port = 0;
    options.data_dir = folder.path();
    options.backend = dorvd::BackendKind::postgresql;
    options.pg_conninfo = "host=" + folder.path().string() + " dbname=nosuch";
    dorvd::Server server(options);
    std::string error;
    EXPECT_FALSE(server.start(error));
    EXPECT_EQ(error.rfind("cannot reach PostgreSQL: connection to server on socket", 0), 0u)
        << error;
}

// A value-record read of a result larger than --max-result-bytes streams
// every row once, in order; the line layout of the same result is refused.
TEST(PgBackend, ValueRecordsStreamAResultLargerThanTheBound) {
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.max_result_bytes = 1024 * 1024;
    });
    ASSERT_TRUE(pg.started());
    RawClient client = pg.connect();
    constexpr int kRows = 200000; // about 7 MB of records
    const std::string query = "select i, 'row ' || i || ' of many' as s from generate_series(1, " +
                              std::to_string(kRows) + ") i order by i";
    run(client, query);
    const auto header = client.statement('V');
    ASSERT_EQ(header.status, 0);
    EXPECT_EQ(record_fields(header.data), (std::vector<std::string>{"Si", "Ss"}));
    int rows = 0;
    for (;;) {
        const auto row = client.statement('F');
        ASSERT_TRUE(row.ok);
        if (row.status == kEndOfData) break;
        ASSERT_EQ(row.status, 0) << row.data;
        ++rows;
        const std::vector<std::string> expected{"N" + std::to_string(rows),
                                                "Srow " + std::to_string(rows) + " of many"};
        if (record_fields(row.data) != expected) {
            FAIL() << "row " << rows << ": " << row.data;
        }
    }
    EXPECT_EQ(rows, kRows);
    run(client, query);
    EXPECT_EQ(client.statement('H', std::string(1, '\0')).status, 204);
    // A result left half read is let go when the next statement comes.
    run(client, query);
    EXPECT_EQ(client.statement('F').status, 0);
    run(client, "select 1");
}

// As with SQLite: a writing statement's rows are read at once, counted and
// bounded as they come; past the bound they are dropped and its changes stand.
TEST(PgBackend, WritingStatementsReturnTheirRowsReadWholeAndBounded) {
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.max_result_bytes = 64 * 1024;
    });
    ASSERT_TRUE(pg.started());
    RawClient client = pg.connect();
    run(client, "create temp table t(id serial primary key, b text)");
    const auto small = client.exec("insert into t(b) values ('x'), ('y'), ('z') returning id");
    ASSERT_EQ(small.status, 0);
    EXPECT_EQ(small.data, "3 rows affected");
    int end = 0;
    const auto records = value_records(client, end);
    EXPECT_EQ(records,
              (std::vector<std::string>{std::string("Sid") + '\0', std::string("N1") + '\0',
                                        std::string("N2") + '\0', std::string("N3") + '\0'}));
    EXPECT_EQ(end, kEndOfData);
    const auto large = client.exec(
        "insert into t(b) select repeat('r', 2000) from generate_series(1, 100) returning b");
    EXPECT_EQ(large.status, 204) << large.data;
    EXPECT_NE(large.data.find("its changes stand"), std::string::npos) << large.data;
    run(client, "select count(*) from t");
    EXPECT_EQ(client.statement('F').data, std::string("N103") + '\0');
}

TEST(PgBackend, AHundredClientsAtOnce) {
    TestServer pg([](auto& o) {
        use_postgresql(o);
        o.max_connections = 100;
        o.sample = true;
    });
    ASSERT_TRUE(pg.started());
    std::vector<RawClient> clients;
    clients.reserve(100);
    for (int i = 0; i < 100; ++i)
        clients.push_back(pg.connect());
    for (RawClient& client : clients) {
        run(client, "OPEN DATABASE 'sample'");
        run(client, "select count(*) from customers");
    }
    for (RawClient& client : clients) {
        int end = 0;
        const auto records = value_records(client, end);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(record_fields(records[1]), std::vector<std::string>{"N6"});
    }
}

} // namespace

int main(int argc, char** argv) {
    if (pg_conninfo().empty()) {
        std::printf("DORV_TEST_PG is not set: no PostgreSQL to test against "
                    "(scripts/lib/pg_cluster.sh starts one)\n");
        return 77;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
