// The database side of dorvd, as the session sees it: say whether a database
// is there and open it, run one statement, step a query's rows and read
// their values as typed UTF-8 cells, explain a failure. Backends know
// nothing of blocks, Roman-8 or reply layouts.
// Each engine's folder under server/backends/ implements it; which one
// serves is chosen in backend_choice.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/backends/cell.h"
#include "server/base/result_budget.h"
#include "server/base/statement_kind.h"

namespace dorvd {

// What any backend holds to, whichever serves (backend_choice.h chooses).
struct BackendLimits {
    std::filesystem::path data_dir;
    size_t max_result_bytes = 16 * 1024 * 1024; // also the largest single value
    // The scratch database; the temporary database and temporary files together.
    size_t max_scratch_bytes = 64 * 1024 * 1024;
    size_t max_database_bytes = 0; // an opened database file; 0: no bound
    int statement_timeout_s = 60;  // 0: no limit
    // The bound all connections' kept results share; none when null.
    ResultBudget* result_budget = nullptr;
    // Set when the server shuts down; a running statement is interrupted.
    const std::atomic<bool>* stopping = nullptr;
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

// The text a statement that changed data answers: "1 row affected".
inline std::string rows_affected(long long count) {
    return std::to_string(count) + (count == 1 ? " row affected" : " rows affected");
}

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
    // Reads the current row's value in column into cell, replacing what it
    // held. A date's or time's text as stored goes to cell.stored only when
    // with_stored is set (the line layout shows it, a value record does not).
    virtual void read_cell(size_t column, Cell& cell, bool with_stored) = 0;
    // The bytes the current row's values take, measured before any is read:
    // a row is bounded by it before its values are copied or converted.
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

// Whether a backend has a database of a name.
enum class DatabaseLookup { found, missing, failed };

class Backend {
  public:
    virtual ~Backend() = default;
    // False when not even an empty session could be opened.
    virtual bool ready() const = 0;
    // Starts the time limit of one request's work.
    virtual void begin_request() = 0;
    // The request's work is over (its reply is made).
    virtual void end_request() {}
    // Runs one statement (UTF-8, no zero byte), classified by the session.
    // OPEN DATABASE comes here only when the backend is not ready.
    virtual Executed execute(std::string_view statement, const StatementKind& kind) = 0;
    // Whether the database name (a valid name) is there to be opened;
    // failed when the backend cannot tell, with failure set to the answer.
    virtual DatabaseLookup find_database(const std::string& name, Outcome& failure) = 0;
    // Opens, in order, those of names not open yet (each one found). On
    // success open_now receives every database now open, in the order opened.
    virtual Outcome open_databases(const std::vector<std::string>& names,
                                   std::vector<std::string>& open_now) = 0;
    // The engine's name and version, as the version reply shows it.
    virtual std::string version() const = 0;
    // A transaction is open (or a statement still holds what it read).
    virtual bool in_transaction() const = 0;
};

} // namespace dorvd
