// dorv: command-line client of the Dorv server, on the public API of dorv32.
#include "commands.h"
#include "options.h"

#include "dorv32.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parse_options(argc, argv, &options, &error)) {
        fprintf(stderr, "dorv: %s\n%s", error.c_str(), usage_text);
        return 2;
    }
#ifndef _WIN32
    // Without windows the password and entry dialogs ask on the terminal.
    setenv("DORV_DIALOGS", "terminal", 0);
#endif
    int handle;
    if (!options.ini_file.empty()) {
        handle = hl_connect_ini(options.ini_file.c_str(), options.section.c_str(), options.warnings,
                                options.open_databases ? 1 : 0);
    } else {
        char transport[] = "WINSOCK";
        handle =
            hl_connect(transport, options.host.c_str(), options.service.c_str(), options.warnings);
    }
    if (handle == -1) return 1;
    bool ok = true;
    for (const Command& command : options.commands) {
        if (!run_command(handle, command, options.warnings)) {
            ok = false;
            break;
        }
    }
    fflush(stdout);
    if (hl_disconnect(handle) != 0) ok = false;
    return ok ? 0 : 1;
}
