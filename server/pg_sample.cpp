// The demo data as PostgreSQL schemas: the same tables, rows and values as
// the SQLite sample databases (numeric keeps the written scale, so 54.0
// reads back as 54.0 on both backends).
#include <string>

#include "server/log.h"
#include "server/pg_admin.h"
#include "server/pg_sample.h"

namespace dorvd {
namespace {

constexpr const char* kSampleScript = R"sql(
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
INSERT INTO sample.customers VALUES
    (1, 'Müller GmbH', 'München', 'DE', '1994-03-15'),
    (2, 'Søren Nielsen', 'København', 'DK', '1996-11-02'),
    (3, 'Françoise Lefèvre', 'Besançon', 'FR', '1995-07-21'),
    (4, 'José Núñez', 'Málaga', 'ES', '1997-01-30'),
    (5, 'Åsa Ångström', 'Göteborg', 'SE', NULL),
    (6, 'Hewlett Brothers', 'Palo Alto', 'US', '1993-09-09');

CREATE TABLE sample.products (
    id integer PRIMARY KEY,
    name text NOT NULL,
    price numeric NOT NULL,
    stock integer NOT NULL
);
INSERT INTO sample.products VALUES
    (1, 'Crème brûlée', 4.5, 120),
    (2, 'Käsekuchen', 3.25, 80),
    (3, 'Smørrebrød', 6.9, 45),
    (4, 'Paella', 12.75, 30),
    (5, 'Kaffee', 2.2, 500);

CREATE TABLE sample.orders (
    id integer PRIMARY KEY,
    customer_id integer NOT NULL REFERENCES sample.customers(id),
    product_id integer NOT NULL REFERENCES sample.products(id),
    quantity integer NOT NULL,
    amount numeric NOT NULL,
    ordered_at timestamp NOT NULL,
    shipped_on date
);
INSERT INTO sample.orders VALUES
    (1, 1, 2, 10, 32.5, '1996-03-01 12:00:00', '1996-03-04'),
    (2, 2, 3, 4, 27.6, '1996-05-17 09:30:15', '1996-05-20'),
    (3, 3, 1, 12, 54.0, '1996-06-02 16:45:00', NULL),
    (4, 1, 5, 100, 220.0, '1996-07-11 08:05:03', '1996-07-12'),
    (5, 4, 4, 2, 25.5, '1996-08-23 19:20:00', '1996-08-26'),
    (6, 5, 2, 6, 19.5, '1996-12-08 09:05:03', NULL);

CREATE SCHEMA secret;
CREATE TABLE secret.salaries (
    employee text NOT NULL,
    salary numeric NOT NULL,
    paid_on date NOT NULL
);
INSERT INTO secret.salaries VALUES
    ('Jürgen Groß', 5400.0, '1996-12-31'),
    ('Hélène Dubois', 6100.5, '1996-12-31'),
    ('Bjørn Åberg', 4980.0, '1996-12-31');
)sql";

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
    if (!admin.run_script(kSampleScript, error)) {
        error = "cannot create the sample schemas: " + error;
        return false;
    }
    log_line("created the sample schemas sample and secret");
    return true;
}

} // namespace dorvd
