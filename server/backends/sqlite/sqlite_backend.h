// The SQLite backend: one SQLite handle per connection, locked down against
// what clients must not reach, on an in-memory scratch database until
// OPEN DATABASE opens files of the data folder.
#pragma once

#include <chrono>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "server/backends/backend.h"
#include "server/backends/statement_stop.h"
#include "server/backends/date_text.h"
#include "server/backends/sqlite/sqlite_engine.h"
#include "server/backends/sqlite/sqlite_long_calls.h"
#include "server/backends/sqlite/sqlite_temp_files.h"

namespace dorvd {

class SqliteBackend final : public Backend {
  public:
    SqliteBackend(const BackendLimits& config, int client_fd);
    ~SqliteBackend() override;
    SqliteBackend(const SqliteBackend&) = delete;
    SqliteBackend& operator=(const SqliteBackend&) = delete;

    bool ready() const override { return db_ != nullptr; }
    void begin_request() override;
    void end_request() override;
    Executed execute(std::string_view statement, const StatementKind& kind) override;
    DatabaseLookup find_database(const std::string& name, Outcome& failure) override;
    Outcome open_databases(const std::vector<std::string>& names,
                           std::vector<std::string>& open_now) override;
    std::string version() const override { return sqlite_backend_version(); }
    bool in_transaction() const override {
        return db_ != nullptr && sqlite3_get_autocommit(db_) == 0;
    }

    // The outcome of a failed SQLite call, with the server's reasons.
    Outcome sqlite_failure(int code);

  private:
    bool open_scratch();
    bool bound_size(sqlite3* db, const std::string& schema, size_t bytes);
    void configure(sqlite3* db);
    Executed run_sql(std::string_view statement, const StatementKind& kind);
    std::filesystem::path database_file(const std::string& name) const;
    Outcome open_one(const std::string& name, const std::filesystem::path& file);
    void use_wal(const std::string& name);
    void bound_database(const std::string& name);
    void restore_like();
    static std::string refusal(const std::string& what);

    static int authorize(void* self, int action, const char*, const char*, const char*,
                         const char*);
    static int progress(void* self);
    // True when the running statement is to stop (shutdown, time-out, client
    // gone); its reason is kept for the failure's text.
    bool should_stop();

    BackendLimits config_;
    int client_fd_ = -1;
    // Both outlive the handle that uses them.
    TempFileBound temp_files_;
    LongCallGuard long_calls_;
    sqlite3* db_ = nullptr;
    // SQLite keeps a pointer to the main database's schema name: it lives as
    // long as the handle and never changes.
    std::string main_schema_;
    std::vector<std::string> open_names_;
    bool internal_ = false;   // the server's own statement: the authorizer lets it pass
    std::string denial_;      // why the authorizer refused the statement being prepared
    bool like_reset_ = false; // PRAGMA case_sensitive_like put SQLite's own like() back
    StopReason stop_reason_ = StopReason::none;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::steady_clock::time_point next_client_check_;
};

// A query's statement, kept open between the client's row requests. It must
// go before the backend that made it.
class SqliteRows final : public BackendRows {
  public:
    SqliteRows(SqliteBackend& backend, sqlite3_stmt* statement);
    ~SqliteRows() override { sqlite3_finalize(statement_); }
    SqliteRows(const SqliteRows&) = delete;
    SqliteRows& operator=(const SqliteRows&) = delete;

    const std::vector<std::string>& names() const override { return names_; }
    Step step() override;
    Outcome failure() override { return backend_.sqlite_failure(last_code_); }
    // Values are typed by their storage class ('N' integers and reals, 'S'
    // text, blobs as hexadecimal text, NULL as empty text), except text in a
    // column declared as a date or time, which becomes 'D' or 'T' with 14
    // digits when it reads as one.
    void read_cell(size_t column, Cell& cell, bool with_stored) override;
    size_t row_bytes() override;

  private:
    SqliteBackend& backend_;
    sqlite3_stmt* statement_;
    std::vector<std::string> names_;
    std::vector<TemporalKind> kinds_;
    int last_code_ = SQLITE_OK;
};

} // namespace dorvd
