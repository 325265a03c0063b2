#include "server/backends/sqlite/sqlite_long_calls.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace dorvd {
namespace {

// How many steps of work go by between two questions to should_stop().
constexpr unsigned kStepsPerCheck = 1U << 14;

constexpr int kFunctionFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;

// Counts steps of work and asks whether to stop now and then.
class StopCheck {
  public:
    explicit StopCheck(const LongCallGuard& guard) : guard_(guard) {}
    // False once the statement is to stop.
    bool go_on() {
        if (stopped_) return false;
        if ((++steps_ & (kStepsPerCheck - 1)) == 0 && guard_.should_stop) {
            stopped_ = guard_.should_stop();
        }
        return !stopped_;
    }
    bool stopped() const { return stopped_; }

  private:
    const LongCallGuard& guard_;
    unsigned steps_ = 0;
    bool stopped_ = false;
};

// One character of UTF-8 as SQLite reads it: a lead byte takes the
// continuation bytes behind it; overlong forms, surrogates and U+FFFE/FFFF
// read as U+FFFD; a stray continuation byte reads as itself.
uint32_t lead_bits(uint32_t lead) { // lead: the byte less 0xC0
    if (lead < 32) return lead;
    if (lead < 48) return lead - 32;
    if (lead < 56) return lead - 48;
    if (lead < 60) return lead - 56;
    if (lead < 62) return lead - 60;
    return 0;
}

uint32_t read_utf8(const unsigned char*& z) {
    uint32_t c = *z++;
    if (c >= 0xC0) {
        c = lead_bits(c - 0xC0);
        while ((*z & 0xC0) == 0x80)
            c = (c << 6) + (0x3F & *z++);
        if (c < 0x80 || (c & 0xFFFFF800) == 0xD800 || (c & 0xFFFFFFFE) == 0xFFFE) c = 0xFFFD;
    }
    return c;
}

void skip_utf8(const unsigned char*& z) {
    if (*z++ >= 0xC0) {
        while ((*z & 0xC0) == 0x80)
            ++z;
    }
}

uint32_t ascii_lower(uint32_t c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

uint32_t ascii_upper(uint32_t c) {
    return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
}

// ------------------------------------------------------------ like and glob

struct PatternRules {
    uint32_t all; // '%' or '*'; 0 when it is the escape character
    uint32_t one; // '_' or '?'; 0 when it is the escape character
    uint32_t set; // '[' for glob, 0 for like
    bool no_case; // ASCII letters match either case
};

enum class Match { yes, no, no_wildcard_match, stopped };

Match compare(const unsigned char* pattern, const unsigned char* text, const PatternRules& rules,
              uint32_t other, StopCheck& check);

// The pattern behind a wildcard ("%" or "*"), tried at each place of the
// text that may begin its match.
Match compare_after_wildcard(const unsigned char* pattern, const unsigned char* text,
                             const PatternRules& rules, uint32_t other, StopCheck& check) {
    uint32_t c = 0;
    // Runs of wildcards: each "one" wildcard takes one character.
    while ((c = read_utf8(pattern)) == rules.all || (c == rules.one && rules.one != 0)) {
        if (c == rules.one && read_utf8(text) == 0) return Match::no_wildcard_match;
    }
    if (c == 0) return Match::yes;
    if (c == other) {
        if (rules.set == 0) {
            c = read_utf8(pattern);
            if (c == 0) return Match::no_wildcard_match;
        } else {
            // A set right behind the wildcard: tried at every position.
            while (*text != 0) {
                const Match m = compare(pattern - 1, text, rules, other, check);
                if (m != Match::no) return m;
                skip_utf8(text);
            }
            return Match::no_wildcard_match;
        }
    }
    // c is the first character after the wildcard: the rest of the
    // pattern is tried behind each place the text holds it.
    if (c < 0x80) {
        char stop[3] = {static_cast<char>(c), 0, 0};
        if (rules.no_case) {
            stop[0] = static_cast<char>(ascii_upper(c));
            stop[1] = static_cast<char>(ascii_lower(c));
        }
        for (;;) {
            text += std::strcspn(reinterpret_cast<const char*>(text), stop);
            if (*text == 0) break;
            ++text;
            const Match m = compare(pattern, text, rules, other, check);
            if (m != Match::no) return m;
        }
    } else {
        uint32_t c2 = 0;
        while ((c2 = read_utf8(text)) != 0) {
            if (c2 != c) continue;
            const Match m = compare(pattern, text, rules, other, check);
            if (m != Match::no) return m;
        }
    }
    return Match::no_wildcard_match;
}

// [...] and [^...]: one character of (or not of) the set. pattern stands
// behind the '[', and both move past what the set takes; yes: the
// character is taken and the match goes on.
Match compare_set(const unsigned char*& pattern, const unsigned char*& text, StopCheck& check) {
    uint32_t prior = 0;
    bool seen = false;
    bool invert = false;
    const uint32_t c = read_utf8(text);
    if (c == 0) return Match::no;
    uint32_t c2 = read_utf8(pattern);
    if (c2 == '^') {
        invert = true;
        c2 = read_utf8(pattern);
    }
    if (c2 == ']') {
        if (c == ']') seen = true;
        c2 = read_utf8(pattern);
    }
    while (c2 != 0 && c2 != ']') {
        if (!check.go_on()) return Match::stopped;
        if (c2 == '-' && pattern[0] != ']' && pattern[0] != 0 && prior > 0) {
            c2 = read_utf8(pattern);
            if (c >= prior && c <= c2) seen = true;
            prior = 0;
        } else {
            if (c == c2) seen = true;
            prior = c2;
        }
        c2 = read_utf8(pattern);
    }
    if (c2 == 0 || seen == invert) return Match::no;
    return Match::yes;
}

// SQLite's LIKE and GLOB matching, step for step (so the results are the
// same), with the stop check. other is the escape character (like) or '['.
// A wildcard that finds no match for the rest of the pattern anywhere ends
// the whole search (no_wildcard_match), which keeps most patterns fast.
Match compare(const unsigned char* pattern, const unsigned char* text, const PatternRules& rules,
              uint32_t other, StopCheck& check) {
    const unsigned char* escaped = nullptr;
    uint32_t c = 0;
    while ((c = read_utf8(pattern)) != 0) {
        if (!check.go_on()) return Match::stopped;
        if (c == rules.all) return compare_after_wildcard(pattern, text, rules, other, check);
        if (c == other) {
            if (rules.set == 0) {
                c = read_utf8(pattern);
                if (c == 0) return Match::no;
                escaped = pattern;
            } else {
                const Match m = compare_set(pattern, text, check);
                if (m != Match::yes) return m;
                continue;
            }
        }
        const uint32_t c2 = read_utf8(text);
        if (c == c2) continue;
        if (rules.no_case && c < 0x80 && c2 < 0x80 && ascii_lower(c) == ascii_lower(c2)) continue;
        if (c == rules.one && pattern != escaped && c2 != 0) continue;
        return Match::no;
    }
    return *text == 0 ? Match::yes : Match::no;
}

bool like_skips_blobs() {
    static const bool skips = sqlite3_compileoption_used("LIKE_DOESNT_MATCH_BLOBS") != 0;
    return skips;
}

void match_function(sqlite3_context* context, int argc, sqlite3_value** argv, bool glob) {
    auto* guard = static_cast<LongCallGuard*>(sqlite3_user_data(context));
    if (like_skips_blobs() && (sqlite3_value_type(argv[0]) == SQLITE_BLOB ||
                               sqlite3_value_type(argv[1]) == SQLITE_BLOB)) {
        sqlite3_result_int(context, 0);
        return;
    }
    sqlite3* db = sqlite3_context_db_handle(context);
    if (sqlite3_value_bytes(argv[0]) > sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1)) {
        sqlite3_result_error(context, "LIKE or GLOB pattern too complex", -1);
        return;
    }
    PatternRules rules = glob ? PatternRules{'*', '?', '[', false}
                              : PatternRules{'%', '_', 0, guard->like_ignores_case};
    uint32_t escape = rules.set;
    if (argc == 3) {
        const unsigned char* text = sqlite3_value_text(argv[2]);
        if (text == nullptr) return;
        int characters = 0;
        for (const unsigned char* z = text; *z != 0; ++characters)
            skip_utf8(z);
        if (characters != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = read_utf8(text);
        if (escape == rules.all) rules.all = 0;
        if (escape == rules.one) rules.one = 0;
    }
    const unsigned char* pattern = sqlite3_value_text(argv[0]);
    const unsigned char* text = sqlite3_value_text(argv[1]);
    if (pattern == nullptr || text == nullptr) return;
    StopCheck check(*guard);
    const Match match = compare(pattern, text, rules, escape, check);
    if (match == Match::stopped) {
        sqlite3_result_error_code(context, SQLITE_INTERRUPT);
        return;
    }
    sqlite3_result_int(context, match == Match::yes ? 1 : 0);
}

void like_function(sqlite3_context* context, int argc, sqlite3_value** argv) {
    match_function(context, argc, argv, false);
}

void glob_function(sqlite3_context* context, int argc, sqlite3_value** argv) {
    match_function(context, argc, argv, true);
}

// ----------------------------------------------------------------- instr

// instr(haystack, needle): one more than the characters (bytes, when both
// are blobs) before the first occurrence, or 0. In text, a match counts
// only where a character begins, as SQLite steps character by character.
int first_position(const unsigned char* haystack, size_t hay_bytes, const unsigned char* needle,
                   size_t needle_bytes, bool text) {
    if (needle_bytes > hay_bytes) return 0;
    const auto continuation = [](unsigned char byte) { return (byte & 0xC0) == 0x80; };
    if (text && continuation(needle[0])) {
        // Only the first position is visited at such a byte.
        return std::memcmp(haystack, needle, needle_bytes) == 0 ? 1 : 0;
    }
    const void* found = memmem(haystack, hay_bytes, needle, needle_bytes);
    if (found == nullptr) return 0;
    const auto at = static_cast<size_t>(static_cast<const unsigned char*>(found) - haystack);
    if (!text) return static_cast<int>(at) + 1;
    int position = 1;
    for (size_t i = 0; i < at; ++i)
        position += i == 0 || !continuation(haystack[i]) ? 1 : 0;
    return position;
}

void instr_function(sqlite3_context* context, int, sqlite3_value** argv) {
    const int hay_type = sqlite3_value_type(argv[0]);
    const int needle_type = sqlite3_value_type(argv[1]);
    if (hay_type == SQLITE_NULL || needle_type == SQLITE_NULL) return;
    int hay_bytes = sqlite3_value_bytes(argv[0]);
    int needle_bytes = sqlite3_value_bytes(argv[1]);
    int position = 1;
    if (needle_bytes > 0) {
        const unsigned char* haystack = nullptr;
        const unsigned char* needle = nullptr;
        bool text = true;
        sqlite3_value* hay_copy = nullptr;
        sqlite3_value* needle_copy = nullptr;
        if (hay_type == SQLITE_BLOB && needle_type == SQLITE_BLOB) {
            haystack = static_cast<const unsigned char*>(sqlite3_value_blob(argv[0]));
            needle = static_cast<const unsigned char*>(sqlite3_value_blob(argv[1]));
            text = false;
        } else if (hay_type != SQLITE_BLOB && needle_type != SQLITE_BLOB) {
            haystack = sqlite3_value_text(argv[0]);
            needle = sqlite3_value_text(argv[1]);
        } else {
            // One blob, one not: both compared as text, without changing the arguments.
            hay_copy = sqlite3_value_dup(argv[0]);
            needle_copy = sqlite3_value_dup(argv[1]);
            haystack = sqlite3_value_text(hay_copy);
            hay_bytes = sqlite3_value_bytes(hay_copy);
            needle = sqlite3_value_text(needle_copy);
            needle_bytes = sqlite3_value_bytes(needle_copy);
        }
        if (needle == nullptr || (hay_bytes > 0 && haystack == nullptr)) {
            sqlite3_result_error_nomem(context);
        } else {
            position = first_position(haystack, static_cast<size_t>(hay_bytes), needle,
                                      static_cast<size_t>(needle_bytes), text);
            sqlite3_result_int(context, position);
        }
        sqlite3_value_free(hay_copy);
        sqlite3_value_free(needle_copy);
        return;
    }
    sqlite3_result_int(context, position);
}

// ---------------------------------------------------------------- replace

// replace(text, pattern, replacement): every occurrence, left to right and
// not overlapping, byte for byte. An empty pattern gives the text as it is.
void replace_function(sqlite3_context* context, int, sqlite3_value** argv) {
    const unsigned char* text = sqlite3_value_text(argv[0]);
    if (text == nullptr) return;
    const int text_bytes = sqlite3_value_bytes(argv[0]);
    const unsigned char* pattern = sqlite3_value_text(argv[1]);
    if (pattern == nullptr) return;
    if (pattern[0] == 0) {
        sqlite3_result_value(context, argv[0]);
        return;
    }
    const int pattern_bytes = sqlite3_value_bytes(argv[1]);
    const unsigned char* replacement = sqlite3_value_text(argv[2]);
    if (replacement == nullptr) return;
    const int replacement_bytes = sqlite3_value_bytes(argv[2]);
    const long long limit =
        sqlite3_limit(sqlite3_context_db_handle(context), SQLITE_LIMIT_LENGTH, -1);
    long long out_bytes = static_cast<long long>(text_bytes) + 1;
    if (out_bytes > limit) {
        sqlite3_result_error_toobig(context);
        return;
    }
    std::string out;
    out.reserve(static_cast<size_t>(text_bytes));
    int at = 0;
    while (at <= text_bytes - pattern_bytes) {
        const void* found = memmem(text + at, static_cast<size_t>(text_bytes - at), pattern,
                                   static_cast<size_t>(pattern_bytes));
        if (found == nullptr) break;
        const auto match = static_cast<int>(static_cast<const unsigned char*>(found) - text);
        out.append(reinterpret_cast<const char*>(text + at), static_cast<size_t>(match - at));
        if (replacement_bytes > pattern_bytes) {
            out_bytes += replacement_bytes - pattern_bytes;
            if (out_bytes - 1 > limit) {
                sqlite3_result_error_toobig(context);
                return;
            }
        }
        out.append(reinterpret_cast<const char*>(replacement),
                   static_cast<size_t>(replacement_bytes));
        at = match + pattern_bytes;
    }
    out.append(reinterpret_cast<const char*>(text + at), static_cast<size_t>(text_bytes - at));
    sqlite3_result_text64(context, out.data(), out.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// ------------------------------------------------------------------- trim

struct TrimCall {
    LongCallGuard* guard;
    int sides; // 1 left, 2 right, 3 both
};

// trim(text, characters) and its one-sided forms: characters of the set are
// taken off the ends, each time the first of the set (in its order) that
// stands there.
void trim_function(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto* call = static_cast<const TrimCall*>(sqlite3_user_data(context));
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    const unsigned char* in = sqlite3_value_text(argv[0]);
    if (in == nullptr) return;
    auto in_bytes = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
    const unsigned char* set = sqlite3_value_text(argv[1]);
    if (set == nullptr) return;
    struct Character {
        const unsigned char* bytes;
        size_t length;
    };
    // SQLite keeps a pointer and a length per character within the length
    // bound: the characters are counted before any memory is taken for them.
    size_t count = 0;
    for (const unsigned char* z = set; *z != 0; ++count)
        skip_utf8(z);
    const auto limit = static_cast<size_t>(
        sqlite3_limit(sqlite3_context_db_handle(context), SQLITE_LIMIT_LENGTH, -1));
    if (count * (sizeof(unsigned char*) + sizeof(unsigned)) > limit) {
        sqlite3_result_error_toobig(context);
        return;
    }
    std::vector<Character> characters;
    characters.reserve(count);
    for (const unsigned char* z = set; *z != 0;) {
        const unsigned char* start = z;
        skip_utf8(z);
        characters.push_back({start, static_cast<size_t>(z - start)});
    }
    StopCheck check(*call->guard);
    // The length of the set's first character standing at the start (or the
    // end) of what is left; 0 for none.
    const auto standing = [&](bool at_end) -> size_t {
        for (const Character& c : characters) {
            if (!check.go_on()) return 0;
            if (c.length <= in_bytes &&
                std::memcmp(at_end ? in + in_bytes - c.length : in, c.bytes, c.length) == 0) {
                return c.length;
            }
        }
        return 0;
    };
    if (!characters.empty()) {
        if ((call->sides & 1) != 0) {
            for (size_t length = 0; in_bytes > 0 && (length = standing(false)) > 0;) {
                in += length;
                in_bytes -= length;
            }
        }
        if ((call->sides & 2) != 0) {
            for (size_t length = 0; in_bytes > 0 && (length = standing(true)) > 0;)
                in_bytes -= length;
        }
    }
    if (check.stopped()) {
        sqlite3_result_error_code(context, SQLITE_INTERRUPT);
        return;
    }
    sqlite3_result_text64(context, reinterpret_cast<const char*>(in), in_bytes, SQLITE_TRANSIENT,
                          SQLITE_UTF8);
}

// ----------------------------------------------------------- printf, format

void printf_function(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto* guard = static_cast<LongCallGuard*>(sqlite3_user_data(context));
    if (guard->should_stop && guard->should_stop()) {
        sqlite3_result_error_code(context, SQLITE_INTERRUPT);
        return;
    }
    sqlite3_stmt* statement = guard->printf_statement(sqlite3_context_db_handle(context), argc);
    if (statement == nullptr) {
        sqlite3_result_error_nomem(context);
        return;
    }
    for (int i = 0; i < argc; ++i)
        sqlite3_bind_value(statement, i + 1, argv[i]);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        sqlite3_result_value(context, sqlite3_column_value(statement, 0));
    } else {
        sqlite3_result_error(context, sqlite3_errmsg(sqlite3_db_handle(statement)), -1);
        sqlite3_result_error_code(context, rc);
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

bool install_like(sqlite3* db, LongCallGuard& guard) {
    return sqlite3_create_function_v2(db, "like", 2, kFunctionFlags, &guard, like_function, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "like", 3, kFunctionFlags, &guard, like_function, nullptr,
                                      nullptr, nullptr) == SQLITE_OK;
}

} // namespace

bool install_long_call_functions(sqlite3* db, LongCallGuard& guard) {
    bool ok =
        install_like(db, guard) &&
        sqlite3_create_function_v2(db, "glob", 2, kFunctionFlags, &guard, glob_function, nullptr,
                                   nullptr, nullptr) == SQLITE_OK &&
        sqlite3_create_function_v2(db, "instr", 2, kFunctionFlags, nullptr, instr_function, nullptr,
                                   nullptr, nullptr) == SQLITE_OK &&
        sqlite3_create_function_v2(db, "replace", 3, kFunctionFlags, nullptr, replace_function,
                                   nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_create_function_v2(db, "printf", -1, kFunctionFlags, &guard, printf_function,
                                   nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_create_function_v2(db, "format", -1, kFunctionFlags, &guard, printf_function,
                                   nullptr, nullptr, nullptr) == SQLITE_OK;
    const struct {
        const char* name;
        int sides;
    } trims[] = {{"ltrim", 1}, {"rtrim", 2}, {"trim", 3}};
    for (const auto& trim : trims) {
        if (!ok) break;
        // SQLite owns the call's data from here, also when registering fails.
        ok = sqlite3_create_function_v2(
                 db, trim.name, 2, kFunctionFlags, new TrimCall{&guard, trim.sides}, trim_function,
                 nullptr, nullptr,
                 [](void* data) { delete static_cast<TrimCall*>(data); }) == SQLITE_OK;
    }
    return ok;
}

LongCallGuard::~LongCallGuard() {
    for (sqlite3_stmt* statement : printf_statements_)
        sqlite3_finalize(statement);
    sqlite3_close_v2(private_db_);
}

sqlite3_stmt* LongCallGuard::printf_statement(sqlite3* db, int arguments) {
    if (arguments < 0) return nullptr;
    if (private_db_ == nullptr) {
        if (sqlite3_open_v2(":memory:", &private_db_, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK) {
            sqlite3_close_v2(private_db_);
            private_db_ = nullptr;
            return nullptr;
        }
    }
    sqlite3_limit(private_db_, SQLITE_LIMIT_LENGTH, sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1));
    const auto index = static_cast<size_t>(arguments);
    if (printf_statements_.size() <= index) printf_statements_.resize(index + 1, nullptr);
    sqlite3_stmt*& statement = printf_statements_[index];
    if (statement == nullptr) {
        std::string sql = "SELECT printf(";
        for (int i = 1; i <= arguments; ++i)
            sql += (i > 1 ? ", ?" : "?") + std::to_string(i);
        sql += ")";
        if (sqlite3_prepare_v2(private_db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement);
            statement = nullptr;
        }
    }
    return statement;
}

bool reinstall_like(sqlite3* db, LongCallGuard& guard) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 'a' LIKE 'A'", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        guard.like_ignores_case = sqlite3_column_int(statement, 0) != 0;
    }
    sqlite3_finalize(statement);
    return install_like(db, guard);
}

} // namespace dorvd
