#include "server/protocol/host_command.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dorvd {
namespace {

constexpr int kPollMs = 200;

std::string describe(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "ended";
}

bool spawn_shell(const std::string& command, int output_fd, pid_t& pid, std::string& error) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, output_fd, 2);
    // Its own process group, so that it can be stopped with all its children;
    // default signal handling and no blocked signals whatever the server has.
    sigset_t defaults;
    sigset_t empty;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&empty);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &empty);
    char shell[] = "/bin/sh";
    char option[] = "-c";
    std::string text = command;
    char* argv[] = {shell, option, text.data(), nullptr};
    const int rc = posix_spawn(&pid, shell, &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) error = std::string("cannot start /bin/sh: ") + std::strerror(rc);
    return rc == 0;
}

} // namespace

HostCommandResult run_host_command(const std::string& command,
                                   const std::function<bool()>& on_started,
                                   const std::function<bool(std::string_view)>& on_output,
                                   const std::atomic<bool>& stopping, int client_fd) {
    HostCommandResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        result.error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return result;
    }
    pid_t pid = 0;
    if (!spawn_shell(command, fds[1], pid, result.error)) {
        close(fds[0]);
        close(fds[1]);
        return result;
    }
    close(fds[1]);
    result.started = true;

    bool reaped = false;
    bool kill_group = !on_started();
    int status = 0;
    char buffer[4096];
    // A negative descriptor is not watched. A command that writes nothing
    // would otherwise outlive a client that has gone.
    pollfd watched[2] = {{fds[0], POLLIN, 0}, {client_fd, POLLRDHUP, 0}};
    while (!kill_group) {
        if (stopping.load()) {
            kill_group = true;
            break;
        }
        const int ready = poll(watched, 2, kPollMs);
        if (ready < 0 && errno != EINTR) break;
        if ((watched[1].revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
            kill_group = true;
            break;
        }
        if (ready > 0 && watched[0].revents != 0) {
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n > 0) {
                if (!on_output(std::string_view(buffer, static_cast<size_t>(n)))) {
                    kill_group = true;
                    break;
                }
                continue;
            }
            if (n == 0) break;
            if (errno != EINTR) break;
            continue;
        }
        if (ready == 0 && reaped) {
            // The shell is gone but something it left behind holds the output.
            kill_group = true;
            break;
        }
        if (!reaped && waitpid(pid, &status, WNOHANG) == pid) reaped = true;
    }
    close(fds[0]);
    if (kill_group) kill(-pid, SIGKILL);
    while (!reaped) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            reaped = true;
        } else if (stopping.load() && !kill_group) {
            kill(-pid, SIGKILL);
            kill_group = true;
        } else {
            poll(nullptr, 0, 20);
        }
    }
    result.how_ended = describe(status);
    return result;
}

} // namespace dorvd
