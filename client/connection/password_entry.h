// Asking the user for a database password in dialog 101.
#pragma once

#include "client/connection/connection_table.h"
#include "client/connection/library.h" // library_instance: the module of dialog 101

#include <atomic>

// What the dialog shows and fills: the database name and the password.
struct PasswordExchange {
    char db_name[INI_TEXT_SIZE];
    char db_pswd[INI_TEXT_SIZE];
};

extern PasswordExchange password_exchange;
// 1 for exactly as long as the password dialog is open: set with exchange,
// so that a second caller finds it taken.
extern std::atomic<int> password_dialog_busy;

// Runs dialog 101 modally for `record` with the name and password in
// password_exchange; the texts come from the record's configuration file and
// section when it has both. 1: OK, the password in password_exchange.db_pswd;
// 0: Cancel; -1: the dialog could not be shown (reported).
int run_password_dialog(const ConnectionRecord* record);
