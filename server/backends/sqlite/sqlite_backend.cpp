#include "server/backends/sqlite/sqlite_backend.h"

#include <algorithm>
#include <climits>
#include <string>
#include <strings.h>

#include "server/base/client_watch.h"
#include "server/base/log.h"
#include "server/backends/sqlite/sql_policy.h"
#include "server/backends/sqlite/sqlite_allocator.h"
#include "server/base/status_codes.h"

namespace dorvd {
namespace {

// A failure of SQLite answers its primary result code: the named statuses
// are those codes.
static_assert(kStatusError == SQLITE_ERROR && kStatusBusy == SQLITE_BUSY &&
              kStatusNoMemory == SQLITE_NOMEM && kStatusReadOnly == SQLITE_READONLY &&
              kStatusInterrupted == SQLITE_INTERRUPT && kStatusIoError == SQLITE_IOERR &&
              kStatusCorrupt == SQLITE_CORRUPT && kStatusFull == SQLITE_FULL &&
              kStatusTooBig == SQLITE_TOOBIG && kStatusConstraint == SQLITE_CONSTRAINT &&
              kStatusMismatch == SQLITE_MISMATCH && kStatusNotAuthorized == SQLITE_AUTH);

constexpr int kBusyTimeoutMs = 5000;
constexpr int kProgressSteps = 1000;

struct StatementGuard {
    sqlite3_stmt* statement = nullptr;
    ~StatementGuard() { sqlite3_finalize(statement); }
};

// Runs a statement with two text parameters to its end.
int run_with_two_texts(sqlite3* db, const char* sql, const std::string& first,
                       const std::string& second) {
    StatementGuard guard;
    int rc = sqlite3_prepare_v2(db, sql, -1, &guard.statement, nullptr);
    if (rc != SQLITE_OK) return rc;
    sqlite3_bind_text(guard.statement, 1, first.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(guard.statement, 2, second.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(guard.statement);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

} // namespace

SqliteBackend::SqliteBackend(const BackendLimits& config, int client_fd)
    : config_(config), client_fd_(client_fd), temp_files_(config.max_scratch_bytes) {
    long_calls_.should_stop = [this] { return should_stop(); };
    open_scratch();
}

SqliteBackend::~SqliteBackend() {
    clear_request_limit();
    sqlite3_close_v2(db_);
}

bool SqliteBackend::open_scratch() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        temp_files_.vfs_name()) != SQLITE_OK ||
        !bound_size(db, "main", config_.max_scratch_bytes)) {
        log_line(std::string("cannot open a scratch database: ") +
                 (db ? sqlite3_errmsg(db) : "out of memory"));
        sqlite3_close_v2(db);
        return false;
    }
    configure(db);
    db_ = db;
    return true;
}

// Bounds a database's size by its pages: the scratch database lives in
// memory, so that one client cannot take the server's memory; the temporary
// database and, with --max-database-bytes, the opened ones live on disk.
bool SqliteBackend::bound_size(sqlite3* db, const std::string& schema, size_t bytes) {
    const std::string quoted = "\"" + schema + "\"";
    internal_ = true;
    sqlite3_stmt* statement = nullptr;
    const std::string query = "PRAGMA " + quoted + ".page_size";
    bool ok = sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK;
    long long page_size = 4096;
    if (ok && sqlite3_step(statement) == SQLITE_ROW) page_size = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    const long long pages = std::max(
        1LL, static_cast<long long>(std::min<size_t>(bytes, LLONG_MAX)) / std::max(1LL, page_size));
    const std::string bound = "PRAGMA " + quoted + ".max_page_count = " + std::to_string(pages);
    ok = ok && sqlite3_exec(db, bound.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    internal_ = false;
    return ok;
}

// Locks the handle down against what clients must not reach: extensions,
// the FTS3 tokenizer's pointers, files outside the data folder, the
// schema's own innards, and unbounded values.
void SqliteBackend::configure(sqlite3* db) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH,
                  static_cast<int>(std::min<size_t>(config_.max_result_bytes, INT_MAX)));
    // The temporary database (temp tables, temp triggers) has the scratch bound too.
    if (!bound_size(db, "temp", config_.max_scratch_bytes)) {
        log_line(std::string("cannot bound the temporary database: ") + sqlite3_errmsg(db));
    }
    if (!install_long_call_functions(db, long_calls_)) {
        log_line(std::string("cannot install the server's own like(), instr() and the like: ") +
                 sqlite3_errmsg(db));
    }
    sqlite3_set_authorizer(db, &SqliteBackend::authorize, this);
    sqlite3_progress_handler(db, kProgressSteps, &SqliteBackend::progress, this);
}

