#include "server/pg_backend.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <poll.h>

#include "server/client_watch.h"
#include "server/log.h"
#include "server/open_request.h"
#include "server/pg_status.h"
#include "server/status_codes.h"

namespace dorvd {
namespace {

// After a cancel request, how long the statement may take to end before the
// connection is given up (and opened afresh for the next statement).
constexpr auto kCancelGrace = std::chrono::seconds(10);
// A time limit is answered within a second of its value, also when PostgreSQL
// finishes a long call (a LIKE, say) before it looks at the cancel request:
// the session is then given up and the next statement opens a new one.
constexpr auto kTimeoutGrace = std::chrono::milliseconds(500);
constexpr int kPollSliceMs = 200;
constexpr const char* kSavepoint = "dorvd_statement";

// Dates, times and the session's own settings in the forms the value records
// and the rest of the server read.
constexpr const char* kSessionSettings =
    "SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET bytea_output = 'hex'";

// The statement's first keyword, behind blanks, comments and parentheses.
std::string first_word_upper(std::string_view statement) {
    size_t pos = 0;
    for (;;) {
        while (
            pos < statement.size() &&
            (std::isspace(static_cast<unsigned char>(statement[pos])) || statement[pos] == '(')) {
            ++pos;
        }
        if (statement.substr(pos, 2) == "--") {
            pos = statement.find('\n', pos);
        } else if (statement.substr(pos, 2) == "/*") {
            pos = statement.find("*/", pos + 2);
            if (pos != std::string_view::npos) pos += 2;
        } else {
            break;
        }
        if (pos == std::string_view::npos) return "";
    }
    std::string word;
    while (pos < statement.size() && std::isalpha(static_cast<unsigned char>(statement[pos]))) {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(statement[pos++])));
    }
    return word;
}

bool is_data_change(const std::string& word) {
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "MERGE";
}

// Statements that begin, end or name transactions and savepoints run without
// the server's savepoint around them: it would be in their way.
bool is_transaction_control(const std::string& word) {
    return word == "BEGIN" || word == "START" || word == "COMMIT" || word == "END" ||
           word == "ROLLBACK" || word == "ABORT" || word == "SAVEPOINT" || word == "RELEASE" ||
           word == "PREPARE";
}

std::string rows_affected(long long count) {
    return std::to_string(count) + (count == 1 ? " row affected" : " rows affected");
}

// libpq's messages as one log line: its line breaks become "; ".
std::string trimmed(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            line += "; ";
        } else if (c != '\t') {
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';'))
        line.pop_back();
    return line;
}

// PostgreSQL's notices ("... does not exist, skipping") are no failures: the
// client's status says what happened, and the log stays for the server's events.
void ignore_notice(void*, const char*) {}

// PostgreSQL's own schemas are not databases of this server.
bool reserved_schema(const std::string& name) {
    return name.rfind("pg_", 0) == 0 || name == "information_schema";
}

struct ResultGuard {
    PGresult* result = nullptr;
    ~ResultGuard() { PQclear(result); }
};

} // namespace

PgBackend::PgBackend(const SessionConfig& config, int client_fd)
    : config_(config), client_fd_(client_fd) {
    std::string error;
    if (!connect(error)) {
        log_line("cannot reach PostgreSQL: " + error);
        connect_failure_logged_ = true;
    }
}

PgBackend::~PgBackend() {
    drop_connection();
}

void PgBackend::drop_connection() {
    if (cancel_ != nullptr) PQfreeCancel(cancel_);
    if (conn_ != nullptr) PQfinish(conn_);
    cancel_ = nullptr;
    conn_ = nullptr;
    statement_ = false;
    savepoint_ = false;
}

bool PgBackend::connect(std::string& error) {
    // The connection string is expanded as given; the application name is
    // only a fallback, so the string may name its own.
    const char* keys[] = {"dbname", "fallback_application_name", nullptr};
    const char* values[] = {config_.pg_conninfo.c_str(), "dorvd", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
        error = conn_ ? trimmed(PQerrorMessage(conn_)) : "out of memory";
        drop_connection();
        return false;
    }
    PQsetNoticeProcessor(conn_, ignore_notice, nullptr);
    if (PQsetClientEncoding(conn_, "UTF8") != 0 || !run_internal(kSessionSettings) ||
        !apply_search_path()) {
        error = "cannot set up the session: " + trimmed(PQerrorMessage(conn_));
        drop_connection();
        return false;
    }
    cancel_ = PQgetCancel(conn_);
    return true;
}

