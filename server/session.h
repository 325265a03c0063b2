// One connection's statements and results as the wire carries them: the
// backend runs the statements; the session keeps the pending result, reads
// it as value records or line layout, and the explanation of the last
// status. Statements come in as UTF-8; results go out as wire text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/backend.h"
#include "server/result_builder.h"
#include "server/result_set.h"
#include "server/row_cursor.h"

namespace dorvd {

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

    // Result requests. Data are wire text (Roman-8), replacing what data
    // held (its memory is reused); a status of -9 means no further row, or no
    // pending result at all. A positive status ends the result; explain
    // gives its reason. Value records step the query as they are asked for;
    // the first line request reads the rows not yet read into memory, and
    // from then on both kinds of request take their rows from there.
    int16_t header_line(std::string& data);
    int16_t next_row_line(std::string& data);
    int16_t header_record(std::string& data);
    int16_t next_row_record(std::string& data);

    // The explanation of the last status, UTF-8.
    const std::string& explanation() const { return explanation_; }
    int16_t last_status() const { return last_status_; }

    // A transaction is open, or a result read row by row still holds what it read.
    bool holds_transaction() const;
    // The last reply's data has gone out: its share of the server-wide bound is given back.
    void reply_sent() { reply_share_.release(); }

  private:
    int16_t no_result(std::string& data);
    int16_t end_of_rows(std::string& data);
    int16_t load_lines();
    Outcome build_failure(BuildOutcome built, BackendRows& rows) const;
    Outcome row_too_large() const;
    int16_t result_failure(const Outcome& outcome, std::string& data);
    void drop_result();
    void remember(int16_t status, std::string explanation);

    SessionConfig config_;
    std::unique_ptr<Backend> backend_;
    std::unique_ptr<RowCursor> cursor_; // a query read as the client asks for rows
    std::unique_ptr<ResultSet> result_; // a result kept in memory
    BudgetShare reply_share_;           // a row read as a value record, until it is sent
    int16_t last_status_ = 0;
    std::string explanation_ = "No statement executed yet.";
};

} // namespace dorvd
