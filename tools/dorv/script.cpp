#include "script.h"

#include "common/statement_split.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\f\v";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
} // namespace

std::vector<std::string> split_statements(const std::string& script) {
    std::vector<std::string> statements;
    std::string current;
    auto finish = [&] {
        std::string statement = trimmed(current);
        if (!statement.empty()) statements.push_back(statement);
        current.clear();
    };
    StatementSplitter splitter(true);
    for (size_t i = 0; i < script.size(); ++i) {
        char c = script[i];
        switch (splitter.next(script.data(), i, script.size())) {
        case STATEMENT_END:
            finish();
            break;
        case STATEMENT_COMMENT_START:
            current += ' '; // a comment, to the end of its line, is one blank
            break;
        case STATEMENT_COMMENT:
            break;
        case STATEMENT_TEXT:
            current += !splitter.quoted() && (c == '\r' || c == '\n') ? ' ' : c;
            break;
        }
    }
    finish();
    return statements;
}

bool read_script(const std::string& name, std::string* text, std::string* error) {
    FILE* file = name == "-" ? stdin : fopen(name.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot read " + name + ": " + strerror(errno);
        return false;
    }
    text->clear();
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        text->append(buffer, n);
    bool failed = ferror(file) != 0;
    if (failed) *error = "cannot read " + (name == "-" ? std::string("standard input") : name);
    if (file != stdin) fclose(file);
    return !failed;
}
