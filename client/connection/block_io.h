// A connection's blocks: the transport moves the bytes, the codec frames them.
// What goes wrong is recorded, never shown here.
#pragma once

#include "client/connection/connection_table.h"

// Where blocks go to and come from.
struct BlockChannel {
    int socket;
    const ByteLink* link; // when given, it carries the bytes instead of the socket
    int reply_timeout;    // seconds each block may take to come; 0: no limit
    Report* report;
};

// One whole block into `block` (BLOCK_SIZE bytes), its length field in host
// order: 0, or -1 (recorded). *stream_lost tells whether the stream can still
// carry blocks: false after success and after a bad block that was read to
// its declared end; true after a time-out, a closed or failed connection, or
// a length that cannot be trusted.
int read_block(const BlockChannel& channel, char* block, bool* stream_lost);
// Sends the whole block; its length field is in host order before and after
// the call. 0, or -1 (recorded).
int write_block(const BlockChannel& channel, char* block);

// The same on a connection, recorded in its report: a failed send, and a
// failed receive that leaves the stream out of step, break the connection.
int receive_block(ConnectionRecord* connection, char* block);
int send_block(ConnectionRecord* connection, char* block);
