#include "server/base/statement_kind.h"

#include <initializer_list>
#include <cctype>

namespace dorvd {
namespace {

bool is_space(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool is_word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

bool one_of(const std::string& word, std::initializer_list<std::string_view> words) {
    for (const std::string_view candidate : words)
        if (word == candidate) return true;
    return false;
}

// DATABASE follows OPEN behind at least one blank, in any case, as a whole
// word (a quote may follow it at once: OPEN DATABASE'name').
bool database_follows(std::string_view statement, size_t pos) {
    const size_t start = pos;
    while (pos < statement.size() && is_space(statement[pos]))
        ++pos;
    constexpr std::string_view kDatabase = "DATABASE";
    if (pos == start || statement.size() - pos < kDatabase.size()) return false;
    for (size_t i = 0; i < kDatabase.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(statement[pos + i])) != kDatabase[i])
            return false;
    }
    pos += kDatabase.size();
    return pos == statement.size() || is_space(statement[pos]) || statement[pos] == '\'' ||
           statement[pos] == '"';
}

// The offset of the first keyword, behind blanks, comments and opening
// parentheses; npos when a comment is not closed.
size_t skip_to_keyword(std::string_view statement, bool& parenthesized) {
    size_t pos = 0;
    for (;;) {
        while (pos < statement.size() && (is_space(statement[pos]) || statement[pos] == '(')) {
            parenthesized = parenthesized || statement[pos] == '(';
            ++pos;
        }
        if (statement.substr(pos, 2) == "--") {
            pos = statement.find('\n', pos);
            if (pos == std::string_view::npos) return statement.size();
        } else if (statement.substr(pos, 2) == "/*") {
            pos = statement.find("*/", pos + 2);
            if (pos == std::string_view::npos) return pos;
            pos += 2;
        } else {
            return pos;
        }
    }
}

} // namespace

StatementKind classify_statement(std::string_view statement) {
    StatementKind kind;
    const size_t pos = skip_to_keyword(statement, kind.parenthesized);
    if (pos == std::string_view::npos) {
        kind.unterminated_comment = true;
        return kind;
    }
    kind.offset = pos;
    size_t end = pos;
    while (end < statement.size() && is_word_char(statement[end]))
        kind.keyword +=
            static_cast<char>(std::toupper(static_cast<unsigned char>(statement[end++])));
    const std::string& word = kind.keyword;
    kind.open_database = word == "OPEN" && !kind.parenthesized && database_follows(statement, end);
    kind.writes_data = one_of(word, {"INSERT", "UPDATE", "DELETE", "REPLACE", "MERGE"});
    kind.transaction_control = one_of(word, {"BEGIN", "START", "COMMIT", "END", "ROLLBACK", "ABORT",
                                             "SAVEPOINT", "RELEASE", "PREPARE"});
    kind.may_reset_settings = one_of(word, {"ROLLBACK", "ABORT", "RESET", "DISCARD"});
    kind.copy = word == "COPY";
    return kind;
}

} // namespace dorvd