bool PgBackend::ensure_connection(Outcome& failure) {
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) return true;
    drop_connection();
    std::string error;
    if (connect(error)) {
        if (connect_failure_logged_) log_line("PostgreSQL reached again");
        connect_failure_logged_ = false;
        return true;
    }
    log_line("cannot reach PostgreSQL: " + error);
    connect_failure_logged_ = true;
    failure = {kStatusDatabaseUnreachable,
               "The server cannot reach its PostgreSQL database; try again later."};
    return false;
}

// The server's own statement, run to its end; true when it succeeded.
bool PgBackend::run_internal(const std::string& sql) {
    ResultGuard guard{PQexec(conn_, sql.c_str())};
    const ExecStatusType status = PQresultStatus(guard.result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// The first database opened comes first, so that unqualified names and new
// tables land in it; before any, the session's temporary schema is the
// scratch database.
bool PgBackend::apply_search_path() {
    std::string path;
    for (const std::string& name : open_names_) {
        char* quoted = PQescapeIdentifier(conn_, name.c_str(), name.size());
        if (quoted == nullptr) return false;
        path += (path.empty() ? "" : ", ") + std::string(quoted);
        PQfreemem(quoted);
    }
    return run_internal("SET search_path = " + (path.empty() ? std::string("pg_temp") : path));
}

// The statement time-out bounds the work of one request: a result read row
// by row may take as long as its client reads.
void PgBackend::begin_request() {
    stop_reason_ = StopReason::none;
    const auto now = std::chrono::steady_clock::now();
    deadline_ = now + std::chrono::seconds(config_.statement_timeout_s);
    next_client_check_ = now + kClientCheckInterval;
}

void PgBackend::cancel_statement(StopReason reason) {
    stop_reason_ = reason;
    cancelled_at_ = std::chrono::steady_clock::now();
    char error[256] = "";
    if (cancel_ == nullptr || PQcancel(cancel_, error, sizeof error) == 0) {
        log_line(std::string("cannot cancel a PostgreSQL statement: ") + error);
    }
}

// Waits until a whole result can be read, stopping the statement when the
// server shuts down, the time limit passes or the client has gone. False
// when the connection failed or the statement would not stop.
bool PgBackend::wait_for_input() {
    while (PQisBusy(conn_)) {
        pollfd watch{PQsocket(conn_), POLLIN, 0};
        const int ready = poll(&watch, 1, kPollSliceMs);
        if (ready > 0 && PQconsumeInput(conn_) == 0) return false;
        // Notifications of a client's LISTEN are not carried: they must not pile up.
        while (PGnotify* notice = PQnotifies(conn_))
            PQfreemem(notice);
        const auto now = std::chrono::steady_clock::now();
        if (stop_reason_ != StopReason::none) {
            const auto grace = stop_reason_ == StopReason::timeout ? kTimeoutGrace : kCancelGrace;
            if (now - cancelled_at_ > grace) return false;
            continue;
        }
        if (config_.stopping != nullptr && config_.stopping->load()) {
            cancel_statement(StopReason::shutdown);
        } else if (config_.statement_timeout_s > 0 && now >= deadline_) {
            cancel_statement(StopReason::timeout);
        } else if (client_fd_ >= 0 && now >= next_client_check_) {
            next_client_check_ = now + kClientCheckInterval;
            if (client_gone(client_fd_)) cancel_statement(StopReason::client_gone);
        }
    }
    return true;
}

PGresult* PgBackend::next_result() {
    if (conn_ == nullptr || !statement_) return nullptr;
    if (!wait_for_input()) {
        log_line(stop_reason_ == StopReason::timeout
                     ? std::string("PostgreSQL did not stop a statement past its time limit; its "
                                   "session is given up")
                     : "the connection to PostgreSQL failed: " + trimmed(PQerrorMessage(conn_)));
        drop_connection();
        return nullptr;
    }
    PGresult* result = PQgetResult(conn_);
    if (result == nullptr) statement_ = false;
    return result;
}

void PgBackend::finish_statement(bool cancel) {
    if (cancel && statement_ && stop_reason_ == StopReason::none) {
        cancel_statement(StopReason::abandoned);
    }
    while (PGresult* result = next_result())
        PQclear(result);
    note_ += settle();
}

// After the statement: its savepoint is let go, or rolled back to when the
// statement failed. A transaction left failed without one (a failing COMMIT
// or ROLLBACK TO) is rolled back whole, so the next statement runs.
std::string PgBackend::settle() {
    if (conn_ == nullptr) return "";
    std::string note;
    if (savepoint_) {
        savepoint_ = false;
        if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
            run_internal(std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint);
        }
        if (PQtransactionStatus(conn_) == PQTRANS_INTRANS) {
            run_internal(std::string("RELEASE SAVEPOINT ") + kSavepoint);
        }
    }
    if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
        run_internal("ROLLBACK");
        note = " The transaction was rolled back.";
        reset_path_ = true;
    }
    if (reset_path_ && PQtransactionStatus(conn_) == PQTRANS_IDLE) {
        reset_path_ = false;
        run_internal(kSessionSettings);
        apply_search_path();
    }
    return note;
}

