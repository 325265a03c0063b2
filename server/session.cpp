#include "server/session.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <malloc.h>
#include <map>
#include <poll.h>
#include <strings.h>

#include "server/log.h"
#include "server/open_database.h"
#include "server/password_file.h"
#include "server/result_builder.h"
#include "server/roman8.h"
#include "server/sql_policy.h"
#include "server/status_codes.h"

namespace dorvd {
namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr int kProgressSteps = 1000;
// How often a running statement looks whether its client is still there.
constexpr auto kClientCheckInterval = std::chrono::milliseconds(200);
// After a kept result at least this large is dropped, freed memory goes back
// to the system (the allocator would otherwise keep it for the thread).
constexpr size_t kTrimAfterBytes = 1024 * 1024;

// True once the peer has closed the connection (or it failed).
bool client_gone(int fd) {
    pollfd watch{fd, POLLRDHUP, 0};
    return poll(&watch, 1, 0) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

std::string first_word_upper(std::string_view statement) {
    size_t pos = 0;
    while (pos < statement.size() && std::isspace(static_cast<unsigned char>(statement[pos])))
        ++pos;
    std::string word;
    while (pos < statement.size() && std::isalpha(static_cast<unsigned char>(statement[pos]))) {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(statement[pos++])));
    }
    return word;
}

bool is_data_change(std::string_view statement) {
    const std::string word = first_word_upper(statement);
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "REPLACE";
}

std::string rows_affected(long long count) {
    return std::to_string(count) + (count == 1 ? " row affected" : " rows affected");
}

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

Session::Session(SessionConfig config, int client_fd)
    : config_(std::move(config)), client_fd_(client_fd) {
    open_scratch();
}

Session::~Session() {
    drop_result();
    sqlite3_close_v2(db_);
}

bool Session::open_scratch() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        !bound_scratch(db, "main")) {
        log_line(std::string("cannot open a scratch database: ") +
                 (db ? sqlite3_errmsg(db) : "out of memory"));
        sqlite3_close_v2(db);
        return false;
    }
    configure(db);
    db_ = db;
    return true;
}

// The scratch database lives in memory: its pages are bounded so that one
// client cannot take the server's memory.
bool Session::bound_scratch(sqlite3* db, const char* schema) {
    sqlite3_stmt* statement = nullptr;
    const std::string query = std::string("PRAGMA ") + schema + ".page_size";
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) != SQLITE_OK) return false;
    long long page_size = 4096;
    if (sqlite3_step(statement) == SQLITE_ROW) page_size = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    const long long pages =
        std::max(1LL, static_cast<long long>(config_.max_scratch_bytes) / std::max(1LL, page_size));
    const std::string bound =
        std::string("PRAGMA ") + schema + ".max_page_count = " + std::to_string(pages);
    return sqlite3_exec(db, bound.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Locks the handle down against what clients must not reach: extensions,
// the FTS3 tokenizer's pointers, files outside the data folder, the
// schema's own innards, and unbounded values.
void Session::configure(sqlite3* db) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH,
                  static_cast<int>(std::min<size_t>(config_.max_result_bytes, INT_MAX)));
    // The temporary database (temp tables, temp triggers) has the scratch bound too.
    if (!bound_scratch(db, "temp")) {
        log_line(std::string("cannot bound the temporary database: ") + sqlite3_errmsg(db));
    }
    sqlite3_set_authorizer(db, &Session::authorize, this);
    sqlite3_progress_handler(db, kProgressSteps, &Session::progress, this);
}

// Clients reach database files only through OPEN DATABASE and its
// passwords: their own ATTACH, DETACH and VACUUM INTO are refused, as are
// functions and pragmas that reach the server's memory or files.
int Session::authorize(void* self, int action, const char* third, const char* fourth, const char*,
                       const char*) {
    auto* session = static_cast<Session*>(self);
    if (session->internal_) return SQLITE_OK;
    switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        session->denial_ =
            session->refusal(std::string(action == SQLITE_ATTACH ? "ATTACH" : "DETACH") +
                             " is not for clients: databases are opened with OPEN DATABASE 'name'");
        return SQLITE_DENY;
    case SQLITE_FUNCTION:
        if (!function_refused(fourth)) return SQLITE_OK;
        session->denial_ = session->refusal(
            std::string(fourth) + "() is not for clients: it reaches the server's memory or files");
        return SQLITE_DENY;
    case SQLITE_PRAGMA:
        if (pragma_allowed(third, fourth)) return SQLITE_OK;
        session->denial_ = session->refusal(
            "PRAGMA " + std::string(third ? third : "") + (fourth ? " with a value" : "") +
            " is not for clients: they may read the schema and set only " + settable_pragmas());
        return SQLITE_DENY;
    default:
        return SQLITE_OK;
    }
}

