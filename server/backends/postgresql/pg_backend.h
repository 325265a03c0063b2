// The PostgreSQL backend: one libpq session per client connection, logged in
// as the role that holds exactly the databases (schemas) the client opened
// (pg_roles.h); opening more reconnects as the wider set's role. The opened
// schemas make the search_path; before any, the session stands on its
// temporary schema, the scratch database. Each statement runs in
// autocommit, or inside the client's own transaction behind a savepoint, so
// that a failure never leaves the session unusable.
#pragma once

#include <chrono>
#include <libpq-fe.h>
#include <string>
#include <vector>

#include "server/backends/backend.h"
#include "server/backends/statement_stop.h"
#include "server/backends/backend_choice.h"
#include "server/backends/date_text.h"
#include "server/backends/postgresql/pg_connect.h"

namespace dorvd {

class PgBackend final : public Backend {
  public:
    PgBackend(const BackendConfig& config, int client_fd);
    ~PgBackend() override;
    PgBackend(const PgBackend&) = delete;
    PgBackend& operator=(const PgBackend&) = delete;

    // A session that cannot reach PostgreSQL answers each statement with
    // status 210 and tries again on the next.
    bool ready() const override { return true; }
    void begin_request() override;
    Executed execute(std::string_view statement, const StatementKind& kind) override;
    // PostgreSQL's own schemas and dorvd's registry are no databases; a
    // lookup the administrative connection cannot make fails (status 210).
    DatabaseLookup find_database(const std::string& name, Outcome& failure) override;
    // A database not open yet needs a session as the role of the wider set.
    Outcome open_databases(const std::vector<std::string>& names,
                           std::vector<std::string>& open_now) override;
    std::string version() const override;
    bool in_transaction() const override {
        return conn_ != nullptr && (statement_ || PQtransactionStatus(conn_) != PQTRANS_IDLE);
    }

    // The next result of the running statement, waited for while watching
    // the time limit, the client and shutdown; null after the last one or
    // when the connection broke.
    PGresult* next_result();
    // Reads the running statement's remaining results and settles its
    // savepoint; with cancel, asks PostgreSQL to stop it first.
    void finish_statement(bool cancel);
    // The outcome of a failed result (null: the connection failed).
    Outcome failure_of(const PGresult* result);
    size_t max_value_bytes() const { return config_.max_result_bytes; }
    ResultBudget* result_budget() const { return config_.result_budget; }

  private:
    bool ensure_connection(Outcome& failure);
    PGconn* open_session(const std::vector<std::string>& names, PgLogin& login, Outcome& failure);
    bool set_up_session(PGconn* conn, const std::string& role,
                        const std::vector<std::string>& names, bool fresh);
    void use_session(PGconn* conn, PgLogin login);
    static void carry_settings(PGconn* from, PGconn* to);
    void drop_connection();
    bool wait_for_input();
    void cancel_statement(StopReason reason);
    void end_stopped_session();
    bool run_internal(const std::string& sql);
    static bool apply_search_path(PGconn* conn, const std::vector<std::string>& names);
    std::string settle();
    Executed run_sql(std::string_view statement, const StatementKind& kind);
    Outcome reapply_search_path(std::vector<std::string>& open_now);
    static Outcome lost_connection();

    BackendConfig config_;
    int client_fd_ = -1;
    std::shared_ptr<PgAdmin> admin_;
    PGconn* conn_ = nullptr;
    PGcancel* cancel_ = nullptr;
    PgLogin login_;       // the role conn_ logged in as
    int backend_pid_ = 0; // conn_'s process in PostgreSQL
    bool connect_failure_logged_ = false;
    std::vector<std::string> open_names_;
    bool savepoint_ = false;     // the running statement stands behind the server's savepoint
    bool statement_ = false;     // a statement was sent and its results are not all read
    bool reset_path_ = false;    // the running statement may undo the session's settings
    bool session_ended_ = false; // the stopped statement's session was ended
    std::string note_;           // what settling did that the client should learn
    StopReason stop_reason_ = StopReason::none;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::steady_clock::time_point next_client_check_;
    std::chrono::steady_clock::time_point cancelled_at_;
};

// A query's rows: streamed one at a time (single-row mode) while the
// statement runs, or, for a statement that changed data, all of them, read
// to the statement's end at once (each row as it comes, bounded).
class PgRows final : public BackendRows {
  public:
    PgRows(PgBackend& backend, const PGresult* shape, bool streaming);
    ~PgRows() override;
    PgRows(const PgRows&) = delete;
    PgRows& operator=(const PgRows&) = delete;

    // Takes the statement's next result (owned from here on) and says what it is.
    Step take(PGresult* result);
    // Reads the statement's rows to its end, first being the first, and
    // holds them; their bytes are bounded as a kept result's are. Rows past
    // the bound are read and dropped, so that the statement ends as it
    // would have (its changes stand), and the result is refused (status 204).
    Step hold_all(PGresult* first);
    // The statement's count of rows, once its rows are all read.
    long long affected() const { return affected_; }

    const std::vector<std::string>& names() const override { return names_; }
    Step step() override;
    Outcome failure() override { return failure_; }
    // Numbers 'N' with PostgreSQL's text, date 'D' and timestamps and times
    // 'T' with 14 digits, bytea as hexadecimal text, NULL as empty text,
    // everything else 'S'.
    void read_cell(size_t column, Cell& cell, bool with_stored) override;
    size_t row_bytes() override;

  private:
    enum class Kind { text, number, date, datetime, time, bytes };

    // A row read by hold_all: its values' texts, NULL as none.
    struct HeldRow {
        std::vector<std::string> values;
        std::vector<bool> nulls;
    };

    Step fail(Outcome outcome, bool cancel);
    bool within_bound();
    // The current row's value in column; null when it is NULL.
    std::string_view value(int column, bool& null) const;

    PgBackend& backend_;
    bool streaming_;
    bool finished_ = false; // the statement's results are all read
    PGresult* current_ = nullptr;
    int row_ = 0;               // the current row of current_
    std::vector<HeldRow> held_; // hold_all's rows
    size_t next_held_ = 0;      // the one after the current
    const HeldRow* held_row_ = nullptr;
    BudgetShare held_share_;
    long long affected_ = 0;
    std::vector<std::string> names_;
    std::vector<Kind> kinds_;
    Outcome failure_;
};

std::unique_ptr<Backend> make_pg_backend(const BackendConfig& config, int client_fd);

// At start: opens the administrative connection (choice.pg_admin), which
// logs PostgreSQL's version and checks the set-up, creates the sample
// schemas 'sample' and 'secret' when neither exists, or afresh (replacing
// them) when replace is set, and refuses (false, error saying why) when a
// client role could reach more than the databases it opens.
bool prepare_postgresql(BackendChoice& choice, bool replace, std::string& error);

} // namespace dorvd
