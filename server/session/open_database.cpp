#include "server/session/open_database.h"

#include <cctype>
#include <strings.h>

namespace dorvd {
namespace {

bool is_space(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

struct Scanner {
    std::string_view text;
    size_t pos = 0;

    bool at_end() const { return pos >= text.size(); }
    char peek() const { return at_end() ? '\0' : text[pos]; }
    void skip_spaces() {
        while (!at_end() && is_space(text[pos]))
            ++pos;
    }
    // Consumes the keyword when it stands here as a whole word.
    bool keyword(std::string_view word) {
        if (text.size() - pos < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(text[pos + i])) != word[i]) return false;
        }
        const size_t after = pos + word.size();
        if (after < text.size() && !is_space(text[after]) && text[after] != '\'' &&
            text[after] != '"') {
            return false;
        }
        pos = after;
        return true;
    }
    // A quoted text or a bare word; error set when there is none.
    std::optional<std::string> token(std::string_view what, std::string& error) {
        const char c = peek();
        if (c == '\'' || c == '"') {
            const size_t close = text.find(c, pos + 1);
            if (close == std::string_view::npos) {
                error = "unterminated quote in " + std::string(what);
                return std::nullopt;
            }
            std::string value(text.substr(pos + 1, close - pos - 1));
            pos = close + 1;
            return value;
        }
        const size_t start = pos;
        while (!at_end() && !is_space(text[pos]) && text[pos] != ',' && text[pos] != ';')
            ++pos;
        if (pos == start) {
            error = std::string(what) + " expected";
            return std::nullopt;
        }
        return std::string(text.substr(start, pos - start));
    }
};

} // namespace

bool is_open_database(std::string_view statement) {
    Scanner s{statement};
    s.skip_spaces();
    if (!s.keyword("OPEN")) return false;
    const size_t before = s.pos;
    s.skip_spaces();
    return s.pos > before && s.keyword("DATABASE");
}

std::optional<std::vector<DatabaseRequest>> parse_open_database(std::string_view statement,
                                                                std::string& error) {
    Scanner s{statement};
    s.skip_spaces();
    if (!s.keyword("OPEN")) {
        error = "OPEN DATABASE expected";
        return std::nullopt;
    }
    s.skip_spaces();
    if (!s.keyword("DATABASE")) {
        error = "OPEN DATABASE expected";
        return std::nullopt;
    }
    std::vector<DatabaseRequest> list;
    for (;;) {
        s.skip_spaces();
        DatabaseRequest request;
        auto name = s.token("database name", error);
        if (!name) return std::nullopt;
        request.name = std::move(*name);
        s.skip_spaces();
        if (s.keyword("AS")) {
            s.skip_spaces();
            auto password = s.token("password after AS", error);
            if (!password) return std::nullopt;
            request.password = std::move(*password);
            s.skip_spaces();
        }
        list.push_back(std::move(request));
        if (s.peek() == ',') {
            ++s.pos;
            continue;
        }
        if (s.peek() == ';') {
            ++s.pos;
            s.skip_spaces();
        }
        if (!s.at_end()) {
            // The text is not repeated: it is often a password written without AS.
            error = "unexpected text after database list (a password needs AS before it)";
            return std::nullopt;
        }
        return list;
    }
}

bool valid_database_name(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    // SQLite's own schema names cannot name a database of the folder.
    if (strncasecmp(name.data(), "main", name.size()) == 0 && name.size() == 4) return false;
    if (strncasecmp(name.data(), "temp", name.size()) == 0 && name.size() == 4) return false;
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    }
    return true;
}

} // namespace dorvd
