// The table of at most four open server connections and their records. A
// record is everything a call reads or writes for its connection; it stays
// where it is in memory from connect to disconnect, so that threads may call
// at the same time, each on connections of its own, while others connect and
// disconnect. The table itself is guarded for connect and disconnect.
#pragma once

#include "client/transport/byte_link.h"
#include "client/transport/wnsk.h"
#include "common/report.h"

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
    // The connection's own buffers and what went wrong, added at the end too.
    char request[WNSK_BLOCK_SIZE]; // every request is built in and sent from here
    char text[WNSK_BLOCK_SIZE];    // OPEN DATABASE statement, explanation, dialog texts
    const ByteLink* link;          // what carries its bytes instead of its socket; null: the socket
    Report report;                 // what the layers below recorded, until the call shows it
};

// The open connections in the order they were opened: entries 0 to
// connection_count - 1; the entries behind them are zero-filled. Closing one
// closes the gap in this order, while every record stays where it is.
class ConnectionTable {
  public:
    ConnectionRecord& operator[](int i); // i from 0 to MAX_CONNECTIONS - 1
};
extern ConnectionTable connection_table;
extern int connection_count;

// Empties the table and the database cache (at attach).
void init_connection_state();
// The caller's record for a handle, or nullptr with the reason recorded; a
// broken connection is recorded and refused too.
ConnectionRecord* find_connection(int handle, Report* report);
// The same, but a broken connection is handed out (for hl_disconnect).
ConnectionRecord* find_connection_record(int handle, Report* report);
// True when the handle names an open connection of the caller that is broken.
bool connection_is_broken(int handle);
// Keeps a place in the table for a connection being opened; false (recorded)
// when all four are taken. add_connection fills it, release_place gives it up.
bool reserve_place(Report* report);
void release_place();
ConnectionRecord* add_connection(int socket, int warnings);
void remove_connection(ConnectionRecord* record);
int count_task_connections();
int ll_connect(const char* server, const char* service, int connect_timeout, Report* report);
int ll_disconnect(int socket, Report* report);
