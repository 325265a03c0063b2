// What the server needs to know of a statement before it runs: its first
// keyword (behind blanks, comments and opening parentheses) and what that
// keyword makes it. The session classifies each statement once and hands
// the classification to the backend.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvd {

struct StatementKind {
    std::string keyword;               // upper-cased; empty when there is none
    size_t offset = 0;                 // where the keyword begins in the statement
    bool parenthesized = false;        // an opening parenthesis stands before the keyword
    bool unterminated_comment = false; // a /* comment in front is not closed
    bool open_database = false;        // OPEN DATABASE, the server's own statement
    bool writes_data = false;          // INSERT, UPDATE, DELETE, REPLACE, MERGE
    bool transaction_control = false;  // begins, ends or names a transaction or savepoint
    bool may_reset_settings = false;   // ROLLBACK, ABORT, RESET, DISCARD
    bool copy = false;                 // COPY
};

StatementKind classify_statement(std::string_view statement);

} // namespace dorvd
