// Opening and closing connections.
#pragma once

#include "client/connection/connection_table.h"
#include "client/connection/timeouts.h"

// hl_connect with the time-outs and read-ahead depth given instead of those
// of "windorv.ini": the new connection's record, or nullptr (recorded).
ConnectionRecord* connect_with_timeouts(char* transport, const char* server, const char* service,
                                        int debug, const ConnectionTimeouts& timeouts,
                                        int read_ahead, Report* report);
