#include "server/backends/postgresql/pg_backend.h"

#include <algorithm>
#include <cstdlib>
#include <poll.h>

#include "server/base/client_watch.h"
#include "server/base/log.h"
#include "server/backends/postgresql/pg_admin.h"
#include "server/backends/postgresql/pg_roles.h"
#include "server/backends/postgresql/pg_status.h"
#include "server/base/status_codes.h"

namespace dorvd {
namespace {

// After a cancel request, how long the statement may take to end before its
// session is ended by the administrative connection (and opened afresh for
// the next statement): a statement that catches the cancel would run on.
constexpr auto kCancelGrace = std::chrono::seconds(1);
// A time limit is answered within a second of its value, also when PostgreSQL
// finishes a long call (a LIKE, say) before it looks at the cancel request:
// the session is then ended and the next statement opens a new one.
constexpr auto kTimeoutGrace = std::chrono::milliseconds(500);
constexpr int kPollSliceMs = 200;
constexpr const char* kSavepoint = "dorvd_statement";

constexpr const char* kUnreachable =
    "The server cannot reach its PostgreSQL database; try again later.";

// PostgreSQL's own schemas, dorvd's registry of roles and the schema every
// database has are not databases of this server.
bool reserved_schema(const std::string& name) {
    return name.rfind("pg_", 0) == 0 || name == "information_schema" || name == "public" ||
           name == kRegistrySchema;
}

} // namespace

// The session is opened by the first statement, as the role of what it
// opens when that is OPEN DATABASE.
PgBackend::PgBackend(const BackendConfig& config, int client_fd)
    : config_(config), client_fd_(client_fd), admin_(config.pg_admin) {}

PgBackend::~PgBackend() {
    drop_connection();
}

void PgBackend::drop_connection() {
    if (cancel_ != nullptr) PQfreeCancel(cancel_);
    if (conn_ != nullptr) PQfinish(conn_);
    cancel_ = nullptr;
    conn_ = nullptr;
    backend_pid_ = 0;
    statement_ = false;
    savepoint_ = false;
}

void PgBackend::use_session(PGconn* conn, PgLogin login) {
    drop_connection();
    conn_ = conn;
    login_ = std::move(login);
    cancel_ = PQgetCancel(conn_);
    backend_pid_ = PQbackendPID(conn_);
}

// A session as the login role of names, set up; null with failure set.
PGconn* PgBackend::open_session(const std::vector<std::string>& names, PgLogin& login,
                                Outcome& failure) {
    if (!admin_) {
        failure = {kStatusDatabaseUnreachable, kUnreachable};
        return nullptr;
    }
    if (!admin_->login_for(names, login, failure)) return nullptr;
    std::string error;
    PGconn* conn = pg_open(config_.pg_conninfo, "dorvd", &login, admin_->session_options(), error);
    // A client may have changed its role's password: set it again and try once more.
    if (conn == nullptr && admin_->restore_login(login)) {
        conn = pg_open(config_.pg_conninfo, "dorvd", &login, admin_->session_options(), error);
    }
    if (conn != nullptr && !set_up_session(conn, login.user, names, true)) {
        error = "cannot set up the session: " + pg_message(conn);
        PQfinish(conn);
        conn = nullptr;
    }
    if (conn == nullptr) {
        log_line("cannot reach PostgreSQL: " + error);
        connect_failure_logged_ = true;
        failure = {kStatusDatabaseUnreachable, kUnreachable};
        return nullptr;
    }
    if (connect_failure_logged_) log_line("PostgreSQL reached again");
    connect_failure_logged_ = false;
    return conn;
}

// What the server relies on, whatever a client stored in its role: the
// formats and time-outs come with the session's start (its options), a
// role the client made the default is left (on a fresh session), and
// settings the client stored (ALTER ROLE ... SET) are put back as the
// administrative connection has them and, on a fresh session, cleared from
// the role. Also after the client's RESET ALL or ROLLBACK, which bring the
// stored settings and the old search path back.
bool PgBackend::set_up_session(PGconn* conn, const std::string& role,
                               const std::vector<std::string>& names, bool fresh) {
    const std::string stored_query = std::string(fresh ? "SET ROLE NONE; " : "") +
                                     "SELECT name FROM pg_catalog.pg_settings WHERE source IN "
                                     "('user', 'database user')";
    const PgResult stored(PQexec(conn, stored_query.c_str()));
    if (!stored.ok()) return false;
    std::string list;
    for (int row = 0; row < stored.rows(); ++row) {
        const std::string name = stored.text(row, 0);
        std::string value;
        if (admin_->baseline(name, value)) {
            const PgResult put =
                pg_run(conn, "SELECT pg_catalog.set_config($1, $2, false)", {name, value});
            if (!put.ok()) log_line("cannot put back setting " + name + ": " + put.message());
        }
        list += (list.empty() ? "" : ", ") + name;
    }
    if (fresh && !list.empty()) admin_->clear_settings(role, list);
    return apply_search_path(conn, names);
}

// The settings the client made in its old session (SET TimeZone, ...) go
// on in the new one; its temporary tables and prepared statements do not.
void PgBackend::carry_settings(PGconn* from, PGconn* to) {
    const PgResult made =
        pg_run(from, "SELECT name, setting FROM pg_catalog.pg_settings WHERE source = 'session' "
                     "AND name <> 'search_path' AND name NOT LIKE 'transaction\\_%'");
    for (int row = 0; row < made.rows(); ++row) {
        pg_run(to, "SELECT pg_catalog.set_config($1, $2, false)",
               {made.text(row, 0), made.text(row, 1)});
    }
}

bool PgBackend::ensure_connection(Outcome& failure) {
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) return true;
    drop_connection();
    PgLogin login;
    PGconn* conn = open_session(open_names_, login, failure);
    if (conn == nullptr) return false;
    use_session(conn, std::move(login));
    return true;
}

