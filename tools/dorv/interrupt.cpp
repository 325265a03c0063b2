#include "interrupt.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {
volatile std::sig_atomic_t interrupt_count = 0;
volatile std::sig_atomic_t said_fd = 2;
const char second_text[] = "dorv: interrupted\n";

// Only what is safe in a signal handler: a flag, write and _exit.
void on_interrupt() {
    if (interrupt_count > 0) {
#ifdef _WIN32
        _write(said_fd, second_text, sizeof second_text - 1);
#else
        ssize_t ignored = write(said_fd, second_text, sizeof second_text - 1);
        (void)ignored;
#endif
        _exit(EXIT_INTERRUPTED);
    }
    interrupt_count = 1;
}

#ifdef _WIN32
BOOL WINAPI console_handler(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    on_interrupt();
    return TRUE;
}
#else
void signal_handler(int) {
    on_interrupt();
}
#endif
} // namespace

void catch_interrupt(int message_fd) {
    said_fd = message_fd;
#ifdef _WIN32
    SetConsoleCtrlHandler(console_handler, TRUE);
#else
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = signal_handler;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a write of the output in progress completes, and so does a
    // wait for the server's reply, after which the program stops.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
#endif
}

bool interrupted() {
    return interrupt_count != 0;
}