std::string Session::refusal(std::string what) {
    return "not authorized: " + what + ".";
}

int Session::progress(void* self) {
    auto* session = static_cast<Session*>(self);
    const auto* stopping = session->config_.stopping;
    if (stopping != nullptr && stopping->load()) {
        session->stop_reason_ = StopReason::shutdown;
        return 1;
    }
    const auto now = std::chrono::steady_clock::now();
    if (session->config_.statement_timeout_s > 0 && now >= session->deadline_) {
        session->stop_reason_ = StopReason::timeout;
        return 1;
    }
    if (session->client_fd_ >= 0 && now >= session->next_client_check_) {
        session->next_client_check_ = now + kClientCheckInterval;
        if (client_gone(session->client_fd_)) {
            session->stop_reason_ = StopReason::client_gone;
            return 1;
        }
    }
    return 0;
}

void Session::remember(int16_t status, std::string explanation) {
    last_status_ = status;
    explanation_ = std::move(explanation);
}

Outcome Session::sqlite_failure(int code) {
    const int primary = code & 0xFF;
    // SQLite reports a refused function as a plain error: every refusal
    // answers the authorization status with its reason.
    if (!denial_.empty()) return {static_cast<int16_t>(SQLITE_AUTH), denial_};
    const int16_t status = static_cast<int16_t>(primary);
    std::string text = sqlite3_errmsg(db_);
    switch (primary) {
    case SQLITE_INTERRUPT:
        switch (stop_reason_) {
        case StopReason::timeout:
            return {kStatusStatementTimeout, "The statement ran longer than this server allows (" +
                                                 std::to_string(config_.statement_timeout_s) +
                                                 " s) and was stopped."};
        case StopReason::client_gone:
            text = "The statement was stopped: the client closed the connection.";
            break;
        case StopReason::shutdown:
            text = "The statement was stopped: the server is shutting down.";
            break;
        case StopReason::none:
            break;
        }
        break;
    case SQLITE_TOOBIG:
        text += " (a single value may hold at most " + std::to_string(config_.max_result_bytes) +
                " bytes on this server)";
        break;
    case SQLITE_FULL:
        text += " (the scratch database and the temporary database hold at most " +
                std::to_string(config_.max_scratch_bytes) + " bytes each on this server)";
        break;
    default:
        break;
    }
    return {status, std::move(text)};
}

// The statement time-out bounds the work of one request: a result read row
// by row may take as long as its client reads.
void Session::begin_request() {
    denial_.clear();
    stop_reason_ = StopReason::none;
    const auto now = std::chrono::steady_clock::now();
    deadline_ = now + std::chrono::seconds(config_.statement_timeout_s);
    next_client_check_ = now + kClientCheckInterval;
}

void Session::drop_result() {
    cursor_.reset();
    const bool large = result_ && result_->bytes >= kTrimAfterBytes;
    result_.reset();
    if (large) malloc_trim(0);
}

Outcome Session::execute(std::string_view statement) {
    drop_result();
    begin_request();
    Outcome outcome;
    if (db_ == nullptr) {
        outcome = {kStatusSessionUnavailable, "The server could not open a database session."};
    } else if (statement.find('\0') != std::string_view::npos) {
        outcome = {kStatusBadStatementText, "The statement text contains a zero byte."};
    } else if (is_open_database(statement)) {
        outcome = open_databases(statement);
    } else {
        outcome = run_sql(statement);
    }
    std::string explanation = !outcome.explanation.empty() ? outcome.explanation : outcome.text;
    if (explanation.empty()) {
        if (result_) {
            explanation =
                "Statement executed; " + std::to_string(result_->row_count()) + " rows pending.";
        } else if (cursor_) {
            explanation = cursor_->has_row ? "Statement executed; rows pending, read as asked for."
                                           : "Statement executed; 0 rows pending.";
        } else {
            explanation = "Statement executed.";
        }
    }
    remember(outcome.status, std::move(explanation));
    return outcome;
}

