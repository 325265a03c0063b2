// POSIX: the two dialogs on the process's terminal, for programs that say so
// with DORV_DIALOGS=terminal in their environment (the command-line client)
// and have installed no answerer of their own.
#pragma once

#include "platform/list_dialog.h"
#include "platform/password_dialog.h"

bool terminal_dialogs_wanted();
// Asks for the password without echo. 1: entered; 0: no terminal or end of input.
int terminal_password_answerer(const PlatPasswordPrompt* prompt, char* input, int size,
                               void* context);
// Shows the rows numbered and reads the pick; -1 for Cancel.
int terminal_list_answerer(const PlatListView* view, void* context);