// The server's own statement, run to its end; true when it succeeded.
bool PgBackend::run_internal(const std::string& sql) {
    return pg_run(conn_, sql).ok();
}

// The first database opened comes first, so that unqualified names resolve
// there first; before any, the session's temporary schema is the scratch
// database.
bool PgBackend::apply_search_path(PGconn* conn, const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names)
        path += (path.empty() ? "" : ", ") + pg_identifier(conn, name);
    return pg_run(conn, "SET search_path = " + (path.empty() ? std::string("pg_temp") : path)).ok();
}

// The statement time-out bounds the work of one request: a result read row
// by row may take as long as its client reads.
void PgBackend::begin_request() {
    stop_reason_ = StopReason::none;
    session_ended_ = false;
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

// A statement that did not stop within the grace after its cancel (a DO
// block can catch the cancel) would run on in PostgreSQL: the
// administrative connection ends its session.
void PgBackend::end_stopped_session() {
    session_ended_ = admin_ && backend_pid_ > 0 && admin_->end_session(backend_pid_);
    log_line("PostgreSQL session " + std::to_string(backend_pid_) +
             (session_ended_ ? " did not stop when cancelled and was ended"
                             : " did not stop when cancelled and could not be ended"));
}

// Waits until a whole result can be read, stopping the statement when the
// server shuts down, the time limit passes or the client has gone. False
// when the connection failed or the statement would not stop (its session
// is then ended).
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
            if (now - cancelled_at_ > grace) {
                end_stopped_session();
                return false;
            }
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
        if (!session_ended_)
            log_line(stop_reason_ == StopReason::timeout
                         ? std::string("PostgreSQL did not stop a statement past its time limit; "
                                       "its session is given up")
                         : "the connection to PostgreSQL failed: " + pg_message(conn_));
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
        set_up_session(conn_, login_.user, open_names_, false);
    }
    return note;
}

Outcome PgBackend::lost_connection() {
    return {kStatusDatabaseUnreachable,
            "The connection to PostgreSQL was lost; the statement's outcome is unknown."};
}

Outcome PgBackend::failure_of(const PGresult* result) {
    if (session_ended_) {
        const std::string ended = " It did not stop when asked, so its PostgreSQL session was "
                                  "ended (temporary tables are lost).";
        if (auto stopped = stopped_statement(stop_reason_, config_.statement_timeout_s, ended))
            return *stopped;
    }
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
    std::string text = primary ? primary : one_line(PQresultErrorMessage(result));
    if (sqlstate == "57014") {
        if (auto stopped = stopped_statement(stop_reason_, config_.statement_timeout_s))
            return *stopped;
    }
    // The extended query protocol takes one statement only.
    if (sqlstate == "42601" && text.rfind("cannot insert multiple commands", 0) == 0) {
        return {kStatusOneStatementOnly,
                "Only one statement per request: split the text at ';' before sending it."};
    }
    const int16_t status = sqlstate.empty() ? kStatusError : status_for_sqlstate(sqlstate);
    if (status == kStatusDatabaseUnreachable) log_line("PostgreSQL: " + text);
    return {status, std::move(text)};
}