Outcome Session::run_sql(std::string_view statement) {
    StatementGuard guard;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, statement.data(), static_cast<int>(statement.size()),
                                &guard.statement, &tail);
    if (rc != SQLITE_OK) return sqlite_failure(rc);
    if (guard.statement == nullptr) return {kStatusOk, "", "Empty statement: nothing executed."};
    // A second statement behind the first is refused, not silently skipped.
    const std::string_view rest = statement.substr(static_cast<size_t>(tail - statement.data()));
    StatementGuard second;
    const int rest_rc = sqlite3_prepare_v2(db_, rest.data(), static_cast<int>(rest.size()),
                                           &second.statement, nullptr);
    if (rest_rc != SQLITE_OK || second.statement != nullptr) {
        return {kStatusOneStatementOnly,
                "Only one statement per request: split the text at ';' before sending it."};
    }

    const long long changes_before = sqlite3_total_changes64(db_);
    if (sqlite3_column_count(guard.statement) > 0 && sqlite3_stmt_readonly(guard.statement)) {
        // A query is stepped to its first row here, so that most failures
        // come with the statement's own reply; the rest is read as asked for.
        rc = sqlite3_step(guard.statement);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return sqlite_failure(rc);
        cursor_ = std::make_unique<RowCursor>(guard.statement, rc == SQLITE_ROW);
        guard.statement = nullptr;
        return {kStatusOk, ""};
    }
    if (sqlite3_column_count(guard.statement) > 0) {
        // A statement that writes and returns rows (RETURNING) is run to its
        // end at once, so that its changes are not held open by a reader.
        auto result = std::make_unique<ResultSet>();
        const BuildOutcome built = build_result(guard.statement, false, config_.max_result_bytes,
                                                config_.result_budget, *result, rc);
        if (built != BuildOutcome::complete) {
            Outcome failure = build_failure(built, rc);
            result.reset();
            malloc_trim(0);
            return failure;
        }
        result_ = std::move(result);
    } else {
        while ((rc = sqlite3_step(guard.statement)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) return sqlite_failure(rc);
    }
    const long long changes = sqlite3_total_changes64(db_) - changes_before;
    if (changes > 0 || (!result_ && is_data_change(statement)))
        return {kStatusOk, rows_affected(changes)};
    return {kStatusOk, ""};
}

Outcome Session::open_databases(std::string_view statement) {
    std::string error;
    const auto list = parse_open_database(statement, error);
    if (!list) {
        return {kStatusOpenSyntax,
                "OPEN DATABASE: " + error + ". Write OPEN DATABASE 'name' [AS 'password'], ..."};
    }
    std::map<std::string, std::string> passwords;
    std::string warnings;
    if (!read_password_file(config_.data_dir / kPasswordFileName, passwords, warnings, error)) {
        log_line(error);
        return {kStatusPasswordFileUnreadable,
                "The server cannot read its password file; no database was opened."};
    }
    if (!warnings.empty()) log_line(warnings.substr(0, warnings.size() - 1));

    // Every name and password is checked before anything is opened.
    std::vector<std::filesystem::path> files;
    for (const DatabaseRequest& request : *list) {
        std::filesystem::path file = config_.data_dir / (request.name + ".db");
        std::error_code ec;
        if (!valid_database_name(request.name) || !std::filesystem::is_regular_file(file, ec)) {
            return {kStatusUnknownDatabase, "Unknown database '" + request.name + "'."};
        }
        const auto entry = passwords.find(request.name);
        if (entry != passwords.end() && request.password != entry->second) {
            return {kStatusWrongPassword, "Wrong password for database '" + request.name + "'."};
        }
        files.push_back(std::move(file));
    }
    for (size_t i = 0; i < list->size(); ++i) {
        const std::string& name = (*list)[i].name;
        const bool already_open =
            std::any_of(open_names_.begin(), open_names_.end(), [&](const std::string& open) {
                return strcasecmp(open.c_str(), name.c_str()) == 0;
            });
        if (already_open) continue;
        Outcome outcome = open_one(name, files[i]);
        if (outcome.status != kStatusOk) return outcome;
        open_names_.push_back(name);
    }
    std::string names;
    for (const std::string& name : open_names_)
        names += (names.empty() ? "" : ", ") + name;
    return {kStatusOk, "", "Databases open: " + names + "."};
}