// Clients reach database files only through OPEN DATABASE and its
// passwords: their own ATTACH, DETACH and VACUUM INTO are refused, as are
// functions and pragmas that reach the server's memory or files.
int SqliteBackend::authorize(void* self, int action, const char* third, const char* fourth,
                             const char*, const char*) {
    auto* session = static_cast<SqliteBackend*>(self);
    if (session->internal_) return SQLITE_OK;
    // SQLite asks for every table, column and function while it prepares a
    // statement, so a statement whose preparation explodes is stopped here.
    if (session->should_stop()) return SQLITE_DENY;
    switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        session->denial_ = SqliteBackend::refusal(
            std::string(action == SQLITE_ATTACH ? "ATTACH" : "DETACH") +
            " is not for clients: databases are opened with OPEN DATABASE 'name'");
        return SQLITE_DENY;
    case SQLITE_FUNCTION:
        if (!function_refused(fourth)) return SQLITE_OK;
        session->denial_ = SqliteBackend::refusal(
            std::string(fourth) + "() is not for clients: it reaches the server's memory or files");
        return SQLITE_DENY;
    case SQLITE_PRAGMA:
        if (pragma_allowed(third, fourth)) {
            if (fourth != nullptr && third != nullptr &&
                strcasecmp(third, "case_sensitive_like") == 0)
                session->like_reset_ = true;
            return SQLITE_OK;
        }
        session->denial_ = SqliteBackend::refusal(
            "PRAGMA " + std::string(third ? third : "") + (fourth ? " with a value" : "") +
            " is not for clients: they may read the schema and set only " + settable_pragmas());
        return SQLITE_DENY;
    default:
        return SQLITE_OK;
    }
}

std::string SqliteBackend::refusal(const std::string& what) {
    return "not authorized: " + what + ".";
}

int SqliteBackend::progress(void* self) {
    return static_cast<SqliteBackend*>(self)->should_stop() ? 1 : 0;
}

