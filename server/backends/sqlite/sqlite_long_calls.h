// SQL functions whose single call can run for a long time, in versions of
// the server's own that a statement's time limit can stop.
//
// SQLite looks at its time limit (the progress handler) only between the
// steps of a statement's program, and a function call is one step. For most
// functions a call is short (its work grows with its arguments, which are
// bounded by --max-result-bytes), but a few do work that grows with the
// product of two arguments' lengths: like() and glob() (the pattern against
// the text), instr(), replace() and trim(), ltrim(), rtrim() with a
// character set. One such call could run for hours. This server replaces
// them, on each of its connections, with versions that give the same results:
// instr() and replace() search in time that grows with the arguments' sum,
// and like(), glob() and the trims ask should_stop() as they go and end the
// statement (SQLITE_INTERRUPT) when it says so.
//
// SQLite also looks at its time limit only where a statement's program
// loops, so a row of many values is made whole before the next look. The
// work of most functions on long values needs large allocations, which fail
// past the limit (sqlite_allocator.h); printf() and format() repeat a
// character by appending it one at a time, whatever happens to the
// allocation. Those two run SQLite's own printf() on a private connection of
// the guard's, after asking should_stop().
#pragma once

#include <functional>
#include <sqlite3.h>
#include <vector>

namespace dorvd {

class LongCallGuard {
  public:
    LongCallGuard() = default;
    ~LongCallGuard();
    LongCallGuard(const LongCallGuard&) = delete;
    LongCallGuard& operator=(const LongCallGuard&) = delete;

    // True when the running statement is to stop; asked now and then.
    std::function<bool()> should_stop;
    // The LIKE operator ignores the case of ASCII letters (SQLite's default;
    // PRAGMA case_sensitive_like changes it).
    bool like_ignores_case = true;

    // SQLite's own printf() with arguments arguments, prepared on the private
    // connection (opened with db's length bound); null when it cannot be.
    sqlite3_stmt* printf_statement(sqlite3* db, int arguments);

  private:
    sqlite3* private_db_ = nullptr;
    std::vector<sqlite3_stmt*> printf_statements_; // by number of arguments
};

// Registers the functions on db. guard must outlive db's use of them.
bool install_long_call_functions(sqlite3* db, LongCallGuard& guard);

// Registers like() again, after PRAGMA case_sensitive_like has put SQLite's
// own back: the mode it set is read from SQLite's own like().
bool reinstall_like(sqlite3* db, LongCallGuard& guard);

} // namespace dorvd
