// One connection's database work: its SQLite handle, the databases it has
// opened, its pending result and the explanation of its last status.
// Statements come in as UTF-8; results are kept as the wire carries them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

#include "server/result_budget.h"
#include "server/result_builder.h"
#include "server/result_set.h"
#include "server/row_cursor.h"

namespace dorvd {

struct SessionConfig {
    std::filesystem::path data_dir;
    size_t max_result_bytes = 16 * 1024 * 1024; // also the largest single value
    size_t max_scratch_bytes = 64 * 1024 * 1024;
    int statement_timeout_s = 60; // 0: no limit
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
    std::string text;        // the message for the client, UTF-8; may be empty
    std::string explanation; // what explain answers when it differs from text
};

class Session {
  public:
    // client_fd, when given, is watched while a statement runs: a statement
    // whose client has closed the connection is stopped.
    explicit Session(SessionConfig config, int client_fd = -1);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // False when not even the scratch database could be opened.
    bool ready() const { return db_ != nullptr; }

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

  private:
    enum class StopReason { none, shutdown, timeout, client_gone };

    bool open_scratch();
    bool bound_scratch(sqlite3* db, const char* schema);
    void configure(sqlite3* db);
    Outcome run_sql(std::string_view statement);
    Outcome open_databases(std::string_view statement);
    Outcome open_one(const std::string& name, const std::filesystem::path& file);
    Outcome sqlite_failure(int code);
    void use_wal(const std::string& name);
    std::string refusal(std::string what);
    int16_t end_of_rows(std::string& data);
    int16_t load_lines();
    Outcome build_failure(BuildOutcome built, int sqlite_status);
    int16_t result_failure(const Outcome& outcome, std::string& data);
    void begin_request();
    void drop_result();
    int16_t no_result(std::string& data);
    void remember(int16_t status, std::string explanation);

    static int authorize(void* self, int action, const char*, const char*, const char*,
                         const char*);
    static int progress(void* self);

    SessionConfig config_;
    int client_fd_ = -1;
    sqlite3* db_ = nullptr;
    // SQLite keeps a pointer to the main database's schema name: it lives as
    // long as the handle and never changes.
    std::string main_schema_;
    std::vector<std::string> open_names_;
    bool internal_ = false; // the server's own statement: the authorizer lets it pass
    std::string denial_;    // why the authorizer refused the statement being prepared
    StopReason stop_reason_ = StopReason::none;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::steady_clock::time_point next_client_check_;
    std::unique_ptr<RowCursor> cursor_; // a query read as the client asks for rows
    std::unique_ptr<ResultSet> result_; // a result kept in memory
    int16_t last_status_ = 0;
    std::string explanation_ = "No statement executed yet.";
};

} // namespace dorvd
