// hl_connect and hl_disconnect.
#include "client/connection/connect.h"

#include "client/connection/export_call.h"
#include "client/connection/read_ahead_setting.h"
#include "client/include/dorv32.h"

#include <ctype.h>
#include <string.h>

namespace {

// Upper-cases the caller's transport name and checks it; false (recorded)
// when it is not the one transport there is.
bool known_transport(char* transport, Report* report) {
    if (transport == nullptr) {
        report_error(report, "Unknown transport: %s\n", "");
        return false;
    }
    // Only characters that change are written: a caller's constant text that
    // is already in upper case is never written to.
    for (char* p = transport; *p != '\0'; ++p) {
        char upper = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
        if (upper != *p) *p = upper;
    }
    if (strcmp(transport, "WINSOCK") == 0) return true;
    report_error(report, "Unknown transport: %s\n", transport);
    return false;
}

} // namespace

ConnectionRecord* connect_with_timeouts(char* transport, const char* server, const char* service,
                                        int debug, const ConnectionTimeouts& timeouts,
                                        int read_ahead, Report* report) {
    // The transport is checked first: an unknown one with a full table reports the transport.
    if (!known_transport(transport, report) || !reserve_place(report)) return nullptr;
    int socket = ll_connect(server != nullptr ? server : "", service != nullptr ? service : "",
                            timeouts.connect_seconds, report);
    if (socket == -1) {
        release_place();
        return nullptr;
    }
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
    CallReport call;
    ConnectionRecord* record = connect_with_timeouts(
        transport, server, service, debug, global_timeouts(), global_read_ahead(), &call.report);
    return record != nullptr ? record->socket : -1;
}

extern "C" int DORV_CALL hl_disconnect(int handle) {
    // A broken connection is closed like any other. Its record is emptied
    // here, and may then be another thread's: nothing is recorded in it.
    CallReport call;
    ConnectionRecord* record = find_connection_record(handle, &call.report);
    if (record == nullptr) return -1;
    int result = ll_disconnect(record->socket, &call.report);
    remove_connection(record);
    return result;
}
