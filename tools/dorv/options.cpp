#include "options.h"

#include <cstdlib>

const char* const usage_text =
    "usage: dorv CONNECTION [OPTION...] COMMAND...\n"
    "       dorv -h | --help | --version\n"
    "connection:\n"
    "  -s HOST -p SERVICE      connect to the server directly (transport WINSOCK)\n"
    "  -c FILE -S SECTION      connect from a section of a configuration file,\n"
    "                          opening its databases (-n: do not open them)\n"
    "options:\n"
    "  -w                      warnings switch on (truncation, pending transfers, server texts)\n"
    "  -q, --no-header         print results without header, rule and row count (for scripts)\n"
    "  -F, --format FORMAT     how statements from -f are printed: query (default), csv, values\n"
    "  -f FILE                 run the statements of FILE ('-': standard input), each printed\n"
    "                          as --format says; may also stand among the commands\n"
    "commands, run in order on the one connection:\n"
    "  exec SQL                execute statements (split at ';' outside quotes)\n"
    "  query SQL               execute and print the last result as a table\n"
    "  values SQL              execute and print the last result as typed values\n"
    "  csv SQL                 execute and print the last result as CSV: dates as\n"
    "                          YYYY-MM-DD or YYYY-MM-DD hh:mm:ss, an empty text as \"\",\n"
    "                          a field the server marks as NULL as nothing (dorvd sends\n"
    "                          NULL as an empty text: from dorvd both print as \"\")\n"
    "  pick SQL [KEYFIELD [KEYLEN [MAX]]]  execute and let the user pick a row; print its key\n"
    "  echo TEXT               send a text and check that the server echoes it\n"
    "  version                 print the server's version\n"
    "  host COMMAND            run a command on the server's host and print its output\n"
    "  hostblk COMMAND         the same, read block by block\n"
    "statement files: statements end with ';' outside quotes ('...', \"...\") or at the\n"
    "  end of the file and may span lines; '--' outside quotes starts a comment that\n"
    "  runs to the end of the line.\n"
    "  The run stops at the first statement that fails.\n"
    "texts: characters that the server's character set (HP Roman-8) lacks, such as the\n"
    "  euro sign, typographic quotes and dashes, the multiplication and division signs,\n"
    "  are sent as blanks; dorv says so once.\n"
    "Ctrl-C stops after the row being written, says 'interrupted' and exits with 130;\n"
    "  a second Ctrl-C ends the program at once.\n"
    "messages go to standard error, each line starting with 'dorv: '. While a result\n"
    "  is read for longer than a second, a row count shows there when it is a terminal\n"
    "  and the output goes elsewhere.\n"
    "exit status: 0 success, 1 a statement or command failed, 2 usage (also an unreadable\n"
    "  -f file), 3 no connection (server unreachable, connection refused by the\n"
    "  configuration or a database's password) or a broken one (the server closed it,\n"
    "  or did not answer within ReplyTimeout), 130 interrupted\n";

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

bool is_command(const std::string& name) {
    return name == "version" || takes_argument(name);
}

// Takes the value behind the option argv[i] into out.
bool take_value(int argc, char** argv, int& i, std::string* out, std::string* error) {
    if (i + 1 >= argc) {
        *error = "option " + std::string(argv[i]) + " needs a value";
        return false;
    }
    *out = argv[++i];
    return true;
}

enum class FlagsRead { commands_follow, answered, failed };

// Reads the options before the first command; i stops on that command.
FlagsRead read_flags(int argc, char** argv, int& i, Options* options, std::string* error) {
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h" || flag == "--version") {
            // They answer alone, whatever else the line holds.
            (flag == "--version" ? options->version : options->help) = true;
            return FlagsRead::answered;
        }
        bool read = true;
        if (flag == "-s") {
            read = take_value(argc, argv, i, &options->host, error);
        } else if (flag == "-p") {
            read = take_value(argc, argv, i, &options->service, error);
        } else if (flag == "-c") {
            read = take_value(argc, argv, i, &options->ini_file, error);
        } else if (flag == "-S") {
            read = take_value(argc, argv, i, &options->section, error);
        } else if (flag == "-n") {
            options->open_databases = false;
        } else if (flag == "-w") {
            options->warnings = 1;
        } else if (flag == "-q" || flag == "--no-header") {
            options->no_header = true;
        } else if (flag == "-F" || flag == "--format") {
            if (!take_value(argc, argv, i, &options->format, error)) return FlagsRead::failed;
            if (options->format != "query" && options->format != "csv" &&
                options->format != "values") {
                *error = "unknown format " + options->format + " (query, csv or values)";
                return FlagsRead::failed;
            }
        } else if (flag == "-f") {
            Command command;
            command.name = "file";
            read = take_value(argc, argv, i, &command.argument, error);
            if (read) options->commands.push_back(command);
        } else {
            *error = "unknown option " + flag;
            return FlagsRead::failed;
        }
        if (!read) return FlagsRead::failed;
    }
    return FlagsRead::commands_follow;
}

// Either a direct connection or a configured one, each given whole.
bool check_connection(const Options& options, std::string* error) {
    bool direct = !options.host.empty() || !options.service.empty();
    bool configured = !options.ini_file.empty() || !options.section.empty();
    if (direct == configured || (direct && (options.host.empty() || options.service.empty())) ||
        (configured && (options.ini_file.empty() || options.section.empty()))) {
        *error = "give either -s HOST -p SERVICE or -c FILE -S SECTION";
        return false;
    }
    return true;
}

// Reads the commands from argv[i] on (and -f among them).
bool read_commands(int argc, char** argv, int i, Options* options, std::string* error) {
    for (; i < argc; ++i) {
        Command command;
        command.name = argv[i];
        if (command.name == "-f") {
            command.name = "file";
            if (i + 1 >= argc) {
                *error = "option -f needs a value";
                return false;
            }
            command.argument = argv[++i];
            options->commands.push_back(command);
            continue;
        }
        if (!is_command(command.name)) {
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
            if (i + 1 < argc && !is_command(argv[i + 1]) && std::string(argv[i + 1]) != "-f")
                command.keyfield = argv[++i];
            if (i + 1 < argc && is_number(argv[i + 1])) command.keylen = std::atoi(argv[++i]);
            if (i + 1 < argc && is_number(argv[i + 1])) command.max_select = std::atoi(argv[++i]);
        }
        options->commands.push_back(command);
    }
    return true;
}
} // namespace

bool parse_options(int argc, char** argv, Options* options, std::string* error) {
    int i = 1;
    switch (read_flags(argc, argv, i, options, error)) {
    case FlagsRead::answered:
        return true;
    case FlagsRead::failed:
        return false;
    case FlagsRead::commands_follow:
        break;
    }
    if (!check_connection(*options, error)) return false;
    if (!read_commands(argc, argv, i, options, error)) return false;
    if (options->commands.empty()) {
        *error = "no command given";
        return false;
    }
    return true;
}
