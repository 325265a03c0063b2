#include "server/sample_data.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include "server/log.h"
#include "server/password_file.h"

namespace dorvd {
namespace {

constexpr const char* kSampleScript = R"sql(
CREATE TABLE customers (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    city TEXT,
    country TEXT,
    customer_since DATE
);
INSERT INTO customers VALUES
    (1, 'Müller GmbH', 'München', 'DE', '1994-03-15'),
    (2, 'Søren Nielsen', 'København', 'DK', '1996-11-02'),
    (3, 'Françoise Lefèvre', 'Besançon', 'FR', '1995-07-21'),
    (4, 'José Núñez', 'Málaga', 'ES', '1997-01-30'),
    (5, 'Åsa Ångström', 'Göteborg', 'SE', NULL),
    (6, 'Hewlett Brothers', 'Palo Alto', 'US', '1993-09-09');

CREATE TABLE products (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    price REAL NOT NULL,
    stock INTEGER NOT NULL
);
INSERT INTO products VALUES
    (1, 'Crème brûlée', 4.5, 120),
    (2, 'Käsekuchen', 3.25, 80),
    (3, 'Smørrebrød', 6.9, 45),
    (4, 'Paella', 12.75, 30),
    (5, 'Kaffee', 2.2, 500);

CREATE TABLE orders (
    id INTEGER PRIMARY KEY,
    customer_id INTEGER NOT NULL REFERENCES customers(id),
    product_id INTEGER NOT NULL REFERENCES products(id),
    quantity INTEGER NOT NULL,
    amount REAL NOT NULL,
    ordered_at DATETIME NOT NULL,
    shipped_on DATE
);
INSERT INTO orders VALUES
    (1, 1, 2, 10, 32.5, '1996-03-01 12:00:00', '1996-03-04'),
    (2, 2, 3, 4, 27.6, '1996-05-17 09:30:15', '1996-05-20'),
    (3, 3, 1, 12, 54.0, '1996-06-02 16:45:00', NULL),
    (4, 1, 5, 100, 220.0, '1996-07-11 08:05:03', '1996-07-12'),
    (5, 4, 4, 2, 25.5, '1996-08-23 19:20:00', '1996-08-26'),
    (6, 5, 2, 6, 19.5, '1996-12-08 09:05:03', NULL);
)sql";

constexpr const char* kSecretScript = R"sql(
CREATE TABLE salaries (
    employee TEXT NOT NULL,
    salary REAL NOT NULL,
    paid_on DATE NOT NULL
);
INSERT INTO salaries VALUES
    ('Jürgen Groß', 5400.0, '1996-12-31'),
    ('Hélène Dubois', 6100.5, '1996-12-31'),
    ('Bjørn Åberg', 4980.0, '1996-12-31');
)sql";

bool write_database(const std::filesystem::path& file, const char* script, std::string& error) {
    const std::filesystem::path temporary = file.string() + ".tmp";
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(temporary.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, script, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        error =
            "cannot create " + file.string() + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    }
    sqlite3_close_v2(db);
    if (rc == SQLITE_OK) {
        std::filesystem::rename(temporary, file, ec);
        if (ec) error = "cannot create " + file.string() + ": " + ec.message();
    }
    if (rc != SQLITE_OK || ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    log_line("created sample database " + file.string());
    return true;
}

bool write_password_file(const std::filesystem::path& file, std::string& error) {
    static constexpr char kContent[] =
        "# Databases that need a password: one line \"name:password\".\n"
        "# A database not listed here opens without a password.\n"
        "secret:geheim\n";
    const std::filesystem::path temporary = file.string() + ".tmp";
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    // Only the server's own user may read the passwords.
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool written = fd >= 0;
    if (written) {
        written =
            write(fd, kContent, sizeof kContent - 1) == static_cast<ssize_t>(sizeof kContent - 1);
        written = close(fd) == 0 && written;
    }
    if (!written) {
        error = "cannot write " + temporary.string() + ": " + std::strerror(errno);
        std::filesystem::remove(temporary, ec);
        return false;
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        error = "cannot create " + file.string() + ": " + ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    log_line("created password file " + file.string());
    return true;
}

bool holds_database(const std::filesystem::path& folder, std::error_code& ec) {
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".db") return true;
    }
    return false;
}

bool make_folder(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        error = "cannot use data folder " + folder.string() +
                (ec ? ": " + ec.message() : ": not a folder");
        return false;
    }
    return true;
}

} // namespace

bool prepare_password_folder(const std::filesystem::path& folder, std::string& error) {
    if (!make_folder(folder, error)) return false;
    std::error_code ec;
    if (!std::filesystem::exists(folder / kPasswordFileName, ec)) {
        return write_password_file(folder / kPasswordFileName, error);
    }
    return true;
}

bool prepare_data_folder(const std::filesystem::path& folder, std::string& error, bool replace) {
    if (!make_folder(folder, error)) return false;
    std::error_code ec;
    const bool has_database = holds_database(folder, ec);
    if (ec) {
        error = "cannot read data folder " + folder.string() + ": " + ec.message();
        return false;
    }
    if (has_database && !replace) return true;
    if (!write_database(folder / "sample.db", kSampleScript, error)) return false;
    if (!write_database(folder / "secret.db", kSecretScript, error)) return false;
    if (!std::filesystem::exists(folder / kPasswordFileName, ec)) {
        return write_password_file(folder / kPasswordFileName, error);
    }
    return true;
}

} // namespace dorvd
