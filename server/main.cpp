// dorvd: the reference Dorv server on SQLite or in front of PostgreSQL.
#include <csignal>
#include <malloc.h>
#include <cstdio>
#include <string>
#include <vector>

#include "server/protocol/connection.h"
#include "server/base/log.h"
#include "server/options.h"
#include "server/server.h"
#include "server/backends/sqlite/sqlite_engine.h"
#ifdef DORVD_WITH_POSTGRESQL
#include "server/backends/postgresql/pg_setup.h"
#endif

namespace {

dorvd::Server* running_server = nullptr;

void on_signal(int) {
    if (running_server != nullptr) running_server->stop();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "setup-postgresql") {
#ifdef DORVD_WITH_POSTGRESQL
        return dorvd::run_pg_setup(std::vector<std::string>(argv + 2, argv + argc));
#else
        std::fputs("dorvd: this dorvd was built without PostgreSQL (libpq)\n", stderr);
        return 1;
#endif
    }
    dorvd::ServerOptions options;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (dorvd::parse_options(args, options, error)) {
    case dorvd::OptionsOutcome::help:
        std::fputs(dorvd::usage_text().c_str(), stdout);
        return 0;
    case dorvd::OptionsOutcome::version:
        std::printf("%s\n", dorvd::version_text(dorvd::sqlite_backend_version()).c_str());
        return 0;
    case dorvd::OptionsOutcome::error:
        std::fprintf(stderr, "dorvd: %s\n\n%s", error.c_str(), dorvd::usage_text().c_str());
        return 2;
    case dorvd::OptionsOutcome::run:
        break;
    }

    std::signal(SIGPIPE, SIG_IGN);
    // Each thread would get an allocator arena of its own that keeps freed
    // memory; connection threads allocate little, so a few arenas suffice.
    mallopt(M_ARENA_MAX, 4);
    // Large blocks (a long value, a kept result) are mapped and returned to
    // the system when freed, instead of leaving the heap fragmented at the
    // size of the largest request ever served.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    dorvd::Server server(options);
    if (!server.start(error)) {
        dorvd::log_line(error);
        return 1;
    }
    running_server = &server;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::printf("dorvd: listening on %s:%u\n", server.address().c_str(), unsigned{server.port()});
    std::fflush(stdout);
    dorvd::log_line(
        std::string(options.backend == dorvd::BackendKind::postgresql ? "PostgreSQL backend, "
                                                                      : "") +
        "data folder " + options.data_dir.string() + ", block size " +
        std::to_string(options.max_block) + ", host commands " +
        (options.allow_host_commands ? "allowed" : "refused") + ", at most " +
        std::to_string(options.max_connections) + " connections, statement timeout " +
        (options.statement_timeout_s > 0 ? std::to_string(options.statement_timeout_s) + " s"
                                         : std::string("none")));
    server.run();
    running_server = nullptr;
    return 0;
}
