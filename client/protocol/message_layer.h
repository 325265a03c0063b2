// Typed messages between client and server: block layout, requests, reading
// status replies, draining a half-read reply.
#pragma once

#include "client/connection/connection_table.h"
#include "client/include/dorv32.h" // the statuses: DORV_OK, DORV_EOF, DORV_NO_STATUS
#include "client/transport/wnsk.h"

// Block layout behind the 16-bit length.
enum : int {
    BLOCK_TYPE = 2,        // message type letter
    BLOCK_LAST = 3,        // last-block flag: 0 = more blocks of this reply follow
    BLOCK_PAYLOAD = 4,     // payload start
    BLOCK_STATUS = 4,      // status of a status ('S') block: 16 bits, high byte first
    BLOCK_STATUS_DATA = 6, // data of a status block, behind the status
    MAX_PAYLOAD = WNSK_BLOCK_SIZE - BLOCK_PAYLOAD,
    MAX_STATEMENT = WNSK_BLOCK_SIZE - BLOCK_STATUS_DATA,
};

// Explain codes: the remainder modulo EXPLAIN_IN_BOX goes to the server; the
// thousands choose where the explanation goes.
enum : int {
    EXPLAIN_IN_BOX = 1000,     // from here on the text is also shown in a box
    EXPLAIN_IN_LIBRARY = 2000, // from here on into text_buffer: the caller needs no buffer
};

// Every request is built in and sent from this block.
extern char request_block[WNSK_BLOCK_SIZE];
// Library-wide text buffer (OPEN DATABASE statement, explain text, dialog texts).
extern char text_buffer[WNSK_BLOCK_SIZE];

// Builds a request header in request_block: length, type, last-block flag 1.
void begin_request(char type, int payload_length);

int ll_write(ConnectionRecord* connection, char* block);
int ll_read(ConnectionRecord* connection, char* buffer);
// 0: a status block is in connection->block and *status holds its status;
// 100: none for the caller (reported).
int ll_dorv_read(ConnectionRecord* connection, int* status);
// Discards the rest of a reply that a call left unread, then the replies still
// owed to row requests sent ahead. -1 when the connection broke on the way
// (reported): the call then fails.
int ll_drain(ConnectionRecord* connection);
// The same for the current reply only: the replies owed stay in flight.
int drain_current_reply(ConnectionRecord* connection);
bool message_text_equals(const char* block, const char* literal);

// Checks a reply block of type `expected`: a text message in its place is
// shown as the server's (unless its text is `accepted_text`: then it is the
// reply), another type is refused, and so is a status block too short to
// hold a status. `call` names the call in the messages. True: the reply can
// be used.
bool check_reply(const char* block, char expected, const char* call,
                 const char* accepted_text = nullptr);
// Writes the request in request_block and reads its one-block reply into
// request_block, checked as check_reply does. A text message in its place
// that says more blocks follow leaves them for the next drain.
bool request_reply(ConnectionRecord* connection, char expected, const char* call,
                   const char* accepted_text = nullptr);

// A caller's buffer must exist and hold at least the terminator; otherwise the
// call reports it and fails without writing anything.
bool caller_buffer_ok(const char* call, const char* buffer, int size);
