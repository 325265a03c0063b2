// Row requests ('F' for value records, 'R' for lines), sent one per call or,
// with read-ahead, up to the connection's depth ahead of the caller.
#pragma once

#include "client/connection/connection_table.h"

// Makes the reply to one row request the next on the stream: drains what the
// previous call left, then sends the request (without read-ahead), or tops up
// the requests in flight and takes the oldest of them. 0, or -1 when the
// connection failed (recorded).
int request_row(ConnectionRecord* connection, char code);
// After a row call: a failure (100) or a status other than 0 ends the rows,
// so no further requests are sent ahead; those in flight stay owed.
void note_row_result(ConnectionRecord* connection, int result);
