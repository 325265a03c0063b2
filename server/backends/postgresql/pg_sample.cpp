// The demo data as PostgreSQL schemas: the same tables, rows and values as
// the SQLite sample databases (numeric keeps the written scale, so 54.0
// reads back as 54.0 on both backends).
#include <string>

#include "server/backends/sample_rows.h"
#include "server/base/log.h"
#include "server/backends/postgresql/pg_admin.h"
#include "server/backends/postgresql/pg_sample.h"

namespace dorvd {
namespace {

// The schemas and tables as PostgreSQL makes them; their rows are the demo's
// (sample_rows.h), so both backends hold the same values.
std::string sample_script() {
    return std::string(R"sql(
DROP SCHEMA IF EXISTS sample CASCADE;
DROP SCHEMA IF EXISTS secret CASCADE;
CREATE SCHEMA sample;
CREATE TABLE sample.customers (
    id integer PRIMARY KEY,
    name text NOT NULL,
    city text,
    country text,
    customer_since date
);
INSERT INTO sample.customers VALUES)sql") +
           kSampleCustomerRows + R"sql(
CREATE TABLE sample.products (
    id integer PRIMARY KEY,
    name text NOT NULL,
    price numeric NOT NULL,
    stock integer NOT NULL
);
INSERT INTO sample.products VALUES)sql" +
           kSampleProductRows + R"sql(
CREATE TABLE sample.orders (
    id integer PRIMARY KEY,
    customer_id integer NOT NULL REFERENCES sample.customers(id),
    product_id integer NOT NULL REFERENCES sample.products(id),
    quantity integer NOT NULL,
    amount numeric NOT NULL,
    ordered_at timestamp NOT NULL,
    shipped_on date
);
INSERT INTO sample.orders VALUES)sql" +
           kSampleOrderRows + R"sql(
CREATE SCHEMA secret;
CREATE TABLE secret.salaries (
    employee text NOT NULL,
    salary numeric NOT NULL,
    paid_on date NOT NULL
);
INSERT INTO secret.salaries VALUES)sql" +
           kSecretSalaryRows;
}

} // namespace

bool write_pg_sample(PgAdmin& admin, bool replace, std::string& error) {
    if (!replace) {
        const PgAdmin::Lookup sample = admin.find_database("sample");
        const PgAdmin::Lookup secret = admin.find_database("secret");
        if (sample == PgAdmin::Lookup::failed || secret == PgAdmin::Lookup::failed) {
            error = "cannot look for the sample schemas";
            return false;
        }
        if (sample == PgAdmin::Lookup::found || secret == PgAdmin::Lookup::found) return true;
    }
    if (!admin.run_script(sample_script(), error)) {
        error = "cannot create the sample schemas: " + error;
        return false;
    }
    log_line("created the sample schemas sample and secret");
    return true;
}

} // namespace dorvd