bool SqliteBackend::should_stop() {
    if (stop_reason_ != StopReason::none) return true;
    if (config_.stopping != nullptr && config_.stopping->load()) {
        stop_reason_ = StopReason::shutdown;
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (config_.statement_timeout_s > 0 && now >= deadline_) {
        stop_reason_ = StopReason::timeout;
        return true;
    }
    if (client_fd_ >= 0 && now >= next_client_check_) {
        next_client_check_ = now + kClientCheckInterval;
        if (client_gone(client_fd_)) {
            stop_reason_ = StopReason::client_gone;
            return true;
        }
    }
    return false;
}

Outcome SqliteBackend::sqlite_failure(int code) {
    int primary = code & 0xFF;
    // A statement stopped while it was prepared fails as refused by the
    // authorizer; one past its limit may fail for want of memory.
    if (primary == SQLITE_NOMEM) should_stop();
    if ((primary == SQLITE_AUTH || primary == SQLITE_NOMEM) && stop_reason_ != StopReason::none)
        primary = SQLITE_INTERRUPT;
    // SQLite reports a refused function as a plain error: every refusal
    // answers the authorization status with its reason.
    if (!denial_.empty() && primary != SQLITE_INTERRUPT) return {kStatusNotAuthorized, denial_};
    const int16_t status = static_cast<int16_t>(primary);
    std::string text = sqlite3_errmsg(db_);
    switch (primary) {
    case SQLITE_INTERRUPT:
        if (auto stopped = stopped_statement(stop_reason_, config_.statement_timeout_s))
            return *stopped;
        break;
    case SQLITE_TOOBIG:
        text += " (a single value may hold at most " + std::to_string(config_.max_result_bytes) +
                " bytes on this server)";
        break;
    case SQLITE_FULL:
        if (temp_files_.take_refusal()) {
            text += " (a connection's temporary files (sorts, the temporary database, statement "
                    "journals) hold at most " +
                    std::to_string(config_.max_scratch_bytes) + " bytes together on this server)";
        } else {
            text += " (the scratch database and the temporary database hold at most " +
                    std::to_string(config_.max_scratch_bytes) + " bytes each" +
                    (config_.max_database_bytes > 0
                         ? ", an opened database at most " +
                               std::to_string(config_.max_database_bytes) + " bytes,"
                         : std::string()) +
                    " on this server)";
        }
        break;
    default:
        break;
    }
    return {status, std::move(text)};
}

// The statement time-out bounds the work of one request: a result read row
// by row may take as long as its client reads.
void SqliteBackend::begin_request() {
    denial_.clear();
    temp_files_.take_refusal();
    stop_reason_ = StopReason::none;
    const auto now = std::chrono::steady_clock::now();
    deadline_ = now + std::chrono::seconds(config_.statement_timeout_s);
    next_client_check_ = now + kClientCheckInterval;
    set_request_limit(config_.statement_timeout_s > 0, deadline_, config_.stopping);
}

void SqliteBackend::end_request() {
    clear_request_limit();
}

Executed SqliteBackend::execute(std::string_view statement, const StatementKind& kind) {
    Executed executed;
    if (db_ == nullptr) {
        executed.outcome = {kStatusSessionUnavailable,
                            "The server could not open a database session."};
    } else {
        executed = run_sql(statement, kind);
    }
    return executed;
}

Executed SqliteBackend::run_sql(std::string_view statement, const StatementKind& kind) {
    Executed executed;
    StatementGuard guard;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, statement.data(), static_cast<int>(statement.size()),
                                &guard.statement, &tail);
    if (rc != SQLITE_OK) {
        executed.outcome = sqlite_failure(rc);
        restore_like();
        return executed;
    }
    if (guard.statement == nullptr) {
        executed.outcome = {kStatusOk, "", "Empty statement: nothing executed."};
        return executed;
    }
    // A second statement behind the first is refused, not silently skipped.
    const std::string_view rest = statement.substr(static_cast<size_t>(tail - statement.data()));
    StatementGuard second;
    const int rest_rc = sqlite3_prepare_v2(db_, rest.data(), static_cast<int>(rest.size()),
                                           &second.statement, nullptr);
    restore_like();
    if (rest_rc != SQLITE_OK || second.statement != nullptr) {
        executed.outcome = {kStatusOneStatementOnly,
                            "Only one statement per request: split the text at ';' before "
                            "sending it."};
        return executed;
    }

    const long long changes_before = sqlite3_total_changes64(db_);
    const bool has_columns = sqlite3_column_count(guard.statement) > 0;
    // A query is stepped to its first row here, so that most failures come
    // with the statement's own reply. A statement that writes and returns
    // rows (RETURNING) makes all its changes in that first step.
    while ((rc = sqlite3_step(guard.statement)) == SQLITE_ROW && !has_columns) {
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        executed.outcome = sqlite_failure(rc);
        return executed;
    }
    if (has_columns) {
        executed.keep_whole = !sqlite3_stmt_readonly(guard.statement);
        executed.has_row = rc == SQLITE_ROW;
        executed.rows = std::make_unique<SqliteRows>(*this, guard.statement);
        guard.statement = nullptr;
    }
    const long long changes = sqlite3_total_changes64(db_) - changes_before;
    if (changes > 0 || (!has_columns && kind.writes_data)) {
        executed.outcome = {kStatusOk, rows_affected(changes)};
    }
    return executed;
}

std::filesystem::path SqliteBackend::database_file(const std::string& name) const {
    return config_.data_dir / (name + ".db");
}

DatabaseLookup SqliteBackend::find_database(const std::string& name, Outcome&) {
    std::error_code ec;
    return std::filesystem::is_regular_file(database_file(name), ec) ? DatabaseLookup::found
                                                                     : DatabaseLookup::missing;
}

Outcome SqliteBackend::open_databases(const std::vector<std::string>& names,
                                      std::vector<std::string>& open_now) {
    for (const std::string& name : names) {
        const bool already_open =
            std::any_of(open_names_.begin(), open_names_.end(), [&](const std::string& open) {
                return strcasecmp(open.c_str(), name.c_str()) == 0;
            });
        if (already_open) continue;
        Outcome outcome = open_one(name, database_file(name));
        if (outcome.status != kStatusOk) return outcome;
        open_names_.push_back(name);
    }
    open_now = open_names_;
    return {kStatusOk, ""};
}

