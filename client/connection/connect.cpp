// hl_connect and hl_disconnect.
#include "client/connection/connection_table.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

#include <ctype.h>
#include <string.h>

extern "C" int DORV_CALL hl_connect(char* transport, const char* server, const char* service,
                                    int debug) {
    if (transport == nullptr) {
        error_box("Unknown transport: %s\n", "");
        return -1;
    }
    for (char* p = transport; *p != '\0'; ++p)
        *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    if (strcmp(transport, "WINSOCK") != 0) {
        error_box("Unknown transport: %s\n", transport);
        return -1;
    }
    if (connection_count == MAX_CONNECTIONS) {
        error_box("Maximum number of connection\nalready active (%d)", MAX_CONNECTIONS);
        return -1;
    }
    int socket = ll_connect(server != nullptr ? server : "", service != nullptr ? service : "");
    if (socket == -1) return -1;
    add_connection(socket, debug);
    return socket;
}

extern "C" int DORV_CALL hl_disconnect(int handle) {
    ConnectionRecord* record = find_connection(handle);
    if (record == nullptr) return -1;
    int result = ll_disconnect(record->socket);
    remove_connection(record);
    return result;
}