Outcome PgBackend::lost_connection() {
    return {kStatusDatabaseUnreachable,
            "The connection to PostgreSQL was lost; the statement's outcome is unknown."};
}

Outcome PgBackend::failure_of(const PGresult* result) {
    if (result == nullptr || conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
        if (stop_reason_ == StopReason::timeout) {
            return {kStatusStatementTimeout,
                    "The statement ran longer than this server allows (" +
                        std::to_string(config_.statement_timeout_s) +
                        " s) and was stopped; its PostgreSQL session was closed (a transaction "
                        "open in it was rolled back)."};
        }
        return lost_connection();
    }
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    const std::string sqlstate = state ? state : "";
    std::string text = primary ? primary : trimmed(PQresultErrorMessage(result));
    if (sqlstate == "57014") {
        switch (stop_reason_) {
        case StopReason::timeout:
            return {kStatusStatementTimeout, "The statement ran longer than this server allows (" +
                                                 std::to_string(config_.statement_timeout_s) +
                                                 " s) and was stopped."};
        case StopReason::client_gone:
            return {9, "The statement was stopped: the client closed the connection."};
        case StopReason::shutdown:
            return {9, "The statement was stopped: the server is shutting down."};
        case StopReason::abandoned:
        case StopReason::none:
            break;
        }
    }
    // The extended query protocol takes one statement only.
    if (sqlstate == "42601" && text.rfind("cannot insert multiple commands", 0) == 0) {
        return {kStatusOneStatementOnly,
                "Only one statement per request: split the text at ';' before sending it."};
    }
    const int16_t status = sqlstate.empty() ? int16_t{1} : status_for_sqlstate(sqlstate);
    if (status == kStatusDatabaseUnreachable) log_line("PostgreSQL: " + text);
    return {status, std::move(text)};
}

Executed PgBackend::execute(std::string_view statement) {
    Executed executed;
    note_.clear();
    if (!ensure_connection(executed.outcome)) return executed;
    if (is_open_database(statement)) {
        executed.outcome = open_databases(statement);
        executed.outcome.text += settle();
        return executed;
    }
    executed = run_sql(statement);
    if (!note_.empty() && executed.outcome.status != kStatusOk) executed.outcome.text += note_;
    return executed;
}

