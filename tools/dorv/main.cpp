// dorv: command-line client of the Dorv server, on the public API of dorv32.
#include "commands.h"
#include "interrupt.h"
#include "library_binding.h"
#include "messages.h"
#include "options.h"
#include "script.h"

#include "dorv32.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
// The statements of every -f file in its place, each run as --format says.
bool expand_scripts(Options* options, std::string* error) {
    std::vector<Command> commands;
    for (const Command& command : options->commands) {
        if (command.name != "file") {
            commands.push_back(command);
            continue;
        }
        std::string text;
        if (!read_script(command.argument, &text, error)) return false;
        for (const std::string& statement : split_statements(text)) {
            Command run;
            run.name = options->format;
            run.argument = statement;
            commands.push_back(run);
        }
    }
    options->commands = commands;
    return true;
}
} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parse_options(argc, argv, &options, &error)) {
        say(error);
        say("'dorv --help' shows the usage");
        return EXIT_USAGE;
    }
    if (options.help) {
        fputs(usage_text, stdout);
        return EXIT_OK;
    }
    if (options.version) {
        printf("dorv %s\n", DORV_VERSION);
        return EXIT_OK;
    }
    if (!expand_scripts(&options, &error)) {
        say(error);
        return EXIT_USAGE;
    }
#ifndef _WIN32
    // Without windows the password and entry dialogs ask on the terminal.
    setenv("DORV_DIALOGS", "terminal", 0);
#endif
    if (!bind_library(&error)) {
        say(error);
        return EXIT_NO_CONNECTION;
    }
    messages_begin();
    int handle;
    if (!options.ini_file.empty()) {
        handle = hl_connect_ini(options.ini_file.c_str(), options.section.c_str(), options.warnings,
                                options.open_databases ? 1 : 0);
    } else {
        char transport[] = "WINSOCK";
        handle =
            hl_connect(transport, options.host.c_str(), options.service.c_str(), options.warnings);
    }
    if (handle == -1) {
        say(options.ini_file.empty()
                ? "no connection to " + options.host + " service " + options.service
                : "no connection from " + options.ini_file + " section " + options.section);
        messages_end();
        return EXIT_NO_CONNECTION;
    }
    // Not before: a password asked for on the terminal ends at the first Ctrl-C.
    catch_interrupt(said_fd());
    bool ok = true;
    for (const Command& command : options.commands) {
        bool done = run_command(handle, command, options);
        fflush(stdout);
        messages_flush(); // what went wrong, right after the output it belongs to
        if (!done || interrupted()) {
            ok = false;
            break;
        }
    }
    fflush(stdout);
    if (hl_disconnect(handle) != 0) ok = false;
    bool lost = connection_lost();
    if (interrupted()) {
        say("interrupted");
        messages_end();
        return EXIT_INTERRUPTED;
    }
    messages_end();
    if (lost) return EXIT_NO_CONNECTION;
    return ok ? EXIT_OK : EXIT_STATEMENT_FAILED;
}
