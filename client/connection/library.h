// Start-up and shut-down of the library in a process.
#pragma once

#include "platform/platform.h"

// The library's module instance, set at attach: its string table holds the
// socket error texts and its dialog templates the password and entry dialogs.
extern PlatInstance library_instance;

// Process attach: remembers the module, opens the debug log, empties the
// connection table and the database cache, builds the translation tables.
// Process detach: closes connections still open, frees the database cache,
// releases the 3-D controls library, closes the debug log. Both reach every
// room of the library, so they live at its top, beside the entry point
// (client/entry/library_attach.cpp).
void dorv_library_attach(PlatInstance instance);
void dorv_library_detach();
// Closes the sockets of all open connections and frees the database cache (at unload).
void unload_connections();
