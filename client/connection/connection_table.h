// The table of at most four open server connections and their records.
#pragma once

#include "client/transport/wnsk.h"

enum : int { MAX_CONNECTIONS = 4, INI_TEXT_SIZE = 256 };

struct ConnectionRecord {
    unsigned task;               // thread that opened the connection
    int socket;                  // socket descriptor, also the connection handle
    int warnings;                // non-zero: warning boxes about the caller's own use
    int transfer_kind;           // ' ' none, 'U' host command output, 'S' value record
    int more;                    // further blocks of the current reply are due
    char block[WNSK_BLOCK_SIZE]; // receive buffer for one block
    int block_avail;             // payload bytes of the current block that can be read
    int block_pos;               // read position within them
    char ini_file[INI_TEXT_SIZE];
    char ini_section[INI_TEXT_SIZE];
    // Added at the end so that the fields above keep their places.
    int reply_timeout; // seconds to wait for each block of a reply; 0: no limit
    int broken;        // non-zero: the stream is lost; only hl_disconnect is accepted
    // Read-ahead, added at the end too.
    int read_ahead;    // row requests kept in flight; 0: one request per row, answered at once
    int in_flight;     // row requests sent whose replies have not been begun (owed to the drain)
    char ahead_code;   // request code of those requests ('F' or 'R')
    int ahead_stopped; // non-zero: a reply ended the rows; no further requests are sent ahead
    // Reading a value record in pieces, added at the end too.
    int field_continues; // non-zero: the last field call filled its buffer; the next piece
                         // is the rest of that field, without a type character
};

extern ConnectionRecord connection_table[MAX_CONNECTIONS];
extern int connection_count;

// Empties the table and the database cache (at attach).
void init_connection_state();
// The caller's record for a handle, or nullptr after an error box; a broken
// connection is reported and refused too.
ConnectionRecord* find_connection(int handle);
// The same, but a broken connection is handed out (for hl_disconnect).
ConnectionRecord* find_connection_record(int handle);
// True when the handle names an open connection that is broken (nothing shown).
bool connection_is_broken(int handle);
ConnectionRecord* add_connection(int socket, int warnings);
void remove_connection(ConnectionRecord* record);
int count_task_connections();
int ll_connect(const char* server, const char* service, int connect_timeout = 0);
int ll_disconnect(int socket);
