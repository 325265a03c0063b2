#include "server/session/session.h"

#include <malloc.h>

#include "server/base/status_codes.h"

namespace dorvd {
namespace {

// After a kept result at least this large is dropped, freed memory goes back
// to the system (the allocator would otherwise keep it for the thread).
constexpr size_t kTrimAfterBytes = 1024 * 1024;

// Lets a result go; after a large one, freed memory goes back to the system.
void free_result(std::unique_ptr<ResultSet>& result) {
    const bool large = result && result->bytes >= kTrimAfterBytes;
    result.reset();
    if (large) malloc_trim(0);
}

// Ends the request's work on the backend when a session call returns.
struct RequestEnd {
    explicit RequestEnd(Backend& ended) : backend(ended) {}
    RequestEnd(const RequestEnd&) = delete;
    RequestEnd& operator=(const RequestEnd&) = delete;
    ~RequestEnd() { backend.end_request(); }
    Backend& backend;
};

} // namespace

Session::Session(SessionConfig config, int client_fd)
    : config_(std::move(config)), backend_(make_backend(config_, client_fd)) {}

// The rows go before the backend that made them.
Session::~Session() {
    drop_result();
}

void Session::remember(int16_t status, std::string explanation) {
    last_status_ = status;
    explanation_ = std::move(explanation);
}

void Session::drop_result() {
    cursor_.reset();
    free_result(result_);
}

Outcome Session::execute(std::string_view statement) {
    const RequestEnd end(*backend_);
    drop_result();
    backend_->begin_request();
    Outcome outcome;
    if (statement.find('\0') != std::string_view::npos) {
        outcome = {kStatusBadStatementText, "The statement text contains a zero byte."};
    } else {
        Executed executed = run_statement(statement);
        outcome = std::move(executed.outcome);
        if (outcome.status == kStatusOk && executed.rows) {
            cursor_ = std::make_unique<RowCursor>(std::move(executed.rows), executed.has_row);
            // Rows of a statement that changed data are read at once, so
            // that its changes are not held open by a reader.
            if (executed.keep_whole) {
                const int16_t status = load_lines();
                if (status != kStatusOk) return {status, explanation_};
            }
        }
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

bool Session::holds_transaction() const {
    return (cursor_ && cursor_->rows) || backend_->in_transaction();
}

int16_t Session::no_result() {
    remember(kStatusEndOfData, "No result pending: the last statement returned no rows to read.");
    return kStatusEndOfData;
}

int16_t Session::end_of_rows() {
    remember(kStatusEndOfData, "No further row: the result has been read to its end.");
    return kStatusEndOfData;
}

// A failure while reading ends the result; explain tells why.
int16_t Session::result_failure(const Outcome& outcome) {
    drop_result();
    remember(outcome.status, outcome.text);
    return outcome.status;
}

Outcome Session::build_failure(BuildOutcome built, BackendRows& rows) const {
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
    case BuildOutcome::row_too_large:
        return row_too_large();
    case BuildOutcome::failed:
        return rows.failure();
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
    BuildOutcome built = BuildOutcome::complete;
    Outcome failure;
    if (cursor_->rows) {
        backend_->begin_request();
        built = build_result(*cursor_->rows, cursor_->has_row, config_.max_result_bytes,
                             config_.result_budget, *result);
        if (built != BuildOutcome::complete) failure = build_failure(built, *cursor_->rows);
    } else {
        result->names = cursor_->names;
    }
    cursor_.reset();
    if (built != BuildOutcome::complete) {
        free_result(result);
        return result_failure(failure);
    }
    result->serial = ++results_kept_;
    result_ = std::move(result);
    return kStatusOk;
}

// A line request: the kept result, read into memory unless it is already.
int16_t Session::lines_ready() {
    if (!result_ && !cursor_) return no_result();
    return load_lines();
}

int16_t Session::header_line(const ResultSet*& result) {
    const RequestEnd end(*backend_);
    result = nullptr;
    const int16_t status = lines_ready();
    if (status != kStatusOk) return status;
    result = result_.get();
    return kStatusOk;
}

int16_t Session::next_row_line(const ResultSet*& result, size_t& row) {
    const RequestEnd end(*backend_);
    result = nullptr;
    const int16_t status = lines_ready();
    if (status != kStatusOk) return status;
    if (result_->next_row >= result_->row_count()) return end_of_rows();
    result = result_.get();
    row = result_->next_row++;
    return kStatusOk;
}

int16_t Session::header_record(std::span<const std::string>& names) {
    const RequestEnd end(*backend_);
    names = {};
    if (result_) {
        names = result_->names;
    } else if (cursor_) {
        names = cursor_->names;
    } else {
        return no_result();
    }
    return kStatusOk;
}

int16_t Session::next_row_record(std::span<const Cell>& row) {
    const RequestEnd end(*backend_);
    row = {};
    if (result_) {
        if (result_->next_row >= result_->row_count()) return end_of_rows();
        row = result_->row(result_->next_row++);
        return kStatusOk;
    }
    if (!cursor_) return no_result();
    if (!cursor_->has_row) {
        if (!cursor_->rows) return end_of_rows();
        backend_->begin_request();
        const Step step = cursor_->rows->step();
        if (step == Step::done) {
            cursor_->finish();
            return end_of_rows();
        }
        if (step == Step::failed) return result_failure(cursor_->rows->failure());
    }
    cursor_->has_row = false;
    // The row is bounded before any of it is read, and it counts against the
    // server-wide bound until its record has gone out.
    const size_t bytes = cursor_->rows->row_bytes();
    if (bytes > config_.max_result_bytes) return result_failure(row_too_large());
    reply_share_.release();
    if (!reply_share_.cover(config_.result_budget, bytes))
        return result_failure(build_failure(BuildOutcome::server_full, *cursor_->rows));
    read_row(*cursor_->rows, cursor_->row);
    row = cursor_->row;
    return kStatusOk;
}

void Session::reply_sent() {
    if (cursor_) cursor_->row.clear();
    reply_share_.release();
}

Outcome Session::row_too_large() const {
    return {kStatusResultTooLarge,
            "A row of the result is larger than this server sends (" +
                std::to_string(config_.max_result_bytes) +
                " bytes); the result was discarded. Select fewer or shorter columns."};
}

} // namespace dorvd
