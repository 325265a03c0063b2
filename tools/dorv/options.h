// Command line of the dorv client.
#pragma once

#include <string>
#include <vector>

struct Command {
    std::string name;     // exec, query, values, csv, echo, version, host, hostblk, pick, file
    std::string argument; // statement, text, host command, or file name ("-": standard input)
    std::string keyfield; // pick only
    int keylen = 0;
    int max_select = 0;
};

struct Options {
    std::string host, service;     // direct connect
    std::string ini_file, section; // configured connect
    bool open_databases = true;
    int warnings = 0;
    bool no_header = false;       // results without header line, rule and row count
    std::string format = "query"; // how statements read with -f are printed: query, csv, values
    bool help = false, version = false;
    std::vector<Command> commands;
};

// Exit codes of the program.
enum : int { EXIT_OK = 0, EXIT_STATEMENT_FAILED = 1, EXIT_USAGE = 2, EXIT_NO_CONNECTION = 3 };

// Parses argv; on a mistake returns false with the reason in `error`.
bool parse_options(int argc, char** argv, Options* options, std::string* error);
extern const char* const usage_text;
