// Ctrl-C (SIGINT; on Windows the console's Ctrl-C and Ctrl-Break). The first one
// asks the program to stop after the record it is writing, so that the output
// ends on a whole record; a second one ends the program at once.
#pragma once

// From now on Ctrl-C is caught. `message_fd` is where "dorv: interrupted" goes
// when a second Ctrl-C ends the program.
void catch_interrupt(int message_fd);
// Ctrl-C was pressed.
bool interrupted();

// Exit status after an interruption, as shells report a program ended by SIGINT.
enum : int { EXIT_INTERRUPTED = 130 };
