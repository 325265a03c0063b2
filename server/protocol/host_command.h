// Runs a host command for a client: /bin/sh -c command, standard output and
// standard error together, standard input from /dev/null.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace dorvd {

struct HostCommandResult {
    bool started = false;
    std::string error;     // why it did not start
    std::string how_ended; // "exit status 0", "killed by signal 9", ...
};

// Calls on_started once the shell runs, then on_output with each piece of output as it comes; when
// on_output or on_started returns false (the client is gone) or stopping becomes true, the
// command's process group is killed; so it is when client_fd (when given) shows that the client
// has closed the connection. Returns once the command has ended and its output is read; a
// background process that keeps the output open after the shell has ended is killed too.
HostCommandResult run_host_command(const std::string& command,
                                   const std::function<bool()>& on_started,
                                   const std::function<bool(std::string_view)>& on_output,
                                   const std::atomic<bool>& stopping, int client_fd = -1);

} // namespace dorvd
