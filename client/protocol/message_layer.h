// Typed messages between client and server: building requests in the
// connection's request block, reading status replies, draining a half-read
// reply. Everything here works on one connection's record and records what
// goes wrong there; the exported calls show it.
#pragma once

#include "client/connection/connection_table.h"
#include "client/include/dorv32.h" // the statuses: DORV_OK, DORV_EOF, DORV_NO_STATUS

enum : int { MAX_STATEMENT = BLOCK_SIZE - BLOCK_STATUS_DATA };

// Explain codes: the remainder modulo EXPLAIN_IN_BOX goes to the server; the
// thousands choose where the explanation goes.
enum : int {
    EXPLAIN_IN_BOX = 1000,     // from here on the text is also shown in a box
    EXPLAIN_IN_LIBRARY = 2000, // from here on into the connection's text buffer
};

// Where this thread's last explanation for a code from EXPLAIN_IN_LIBRARY on
// went: the text buffer of its connection (null before the first).
extern thread_local const char* text_buffer;

// Builds a request header in the connection's request block: length, type,
// last-block flag 1.
void begin_request(ConnectionRecord* connection, char type, int payload_length);
// Sends a block after checking its length: 0, or -1 (recorded).
int send_request(ConnectionRecord* connection, char* block);
// The same for a caller outside an exported call: what goes wrong is shown at once.
int ll_write(ConnectionRecord* connection, char* block);
int ll_read(ConnectionRecord* connection, char* buffer);
// 0: a status block is in connection->block and *status holds its status;
// 100: none for the caller (recorded).
int ll_dorv_read(ConnectionRecord* connection, int* status);
// Discards the rest of a reply that a call left unread (the warning "Pending
// transfer" first, where warnings are on). -1 when the connection broke on
// the way (recorded).
int drain_current_reply(ConnectionRecord* connection);
// Discards the oldest reply still owed to a row request sent ahead, whole.
void drain_owed_reply(ConnectionRecord* connection);
// At the start of a request: the rest of the current reply, then every reply
// still owed, are discarded, and what each drain met is shown as soon as it
// is done, so that it comes before the request's own traces and boxes. -1
// when the connection broke on the way: the call then fails.
int ll_drain(ConnectionRecord* connection);

// Checks a reply block of type `expected`: a text message in its place is
// the server's for the user (unless its text is `accepted_text`: then it is
// the reply), another type is refused, and so is a status block too short to
// hold a status. `call` names the call in the messages. True: the reply can
// be used.
bool check_reply(Report* report, const char* block, char expected, const char* call,
                 const char* accepted_text = nullptr);
// Sends the request in the request block and reads its one-block reply into
// it, checked as check_reply does. A text message in its place that says more
// blocks follow leaves them for the next drain.
bool request_reply(ConnectionRecord* connection, char expected, const char* call,
                   const char* accepted_text = nullptr);

// The sequence error of a call that found no transfer of its kind pending:
// `kind` names it ("Dorv", "HPUX"), `advice` is a line of advice or empty.
void report_sequence_error(ConnectionRecord* connection, const char* call, const char* kind,
                           const char* advice);

// A caller's buffer must exist and hold at least the terminator; otherwise the
// call records it and fails without writing anything.
bool caller_buffer_ok(Report* report, const char* call, const char* buffer, int size);
