// What the PostgreSQL parts of dorvd share of libpq: opening a session from
// the configured connection string, running the server's own statements
// with their values as parameters, and libpq's messages as one log line.
#pragma once

#include <libpq-fe.h>
#include <string>
#include <vector>

namespace dorvd {

// A result, freed when it goes.
class PgResult {
  public:
    explicit PgResult(PGresult* result = nullptr) : result_(result) {}
    ~PgResult() { PQclear(result_); }
    PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    PGresult* get() const { return result_; }
    // The statement succeeded, with or without rows.
    bool ok() const;
    int rows() const { return PQntuples(result_); }
    // The text of a value; empty for NULL or a cell that is not there.
    std::string text(int row, int column) const;
    // "t" as PostgreSQL writes true.
    bool flag(int row, int column) const { return text(row, column) == "t"; }
    std::string sqlstate() const;
    // PostgreSQL's primary message, or libpq's when there is none.
    std::string message() const;

  private:
    PGresult* result_;
};

// Who a session logs in as; empty: as the connection string says.
struct PgLogin {
    std::string user;
    std::string password;
};

// Opens a session: the connection string as given (empty: libpq's defaults
// and the PG* variables), then login's user and password and options when
// given, which take the place of the string's own. application names the
// session unless the string names it. Null with error set when it fails.
PGconn* pg_open(const std::string& conninfo, const std::string& application, const PgLogin* login,
                const std::string& options, std::string& error);

// Runs one statement with text parameters ($1, $2, ...).
PgResult pg_run(PGconn* conn, const std::string& sql, const std::vector<std::string>& params = {});

// libpq's message text as one line: line breaks become "; ".
std::string one_line(const std::string& text);
// The connection's last message, as one line.
std::string pg_message(PGconn* conn);

// A name quoted as an identifier ("name"), and a text quoted as a literal.
std::string pg_identifier(PGconn* conn, const std::string& name);
std::string pg_literal(PGconn* conn, const std::string& text);

// The options the connection string (or PGOPTIONS) gives, so that options
// of dorvd's own can be added behind them.
std::string pg_configured_options(const std::string& conninfo);

} // namespace dorvd
