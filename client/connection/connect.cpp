// hl_connect and hl_disconnect.
#include "client/connection/connect.h"

#include "client/connection/connection_table.h"
#include "client/connection/read_ahead_setting.h"
#include "client/include/dorv32.h"
#include "client/transport/wnsk.h"
#include "common/diagnostics.h"

#include <ctype.h>
#include <string.h>

ConnectionRecord* connect_with_timeouts(char* transport, const char* server, const char* service,
                                        int debug, const ConnectionTimeouts& timeouts,
                                        int read_ahead) {
    if (transport == nullptr) {
        error_box("Unknown transport: %s\n", "");
        return nullptr;
    }
    // Only characters that change are written: a caller's constant text that
    // is already in upper case is never written to.
    for (char* p = transport; *p != '\0'; ++p) {
        char upper = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
        if (upper != *p) *p = upper;
    }
    if (strcmp(transport, "WINSOCK") != 0) {
        error_box("Unknown transport: %s\n", transport);
        return nullptr;
    }
    if (connection_count == MAX_CONNECTIONS) {
        error_box("Maximum number of connection\nalready active (%d)", MAX_CONNECTIONS);
        return nullptr;
    }
    int socket = ll_connect(server != nullptr ? server : "", service != nullptr ? service : "",
                            timeouts.connect_seconds);
    if (socket == -1) return nullptr;
    ConnectionRecord* record = add_connection(socket, debug);
    record->reply_timeout = timeouts.reply_seconds;
    record->read_ahead = read_ahead;
    // Requests sent ahead are small and leave back to back: Nagle's algorithm
    // would hold them for an acknowledgement. Without read-ahead the socket
    // keeps the system's defaults.
    if (read_ahead > 0) {
        wnsk_no_delay(socket);
        debug_print("   Read-ahead: %d requests\n", read_ahead);
    }
    if (timeouts.connect_seconds != 0 || timeouts.reply_seconds != 0)
        debug_print("   Timeouts: connect %d s, reply %d s\n", timeouts.connect_seconds,
                    timeouts.reply_seconds);
    return record;
}

extern "C" int DORV_CALL hl_connect(char* transport, const char* server, const char* service,
                                    int debug) {
    ConnectionRecord* record = connect_with_timeouts(transport, server, service, debug,
                                                     global_timeouts(), global_read_ahead());
    return record != nullptr ? record->socket : -1;
}

extern "C" int DORV_CALL hl_disconnect(int handle) {
    // A broken connection is closed like any other.
    ConnectionRecord* record = find_connection_record(handle);
    if (record == nullptr) return -1;
    int result = ll_disconnect(record->socket);
    remove_connection(record);
    return result;
}