// The first database replaces the scratch database as main, under its own
// name, so that unqualified names and new tables land in it and "name.table"
// works too; later ones are attached under their names.
Outcome SqliteBackend::open_one(const std::string& name, const std::filesystem::path& file) {
    const std::string check = "SELECT count(*) FROM \"" + name + "\".sqlite_schema";
    if (main_schema_.empty()) {
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, temp_files_.vfs_name());
        if (rc == SQLITE_OK) {
            main_schema_ = name;
            sqlite3_db_config(db, SQLITE_DBCONFIG_MAINDBNAME, main_schema_.c_str());
            configure(db);
            rc = sqlite3_exec(db, check.c_str(), nullptr, nullptr, nullptr);
        }
        if (rc != SQLITE_OK) {
            Outcome failure{static_cast<int16_t>(rc & 0xFF),
                            "Cannot open database '" + name +
                                "': " + (db ? sqlite3_errmsg(db) : "out of memory")};
            sqlite3_close_v2(db);
            main_schema_.clear();
            return failure;
        }
        sqlite3_close_v2(db_);
        db_ = db;
        use_wal(name);
        bound_database(name);
        return {kStatusOk, ""};
    }
    // The authorizer is asked while the statement is prepared and again
    // while it runs, so the permission spans both.
    internal_ = true;
    int rc = run_with_two_texts(db_, "ATTACH DATABASE ?1 AS ?2", file.string(), name);
    bool attached = rc == SQLITE_OK;
    if (attached) rc = sqlite3_exec(db_, check.c_str(), nullptr, nullptr, nullptr);
    Outcome failure = rc == SQLITE_OK ? Outcome() : sqlite_failure(rc);
    if (rc != SQLITE_OK && attached) {
        // A file that turned out to be no database is let go again.
        sqlite3_exec(db_, ("DETACH DATABASE \"" + name + "\"").c_str(), nullptr, nullptr, nullptr);
    }
    internal_ = false;
    if (rc != SQLITE_OK) {
        failure.text = "Cannot open database '" + name + "': " + failure.text;
        return failure;
    }
    use_wal(name);
    bound_database(name);
    return {kStatusOk, ""};
}

void SqliteBackend::bound_database(const std::string& name) {
    if (config_.max_database_bytes == 0) return;
    if (!bound_size(db_, name, config_.max_database_bytes)) {
        log_line("database '" + name + "' could not be bounded in size: " + sqlite3_errmsg(db_));
    }
}

// PRAGMA case_sensitive_like registers SQLite's own like() again while the
// statement is prepared; the server's own takes its place, in the mode set.
void SqliteBackend::restore_like() {
    if (!like_reset_) return;
    like_reset_ = false;
    internal_ = true;
    if (!reinstall_like(db_, long_calls_))
        log_line(std::string("cannot install like() again: ") + sqlite3_errmsg(db_));
    internal_ = false;
}

// In write-ahead-log mode a reader that takes its time (a result read row
// by row) does not hold up writers, nor they it. The mode stays with the
// file, so only the first opening switches it.
void SqliteBackend::use_wal(const std::string& name) {
    const std::string pragma = "PRAGMA \"" + name + "\".journal_mode";
    StatementGuard query;
    if (sqlite3_prepare_v2(db_, pragma.c_str(), -1, &query.statement, nullptr) == SQLITE_OK &&
        sqlite3_step(query.statement) == SQLITE_ROW) {
        const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(query.statement, 0));
        if (mode != nullptr && strcasecmp(mode, "wal") == 0) return;
    }
    sqlite3_finalize(query.statement);
    query.statement = nullptr;
    internal_ = true;
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, (pragma + " = WAL").c_str(), nullptr, nullptr, &error);
    internal_ = false;
    if (rc != SQLITE_OK) {
        log_line("database '" + name + "' stays in its journal mode (write-ahead log refused: " +
                 (error ? error : "unknown reason") + ")");
    }
    sqlite3_free(error);
}

void bound_sqlite_memory(size_t bytes) {
    sqlite3_hard_heap_limit64(static_cast<sqlite3_int64>(std::min<size_t>(bytes, LLONG_MAX)));
}

std::string sqlite_backend_version() {
    return std::string("SQLite ") + sqlite3_libversion();
}

std::unique_ptr<Backend> make_sqlite_backend(const BackendLimits& config, int client_fd) {
    return std::make_unique<SqliteBackend>(config, client_fd);
}

} // namespace dorvd