Executed PgBackend::execute(std::string_view statement, const StatementKind& kind) {
    Executed executed;
    note_.clear();
    if (!ensure_connection(executed.outcome)) return executed;
    executed = run_sql(statement, kind);
    if (!note_.empty() && executed.outcome.status != kStatusOk) executed.outcome.text += note_;
    return executed;
}

// The session refuses COPY before it comes here: it reaches the database
// server's files and programs, or switches the session into a copy mode the
// block protocol does not carry.
Executed PgBackend::run_sql(std::string_view statement, const StatementKind& kind) {
    Executed executed;
    // Statements that begin, end or name transactions and savepoints run
    // without the server's savepoint around them: it would be in their way.
    if (PQtransactionStatus(conn_) == PQTRANS_INTRANS && !kind.transaction_control) {
        savepoint_ = run_internal(std::string("SAVEPOINT ") + kSavepoint);
    }
    // These may undo the session's settings or OPEN DATABASE's search_path.
    reset_path_ = reset_path_ || kind.may_reset_settings;
    const std::string text(statement);
    // Rows come one at a time; those of a statement that changes data are
    // read to its end at once (and bounded as they come).
    const bool streaming = !kind.writes_data;
    // The extended protocol refuses a second statement behind the first.
    if (PQsendQueryParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 0) {
        executed.outcome = lost_connection();
        log_line("cannot send a statement to PostgreSQL: " + pg_message(conn_));
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
        if (kind.writes_data) {
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
        executed.outcome = {kStatusNotAuthorized, "not authorized: COPY is not for clients."};
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

DatabaseLookup PgBackend::find_database(const std::string& name, Outcome& failure) {
    if (reserved_schema(name)) return DatabaseLookup::missing;
    PgAdmin::Lookup found = PgAdmin::Lookup::failed;
    if (admin_) found = admin_->find_database(name);
    if (found == PgAdmin::Lookup::failed) {
        failure = {kStatusDatabaseUnreachable, kUnreachable};
        return DatabaseLookup::failed;
    }
    return found == PgAdmin::Lookup::found ? DatabaseLookup::found : DatabaseLookup::missing;
}

// The new session is opened before the old one is let go, so a failure
// leaves the session as it was.
Outcome PgBackend::open_databases(const std::vector<std::string>& names,
                                  std::vector<std::string>& open_now) {
    std::vector<std::string> wanted = open_names_;
    for (const std::string& name : names) {
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end()) wanted.push_back(name);
    }
    if (wanted == open_names_) return reapply_search_path(open_now);
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK &&
        PQtransactionStatus(conn_) != PQTRANS_IDLE) {
        return {kStatusError,
                "A further database cannot be opened inside a transaction: end it with "
                "COMMIT or ROLLBACK first."};
    }
    Outcome failure;
    PgLogin login;
    PGconn* wider = open_session(wanted, login, failure);
    if (wider == nullptr) return failure;
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) carry_settings(conn_, wider);
    use_session(wider, std::move(login));
    open_names_ = std::move(wanted);
    open_now = open_names_;
    return {kStatusOk, ""};
}

// Nothing new to open: the search path is set again, as the client may have changed it.
Outcome PgBackend::reapply_search_path(std::vector<std::string>& open_now) {
    Outcome failure;
    if (!ensure_connection(failure)) return failure;
    if (!apply_search_path(conn_, open_names_)) {
        if (PQstatus(conn_) != CONNECTION_OK) return lost_connection();
        return {kStatusError, "Cannot open the databases: " + pg_message(conn_)};
    }
    // A search_path set inside the client's transaction goes with its rollback.
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) reset_path_ = true;
    open_now = open_names_;
    return {kStatusOk, ""};
}

std::string PgBackend::version() const {
    const int number = admin_ ? admin_->server_version() : 0;
    if (number <= 0) return "PostgreSQL, not reachable";
    // From version 10 on the number is major * 10000 + minor.
    if (number >= 100000) {
        return "PostgreSQL " + std::to_string(number / 10000) + "." +
               std::to_string(number % 10000);
    }
    return "PostgreSQL " + std::to_string(number / 10000) + "." +
           std::to_string(number / 100 % 100) + "." + std::to_string(number % 100);
}

std::unique_ptr<Backend> make_pg_backend(const BackendConfig& config, int client_fd) {
    return std::make_unique<PgBackend>(config, client_fd);
}

} // namespace dorvd
