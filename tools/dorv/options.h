// Command line of the dorv client.
#pragma once

#include <string>
#include <vector>

struct Command {
    std::string name;     // exec, query, values, csv, echo, version, host, hostblk, pick
    std::string argument; // statement, text or host command
    std::string keyfield; // pick only
    int keylen = 0;
    int max_select = 0;
};

struct Options {
    std::string host, service;     // direct connect
    std::string ini_file, section; // configured connect
    bool open_databases = true;
    int warnings = 0;
    std::vector<Command> commands;
};

// Parses argv; on a mistake returns false with the reason in `error`.
bool parse_options(int argc, char** argv, Options* options, std::string* error);
extern const char* const usage_text;
