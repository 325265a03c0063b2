// The password dialog (template 101 of the library): shows a database name
// read-only and asks for its password. Win32 runs the real dialog; POSIX hands
// what it would show to a pluggable answerer.
#pragma once

#include "platform/dialog_services.h"
#include "platform/platform.h"

enum : int {
    PLAT_PASSWORD_DIALOG = 101,
    PLAT_PSWD_FIELD = 1003, // password, shown as asterisks
    PLAT_PSWD_FIELD_LABEL = 1004,
    PLAT_PSWD_NAME = 1005, // database name, read-only
    PLAT_PSWD_NAME_LABEL = 1006,
    PLAT_PSWD_MAX_INPUT = 16, // characters the password field takes
};

struct PlatPasswordDialog {
    const char* database; // shown read-only
    char* password;       // receives the text entered on OK
    int password_size;    // bytes at `password`: at most size - 1 characters and a NUL
    // Texts of the two labels and the two buttons; null keeps the template's own.
    const char* name_label;
    const char* password_label;
    const char* ok_text;
    const char* cancel_text;
    const PlatDialogServices* services;
};

// Runs the dialog modally without owner window, from the templates of
// `instance`. 1: OK, `password` filled in; 0: Cancel, `password` untouched;
// -1: the dialog could not be shown.
int plat_password_dialog(PlatInstance instance, const PlatPasswordDialog* dialog);

#ifndef _WIN32
// POSIX: what the dialog shows (the template's texts where none are given).
struct PlatPasswordPrompt {
    const char* caption;
    const char* name_label;
    const char* database;
    const char* password_label;
    const char* ok_text;
    const char* cancel_text;
    int max_input; // characters the field takes; longer answers are cut
};
// Answers the dialog: fills `input` (at most size - 1 characters and a NUL)
// and returns 1 for OK, or returns 0 for Cancel.
typedef int (*PlatPasswordAnswerer)(const PlatPasswordPrompt* prompt, char* input, int size,
                                    void* context);
// Without an answerer the dialog cannot be shown (plat_password_dialog gives -1).
void plat_set_password_answerer(PlatPasswordAnswerer answerer, void* context);
#endif
