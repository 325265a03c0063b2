#include "client/protocol/statement_split.h"

int statement_length(const char* text) {
    char quote = 0;
    const char* p = text;
    for (; *p != '\0'; ++p) {
        if (*p == ';' && quote == 0) break;
        if (*p == '"' || *p == '\'') {
            if (quote == 0)
                quote = *p;
            else if (quote == *p)
                quote = 0;
        }
    }
    return static_cast<int>(p - text);
}
