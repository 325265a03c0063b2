#include "options.h"

#include <cstdlib>

const char* const usage_text =
    "usage: dorv CONNECTION COMMAND...\n"
    "connection:\n"
    "  -s HOST -p SERVICE      connect to the server directly (transport WINSOCK)\n"
    "  -c FILE -S SECTION      connect from a section of a configuration file,\n"
    "                          opening its databases (-n: do not open them)\n"
    "  -w                      warnings switch on (truncation, pending transfers, server texts)\n"
    "commands, run in order on the one connection:\n"
    "  exec SQL                execute statements (split at ';' outside quotes)\n"
    "  query SQL               execute and print the last result as a table\n"
    "  values SQL              execute and print the last result as typed values\n"
    "  csv SQL                 execute and print the last result as CSV\n"
    "  pick SQL [KEYFIELD [KEYLEN [MAX]]]  execute and let the user pick a row; print its key\n"
    "  echo TEXT               send a text and check that the server echoes it\n"
    "  version                 print the server's version\n"
    "  host COMMAND            run a command on the server's host and print its output\n"
    "  hostblk COMMAND         the same, read block by block\n";

namespace {
bool is_number(const char* text) {
    char* end = nullptr;
    std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

bool takes_argument(const std::string& name) {
    return name == "exec" || name == "query" || name == "values" || name == "csv" ||
           name == "pick" || name == "echo" || name == "host" || name == "hostblk";
}
} // namespace

bool parse_options(int argc, char** argv, Options* options, std::string* error) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        std::string flag = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                *error = "option " + flag + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        if (flag == "-s") {
            if (!value(&options->host)) return false;
        } else if (flag == "-p") {
            if (!value(&options->service)) return false;
        } else if (flag == "-c") {
            if (!value(&options->ini_file)) return false;
        } else if (flag == "-S") {
            if (!value(&options->section)) return false;
        } else if (flag == "-n") {
            options->open_databases = false;
        } else if (flag == "-w") {
            options->warnings = 1;
        } else {
            *error = "unknown option " + flag;
            return false;
        }
    }
    bool direct = !options->host.empty() || !options->service.empty();
    bool configured = !options->ini_file.empty() || !options->section.empty();
    if (direct == configured || (direct && (options->host.empty() || options->service.empty())) ||
        (configured && (options->ini_file.empty() || options->section.empty()))) {
        *error = "give either -s HOST -p SERVICE or -c FILE -S SECTION";
        return false;
    }
    for (; i < argc; ++i) {
        Command command;
        command.name = argv[i];
        if (command.name != "version" && !takes_argument(command.name)) {
            *error = "unknown command " + command.name;
            return false;
        }
        if (takes_argument(command.name)) {
            if (i + 1 >= argc) {
                *error = "command " + command.name + " needs an argument";
                return false;
            }
            command.argument = argv[++i];
        }
        if (command.name == "pick") {
            // Optional key field, key length and most rows, while they look like them.
            if (i + 1 < argc && !takes_argument(argv[i + 1]) &&
                std::string(argv[i + 1]) != "version")
                command.keyfield = argv[++i];
            if (i + 1 < argc && is_number(argv[i + 1])) command.keylen = std::atoi(argv[++i]);
            if (i + 1 < argc && is_number(argv[i + 1])) command.max_select = std::atoi(argv[++i]);
        }
        options->commands.push_back(command);
    }
    if (options->commands.empty()) {
        *error = "no command given";
        return false;
    }
    return true;
}
