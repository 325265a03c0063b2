// One connection's statements and results: the backend runs the
// statements; the session keeps the pending result, hands out its rows for
// value records or the line layout, and the explanation of the last status.
// Statements come in and results go out as UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "server/backends/backend.h"
#include "server/backends/backend_choice.h"
#include "server/session/result_builder.h"
#include "server/session/result_set.h"
#include "server/session/row_cursor.h"

namespace dorvd {

// A session's configuration is its backend's: the limits and the choice.
using SessionConfig = BackendConfig;

class Session {
  public:
    // client_fd, when given, is watched while a statement runs: a statement
    // whose client has closed the connection is stopped.
    explicit Session(SessionConfig config, int client_fd = -1);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool ready() const { return backend_->ready(); }
    std::string backend_version() const { return backend_->version(); }

    // Runs one statement; its outcome's text is the message for the client
    // (for example "3 rows affected" or the failure's explanation), empty
    // when there is nothing to say. A query's rows become the pending result.
    Outcome execute(std::string_view statement);

    // Result requests: what they hand out is valid until the next call. A
    // status of -9 means no further row, or no pending result at all. A
    // positive status ends the result; explain gives its reason. Value
    // records step the query as they are asked for; the first line request
    // reads the rows not yet read into memory, and from then on both kinds
    // of request take their rows from there.
    //
    // Lines: the kept result, and for a row line the index of its next row.
    int16_t header_line(const ResultSet*& result);
    int16_t next_row_line(const ResultSet*& result, size_t& row);
    // Value records: the column names, or the next row's cells.
    int16_t header_record(std::span<const std::string>& names);
    int16_t next_row_record(std::span<const Cell>& row);

    // The explanation of the last status, UTF-8.
    const std::string& explanation() const { return explanation_; }
    int16_t last_status() const { return last_status_; }

    // A transaction is open, or a result read row by row still holds what it read.
    bool holds_transaction() const;
    // The last reply's data has gone out: the row it was made of and its
    // share of the server-wide bound are given back.
    void reply_sent();

  private:
    int16_t no_result();
    int16_t end_of_rows();
    int16_t load_lines();
    int16_t lines_ready();
    Outcome build_failure(BuildOutcome built, BackendRows& rows) const;
    Outcome row_too_large() const;
    int16_t result_failure(const Outcome& outcome);
    void drop_result();
    void remember(int16_t status, std::string explanation);

    // What the session answers itself (OPEN DATABASE, statements it
    // refuses); the rest goes to the backend.
    Executed run_statement(std::string_view statement);
    Outcome open_databases(std::string_view statement);

    SessionConfig config_;
    std::unique_ptr<Backend> backend_;
    std::unique_ptr<RowCursor> cursor_; // a query read as the client asks for rows
    std::unique_ptr<ResultSet> result_; // a result kept in memory
    uint64_t results_kept_ = 0;         // the serial of the last one
    BudgetShare reply_share_;           // a row read as a value record, until it is sent
    int16_t last_status_ = 0;
    std::string explanation_ = "No statement executed yet.";
};

} // namespace dorvd