Executed PgBackend::run_sql(std::string_view statement) {
    Executed executed;
    const std::string word = first_word_upper(statement);
    // COPY reaches the database server's files and programs, or switches
    // the session into a copy mode the block protocol does not carry.
    if (word == "COPY") {
        executed.outcome = {23, "not authorized: COPY is not for clients: it reaches the "
                                "database server's files and programs. Use SELECT and INSERT."};
        return executed;
    }
    if (PQtransactionStatus(conn_) == PQTRANS_INTRANS && !is_transaction_control(word)) {
        savepoint_ = run_internal(std::string("SAVEPOINT ") + kSavepoint);
    }
    // These may undo the session's settings or OPEN DATABASE's search_path.
    reset_path_ = reset_path_ || word == "ROLLBACK" || word == "ABORT" || word == "RESET" ||
                  word == "DISCARD";
    const std::string text(statement);
    // Rows come one at a time; those of a statement that changes data are
    // read to its end at once (and bounded as they come).
    const bool streaming = !is_data_change(word);
    // The extended protocol refuses a second statement behind the first.
    if (PQsendQueryParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 0) {
        executed.outcome = lost_connection();
        log_line("cannot send a statement to PostgreSQL: " + trimmed(PQerrorMessage(conn_)));
        drop_connection();
        return executed;
    }
    statement_ = true;
    PQsetSingleRowMode(conn_);
    PGresult* first = next_result();
    switch (PQresultStatus(first)) {
    case PGRES_SINGLE_TUPLE:
    case PGRES_TUPLES_OK: {
        auto rows = std::make_unique<PgRows>(*this, first, streaming);
        const Step step = streaming ? rows->take(first) : rows->hold_all(first);
        if (step == Step::failed) {
            executed.outcome = rows->failure();
            return executed;
        }
        if (!streaming) {
            executed.keep_whole = true;
            executed.outcome = {kStatusOk, rows_affected(rows->affected())};
        }
        executed.has_row = step == Step::row;
        executed.rows = std::move(rows);
        return executed;
    }
    case PGRES_COMMAND_OK:
        if (is_data_change(word)) {
            executed.outcome = {kStatusOk, rows_affected(std::atoll(PQcmdTuples(first)))};
        }
        break;
    case PGRES_EMPTY_QUERY:
        executed.outcome = {kStatusOk, "", "Empty statement: nothing executed."};
        break;
    case PGRES_COPY_IN:
    case PGRES_COPY_OUT:
    case PGRES_COPY_BOTH:
        // COPY that got past the check above is refused too.
        executed.outcome = {23, "not authorized: COPY is not for clients."};
        if (PQresultStatus(first) == PGRES_COPY_OUT) {
            cancel_statement(StopReason::abandoned);
            char* buffer = nullptr;
            while (PQgetCopyData(conn_, &buffer, 0) > 0)
                PQfreemem(buffer);
        } else {
            PQputCopyEnd(conn_, "refused by dorvd");
        }
        PQclear(first);
        finish_statement(false);
        return executed;
    default:
        executed.outcome = failure_of(first);
        break;
    }
    PQclear(first);
    finish_statement(false);
    return executed;
}

bool PgBackend::schema_exists(const std::string& name, bool& exists) {
    const char* values[] = {name.c_str()};
    ResultGuard guard{PQexecParams(conn_,
                                   "SELECT 1 FROM pg_catalog.pg_namespace WHERE nspname = $1", 1,
                                   nullptr, values, nullptr, nullptr, 0)};
    if (PQresultStatus(guard.result) != PGRES_TUPLES_OK) return false;
    exists = PQntuples(guard.result) > 0;
    return true;
}

Outcome PgBackend::open_databases(std::string_view statement) {
    Outcome failure;
    const auto request_read = read_open_request(statement, config_.data_dir, failure);
    if (!request_read) return failure;
    const OpenRequest& open = *request_read;

    // Every name and password is checked before anything is opened.
    for (const DatabaseRequest& request : open.databases) {
        bool exists = false;
        if (valid_database_name(request.name) && !reserved_schema(request.name) &&
            !schema_exists(request.name, exists)) {
            if (PQstatus(conn_) != CONNECTION_OK) return lost_connection();
            return {1, "Cannot look up database '" + request.name +
                           "': " + trimmed(PQerrorMessage(conn_))};
        }
        if (!exists) return {kStatusUnknownDatabase, "Unknown database '" + request.name + "'."};
        if (auto wrong = wrong_password(open, request)) return *wrong;
    }
    const std::vector<std::string> before = open_names_;
    for (const DatabaseRequest& request : open.databases) {
        if (std::find(open_names_.begin(), open_names_.end(), request.name) == open_names_.end()) {
            open_names_.push_back(request.name);
        }
    }
    if (!apply_search_path()) {
        open_names_ = before;
        Outcome failure{1, "Cannot open the databases: " + trimmed(PQerrorMessage(conn_))};
        if (PQstatus(conn_) != CONNECTION_OK) failure = lost_connection();
        return failure;
    }
    // A search_path set inside the client's transaction goes with its rollback.
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) reset_path_ = true;
    return databases_open(open_names_);
}

std::string PgBackend::version() const {
    const int number = conn_ != nullptr ? PQserverVersion(conn_) : 0;
    if (number <= 0) return "PostgreSQL, not reachable";
    // From version 10 on the number is major * 10000 + minor.
    if (number >= 100000) {
        return "PostgreSQL " + std::to_string(number / 10000) + "." +
               std::to_string(number % 10000);
    }
    return "PostgreSQL " + std::to_string(number / 10000) + "." +
           std::to_string(number / 100 % 100) + "." + std::to_string(number % 100);
}

std::unique_ptr<Backend> make_pg_backend(const SessionConfig& config, int client_fd) {
    return std::make_unique<PgBackend>(config, client_fd);
}

} // namespace dorvd
