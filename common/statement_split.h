// Cutting a list of statements at its semicolons: one rule for the library,
// the Excel add-in and the command-line client. A ';' ends a statement
// outside single and double quotes. Inside quotes only the same quote
// character closes and nothing escapes, so a doubled quote closes and opens
// again. Where comments are asked for (the command-line client's scripts),
// "--" outside quotes begins a comment that runs to the end of its line, the
// line feed included; a ';' or a quote in it means nothing.
#pragma once

#include <stddef.h>

enum StatementChar {
    STATEMENT_TEXT,          // part of a statement
    STATEMENT_END,           // the ';' that ends a statement
    STATEMENT_COMMENT_START, // the first character of a comment
    STATEMENT_COMMENT,       // the rest of a comment
};

class StatementSplitter {
  public:
    explicit StatementSplitter(bool dash_comments = false) : dash_comments_(dash_comments) {}

    // What text[i] is, of a list of `length` characters; asked for each
    // character in order.
    StatementChar next(const char* text, size_t i, size_t length) {
        char c = text[i];
        if (in_comment_) {
            if (c == '\n') in_comment_ = false;
            return STATEMENT_COMMENT;
        }
        if (quote_ != 0) {
            if (c == quote_) quote_ = 0;
            return STATEMENT_TEXT;
        }
        if (c == '\'' || c == '"') {
            quote_ = c;
            return STATEMENT_TEXT;
        }
        if (c == ';') return STATEMENT_END;
        if (dash_comments_ && c == '-' && i + 1 < length && text[i + 1] == '-') {
            in_comment_ = true;
            return STATEMENT_COMMENT_START;
        }
        return STATEMENT_TEXT;
    }
    // True while a quote is open (after the character last asked about).
    bool quoted() const { return quote_ != 0; }

  private:
    bool dash_comments_;
    char quote_ = 0;
    bool in_comment_ = false;
};

// The length of the first statement of a NUL-terminated text: up to its ';'
// or its end.
inline int statement_length(const char* text) {
    StatementSplitter splitter; // no comments: it never looks ahead
    size_t i = 0;
    for (; text[i] != '\0'; ++i)
        if (splitter.next(text, i, i + 1) == STATEMENT_END) break;
    return static_cast<int>(i);
}
