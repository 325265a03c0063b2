// The database side of dorvd, as the protocol side (blocks, statuses,
// Roman-8, line layout, value records) sees it: open databases, run one
// statement, step a query's rows and their typed values, explain a failure.
// SQLite (sqlite_backend.h) and PostgreSQL (pg_backend.h) implement it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/result_budget.h"

namespace dorvd {

enum class BackendKind { sqlite, postgresql };

class PgAdmin;

struct SessionConfig {
    BackendKind backend = BackendKind::sqlite;
    std::string pg_conninfo; // libpq connection string; empty: the PG* variables
    std::filesystem::path data_dir;
    size_t max_result_bytes = 16 * 1024 * 1024; // also the largest single value
    // The scratch database; the temporary database and temporary files together.
    size_t max_scratch_bytes = 64 * 1024 * 1024;
    size_t max_database_bytes = 0; // an opened SQLite database; 0: no bound
    int statement_timeout_s = 60;  // 0: no limit
    // The bound all connections' kept results share; none when null.
    ResultBudget* result_budget = nullptr;
    // Set when the server shuts down; a running statement is interrupted.
    const std::atomic<bool>* stopping = nullptr;
    // PostgreSQL: the server's administrative connection, made at start.
    std::shared_ptr<PgAdmin> pg_admin;
};

struct Outcome {
    Outcome() = default;
    Outcome(int16_t status_, std::string text_, std::string explanation_ = {})
        : status(status_), text(std::move(text_)), explanation(std::move(explanation_)) {}

    int16_t status = 0;
    std::string text;               // the message for the client, UTF-8; may be empty
    std::string explanation;        // what explain answers when it differs from text
    std::string wrong_password_for; // the database, when the status is a wrong password
};

enum class Step { row, done, failed };

// A query's rows, read one at a time.
class BackendRows {
  public:
    virtual ~BackendRows() = default;
    // The column names, UTF-8.
    virtual const std::vector<std::string>& names() const = 0;
    virtual Step step() = 0;
    // Why the last step failed.
    virtual Outcome failure() = 0;
    // Appends the current row's value in column as wire text to field and
    // returns its type letter ('S', 'N', 'D', 'T'); for a date or time,
    // shown (when given) receives the value's text as stored.
    virtual char append_value(size_t column, std::string& field, std::string* shown) = 0;
    // At least the bytes the current row's values take as wire text, known
    // before any is converted.
    virtual size_t row_bytes() = 0;
};

struct Executed {
    Outcome outcome;
    // A statement's rows, positioned on the first (has_row) or used up;
    // none for a statement without rows or a failure.
    std::unique_ptr<BackendRows> rows;
    bool has_row = false;
    // The statement changed data: its rows are to be read to the end at once.
    bool keep_whole = false;
};

class Backend {
  public:
    virtual ~Backend() = default;
    // False when not even an empty session could be opened.
    virtual bool ready() const = 0;
    // Starts the time limit of one request's work.
    virtual void begin_request() = 0;
    // The request's work is over (its reply is made).
    virtual void end_request() {}
    // Runs OPEN DATABASE or one statement (UTF-8, no zero byte).
    virtual Executed execute(std::string_view statement) = 0;
    // The engine's name and version, as the version reply shows it.
    virtual std::string version() const = 0;
    // A transaction is open (or a statement still holds what it read).
    virtual bool in_transaction() const = 0;
};

// client_fd, when given, is watched while a statement runs: a statement
// whose client has closed the connection is stopped.
std::unique_ptr<Backend> make_sqlite_backend(const SessionConfig& config, int client_fd);
// The engine's name and version, as the version reply shows it ("SQLite 3.x.y").
std::string sqlite_backend_version();
// Bounds the memory SQLite takes for all connections together: an
// allocation past it fails, and so does its statement (status 7).
void bound_sqlite_memory(size_t bytes);

// The backend the configuration names.
std::unique_ptr<Backend> make_backend(const SessionConfig& config, int client_fd);

} // namespace dorvd