// The first database replaces the scratch database as main, under its own
// name, so that unqualified names and new tables land in it and "name.table"
// works too; later ones are attached under their names.
Outcome Session::open_one(const std::string& name, const std::filesystem::path& file) {
    const std::string check = "SELECT count(*) FROM \"" + name + "\".sqlite_schema";
    if (main_schema_.empty()) {
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
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
    return {kStatusOk, ""};
}

// In write-ahead-log mode a reader that takes its time (a result read row
// by row) does not hold up writers, nor they it. The mode stays with the
// file, so only the first opening switches it.
void Session::use_wal(const std::string& name) {
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

int16_t Session::no_result(std::string& data) {
    data.clear();
    remember(kStatusEndOfData, "No result pending: the last statement returned no rows to read.");
    return kStatusEndOfData;
}

int16_t Session::end_of_rows(std::string& data) {
    data.clear();
    remember(kStatusEndOfData, "No further row: the result has been read to its end.");
    return kStatusEndOfData;
}

// A failure while reading ends the result; explain tells why.
int16_t Session::result_failure(const Outcome& outcome, std::string& data) {
    data.clear();
    drop_result();
    remember(outcome.status, outcome.text);
    return outcome.status;
}

Outcome Session::build_failure(BuildOutcome built, int sqlite_status) {
    switch (built) {
    case BuildOutcome::too_large:
        return {kStatusResultTooLarge,
                "The result is larger than this server keeps in memory (" +
                    std::to_string(config_.max_result_bytes) +
                    " bytes); it was discarded. Ask for fewer rows or columns, or read it as "
                    "value records."};
    case BuildOutcome::server_full:
        return {kStatusResultTooLarge,
                "The results kept by all connections would take more memory than this server "
                "allows (" +
                    std::to_string(config_.result_budget ? config_.result_budget->limit() : 0) +
                    " bytes); this one was discarded. Try again later, or read it as value "
                    "records."};
    case BuildOutcome::failed:
        return sqlite_failure(sqlite_status);
    case BuildOutcome::complete:
        break;
    }
    return {kStatusOk, ""};
}

// The line layout needs every row's width: the rows not yet read are read
// into memory, bounded as any kept result, and the cursor ends.
int16_t Session::load_lines() {
    if (result_ || !cursor_) return kStatusOk;
    auto result = std::make_unique<ResultSet>();
    int rc = SQLITE_DONE;
    BuildOutcome built = BuildOutcome::complete;
    if (cursor_->statement != nullptr) {
        begin_request();
        built = build_result(cursor_->statement, cursor_->has_row, config_.max_result_bytes,
                             config_.result_budget, *result, rc);
    } else {
        result->names = cursor_->names;
        compute_widths(*result);
    }
    cursor_.reset();
    if (built != BuildOutcome::complete) {
        const Outcome failure = build_failure(built, rc);
        const bool large = result->bytes >= kTrimAfterBytes;
        result.reset();
        if (large) malloc_trim(0);
        std::string unused;
        return result_failure(failure, unused);
    }
    result_ = std::move(result);
    return kStatusOk;
}

int16_t Session::header_line(std::string& data) {
    if (!result_ && !cursor_) return no_result(data);
    const int16_t status = load_lines();
    if (status != kStatusOk) {
        data.clear();
        return status;
    }
    data = dorvd::header_line(*result_);
    return kStatusOk;
}

int16_t Session::next_row_line(std::string& data) {
    if (!result_ && !cursor_) return no_result(data);
    const int16_t status = load_lines();
    if (status != kStatusOk) {
        data.clear();
        return status;
    }
    if (result_->next_row >= result_->row_count()) return end_of_rows(data);
    data = row_line(*result_, result_->next_row++);
    return kStatusOk;
}

int16_t Session::header_record(std::string& data) {
    if (result_) {
        data = dorvd::header_record(*result_);
    } else if (cursor_) {
        data.clear();
        for (const std::string& name : cursor_->names) {
            data += 'S';
            data += name;
            data += '\0';
        }
    } else {
        return no_result(data);
    }
    return kStatusOk;
}

int16_t Session::next_row_record(std::string& data) {
    data.clear();
    if (result_) {
        if (result_->next_row >= result_->row_count()) return end_of_rows(data);
        append_row_record(*result_, result_->next_row++, data);
        return kStatusOk;
    }
    if (!cursor_) return no_result(data);
    if (!cursor_->has_row) {
        if (cursor_->statement == nullptr) return end_of_rows(data);
        begin_request();
        const int rc = sqlite3_step(cursor_->statement);
        if (rc == SQLITE_DONE) {
            cursor_->finish();
            return end_of_rows(data);
        }
        if (rc != SQLITE_ROW) return result_failure(sqlite_failure(rc), data);
    }
    cursor_->has_row = false;
    append_row_record(cursor_->statement, cursor_->kinds, data);
    return kStatusOk;
}

} // namespace dorvd
