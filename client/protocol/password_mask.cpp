#include "client/protocol/password_mask.h"

#include <ctype.h>
#include <string.h>
#include <strings.h>

namespace {

bool is_word_char(char c) {
    return isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// True when `text` holds the words OPEN DATABASE outside quotes.
bool opens_databases(const char* text) {
    char quote = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (quote != 0) {
            if (*p == quote) quote = 0;
            continue;
        }
        if (*p == '\'' || *p == '"') {
            quote = *p;
            continue;
        }
        if ((p == text || !is_word_char(p[-1])) && strncasecmp(p, "OPEN", 4) == 0) {
            const char* q = p + 4;
            if (*q != ' ' && *q != '\t') continue;
            while (*q == ' ' || *q == '\t')
                ++q;
            if (strncasecmp(q, "DATABASE", 8) == 0 && !is_word_char(q[8])) return true;
        }
    }
    return false;
}

} // namespace

void mask_passwords(const char* text, char* out, int size) {
    if (size < 1) return;
    bool mask = opens_databases(text);
    int n = 0;
    auto put = [&](char c) {
        if (n < size - 1) out[n++] = c;
    };
    char quote = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (quote != 0) {
            if (*p == quote) quote = 0;
            put(*p);
            continue;
        }
        if (*p == '\'' || *p == '"') {
            quote = *p;
            put(*p);
            continue;
        }
        if (mask && (p == text || !is_word_char(p[-1])) && strncasecmp(p, "AS", 2) == 0 &&
            !is_word_char(p[2])) {
            const char* q = p + 2;
            while (*q == ' ' || *q == '\t')
                ++q;
            if (*q == '\'' || *q == '"') {
                const char* close = strchr(q + 1, *q);
                // "AS", the blanks and the opening quote as written, then the mask.
                for (const char* c = p; c <= q; ++c)
                    put(*c);
                for (const char* m = "********"; *m != '\0'; ++m)
                    put(*m);
                if (close == nullptr) break;
                put(*close);
                p = close;
                continue;
            }
        }
        put(*p);
    }
    out[n] = '\0';
}
