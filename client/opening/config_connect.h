// Connecting from a section of a configuration file, and opening the
// databases that the configuration names.
#pragma once

#include "client/connection/connection_table.h"

// Opens the databases of the sections in `list` (separated by ',' or ';') with
// one "OPEN DATABASE" statement on the record's connection. 0: opened; -1: a
// local failure (shown) or a cancelled password dialog; otherwise the
// server's positive status (its explanation shown).
int open_databases(ConnectionRecord* record, const char* filename, const char* list);

// How a password appears in the debug log: never the password itself.
const char* masked_password(const char* password);
