#include "server/backends/sqlite/sample_data.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <unistd.h>

#include "server/backends/sample_rows.h"
#include "server/base/log.h"
#include "server/base/password_file_name.h"

namespace dorvd {
namespace {

// The tables as SQLite makes them; their rows are the demo's (sample_rows.h).
std::string sample_script() {
    return std::string(R"sql(
CREATE TABLE customers (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    city TEXT,
    country TEXT,
    customer_since DATE
);
INSERT INTO customers VALUES)sql") +
           kSampleCustomerRows + R"sql(
CREATE TABLE products (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    price REAL NOT NULL,
    stock INTEGER NOT NULL
);
INSERT INTO products VALUES)sql" +
           kSampleProductRows + R"sql(
CREATE TABLE orders (
    id INTEGER PRIMARY KEY,
    customer_id INTEGER NOT NULL REFERENCES customers(id),
    product_id INTEGER NOT NULL REFERENCES products(id),
    quantity INTEGER NOT NULL,
    amount REAL NOT NULL,
    ordered_at DATETIME NOT NULL,
    shipped_on DATE
);
INSERT INTO orders VALUES)sql" +
           kSampleOrderRows;
}

std::string secret_script() {
    return std::string(R"sql(
CREATE TABLE salaries (
    employee TEXT NOT NULL,
    salary REAL NOT NULL,
    paid_on DATE NOT NULL
);
INSERT INTO salaries VALUES)sql") +
           kSecretSalaryRows;
}

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
    if (!write_database(folder / "sample.db", sample_script().c_str(), error)) return false;
    if (!write_database(folder / "secret.db", secret_script().c_str(), error)) return false;
    if (!std::filesystem::exists(folder / kPasswordFileName, ec)) {
        return write_password_file(folder / kPasswordFileName, error);
    }
    return true;
}

} // namespace dorvd
