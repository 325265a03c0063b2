// The commands of the dorv client, each on an open connection.
#pragma once

#include "options.h"

// Runs one command; false when it failed (the library or this program has said why).
bool run_command(int handle, const Command& command, const Options& options);
