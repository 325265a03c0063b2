// The library's calls on one connection's record, behind the exported calls
// (which find the record for a handle and show what was recorded). Each
// records what goes wrong in the record's report and shows it itself only
// where a box or trace of its own must follow it in order. The fuzzer calls
// them on a record whose bytes come from memory.
#pragma once

#include "client/connection/connection_table.h"

// Statements (statement.cpp).
int version_call(ConnectionRecord& connection, char* text);
int exec_call(ConnectionRecord& connection, const char* text);
// 100 after the box "Fatal error occurred while executing explain !".
int explain_call(ConnectionRecord& connection, char* buffer, int size, int code);

// Results (results.cpp): 'H' (header line, with its code) or 'R' (next row);
// 'V' (header values) or 'F' (next row's values); a field with or without its
// type character.
int line_call(ConnectionRecord& connection, char code, char argument, char* buffer, int size,
              const char* call);
int record_call(ConnectionRecord& connection, char code);
int field_call(ConnectionRecord& connection, char* buffer, int size, bool drop_type);

// Host commands (host_command.cpp).
int echo_call(ConnectionRecord& connection, const char* text);
int host_command_call(ConnectionRecord& connection, const char* command);
int fetch_block_call(ConnectionRecord& connection, char* buffer, int size);
int fetch_line_call(ConnectionRecord& connection, char* buffer, int size);
