// Reading a connection's configuration file, and the texts kept from it.
#pragma once

#include "client/connection/connection_table.h"

// Reads a key of a configuration file: from `section` first, then, when
// absent or empty there, from section "Global". At most size - 1 characters;
// an empty text when absent from both. True when a text was found.
bool read_config_text(const char* file, const char* section, const char* key, char* value,
                      int size = INI_TEXT_SIZE);

// Copies `from` (nullptr: the empty text) into a text of INI_TEXT_SIZE bytes,
// cut to 255 characters.
void copy_cut(char* to, const char* from);
