#include "client/protocol/password_mask.h"

#include "common/statement_split.h"

#include <ctype.h>
#include <string.h>
#include <strings.h>

namespace {

const char mask[] = "********";

struct Writer {
    char* out;
    int size;
    int n;
    void put(char c) {
        if (n < size - 1) out[n++] = c;
    }
    void put(const char* from, const char* to) {
        for (; from < to; ++from)
            put(*from);
    }
    void put(const char* text) { put(text, text + strlen(text)); }
};

bool is_blank(char c) {
    return isspace(static_cast<unsigned char>(c)) != 0;
}

bool is_quote(char c) {
    return c == '\'' || c == '"';
}

const char* skip_blanks(const char* p, const char* end) {
    while (p < end && is_blank(*p))
        ++p;
    return p;
}

// Behind a keyword standing at p as the server reads one (any case, followed
// by a blank, a quote or the end), or nullptr.
const char* keyword(const char* p, const char* end, const char* word) {
    size_t n = strlen(word);
    if (static_cast<size_t>(end - p) < n || strncasecmp(p, word, n) != 0) return nullptr;
    const char* after = p + n;
    if (after < end && !is_blank(*after) && !is_quote(*after)) return nullptr;
    return after;
}

// Behind the name or password at p as the server reads it: a text in single
// or double quotes, or a bare word up to a blank, ',' or ';'. nullptr when
// the server would not read it cleanly (nothing there, no closing quote, a
// quote glued to more text, a quote inside a bare word): where such a text
// ends cannot be told, so everything from there on is hidden.
const char* token_end(const char* p, const char* end) {
    if (p >= end) return nullptr;
    if (is_quote(*p)) {
        const char* close =
            static_cast<const char*>(memchr(p + 1, *p, static_cast<size_t>(end - p - 1)));
        if (close == nullptr) return nullptr;
        const char* after = close + 1;
        if (after < end && !is_blank(*after) && *after != ',') return nullptr;
        return after;
    }
    const char* q = p;
    for (; q < end && !is_blank(*q) && *q != ',' && *q != ';'; ++q)
        if (is_quote(*q)) return nullptr;
    return q;
}

// Hides the rest of the text from p on (an opening quote stays visible).
void hide_rest(const char* p, const char* end, Writer& w) {
    if (p >= end) return;
    if (is_quote(*p)) w.put(*p);
    w.put(mask);
}

// Copies one statement, its passwords masked when it opens databases. False
// when the rest of the text was hidden.
bool mask_statement(const char* p, const char* end, Writer& w) {
    const char* q = keyword(skip_blanks(p, end), end, "OPEN");
    if (q != nullptr) q = keyword(skip_blanks(q, end), end, "DATABASE");
    if (q == nullptr) {
        w.put(p, end);
        return true;
    }
    w.put(p, q);
    p = q;
    for (;;) {
        q = skip_blanks(p, end);
        const char* e = token_end(q, end); // the database name
        if (e == nullptr) {
            w.put(p, q);
            hide_rest(q, end, w);
            return false;
        }
        w.put(p, e);
        p = e;
        q = skip_blanks(p, end);
        const char* as = keyword(q, end, "AS");
        if (as != nullptr) {
            q = skip_blanks(as, end);
            w.put(p, q);
            e = token_end(q, end);
            if (e == nullptr) {
                hide_rest(q, end, w);
                return false;
            }
            if (is_quote(*q)) {
                w.put(*q);
                w.put(mask);
                w.put(*q);
            } else {
                w.put(mask);
            }
            p = e;
            q = skip_blanks(p, end);
        }
        if (q == end) {
            w.put(p, end);
            return true;
        }
        if (*q != ',') {
            // Text the server would not take (a forgotten AS, say) may be a password.
            w.put(p, q);
            hide_rest(q, end, w);
            return false;
        }
        w.put(p, q + 1);
        p = q + 1;
    }
}

} // namespace

void mask_passwords(const char* text, char* out, int size) {
    if (size < 1) return;
    Writer w = {out, size, 0};
    const char* p = text;
    while (*p != '\0') {
        int n = statement_length(p);
        if (!mask_statement(p, p + n, w)) break;
        p += n;
        if (*p == ';') w.put(*p++);
    }
    out[w.n] = '\0';
}
