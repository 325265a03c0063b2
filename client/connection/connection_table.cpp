// The connection table: at most four open connections, used from the front.
#include "client/connection/connection_table.h"

#include "client/connection/database_cache.h"
#include "client/transport/wnsk.h"
#include "common/diagnostics.h"

#include <string.h>

ConnectionRecord connection_table[MAX_CONNECTIONS];
int connection_count = 0;

namespace {
unsigned current_task() {
    return static_cast<unsigned>(plat_thread_id());
}
} // namespace

void init_connection_state() {
    memset(connection_table, 0, sizeof connection_table);
    connection_count = 0;
    release_database_cache();
}

ConnectionRecord* find_connection(int handle) {
    ConnectionRecord* record = find_connection_record(handle);
    if (record == nullptr || record->broken == 0) return record;
    error_box("Connection broken:\n handle = %d\n Close it with hl_disconnect.", handle);
    return nullptr;
}

bool connection_is_broken(int handle) {
    for (int i = 0; i < connection_count; ++i)
        if (connection_table[i].socket == handle) return connection_table[i].broken != 0;
    return false;
}

ConnectionRecord* find_connection_record(int handle) {
    for (int i = 0; i < connection_count; ++i) {
        ConnectionRecord* record = &connection_table[i];
        if (record->socket != handle) continue;
        if (record->task == current_task()) return record;
        error_box("Invalid connection handle:\n Connection handle %d is not\n associated with "
                  "current task",
                  handle);
        return nullptr;
    }
    error_box("Invalid connection handle:\n handle = %d", handle);
    return nullptr;
}

ConnectionRecord* add_connection(int socket, int warnings) {
    ConnectionRecord* record = &connection_table[connection_count];
    record->task = current_task();
    record->socket = socket;
    record->warnings = warnings;
    ++connection_count;
    debug_print("\nADD_CONNECTION: number = %d\n", connection_count);
    debug_print("   Handle: %d\n   Task: %ld\n", socket, static_cast<long>(record->task));
    return record;
}

void remove_connection(ConnectionRecord* record) {
    int slot = static_cast<int>(record - connection_table);
    for (int i = slot + 1; i < connection_count; ++i)
        connection_table[i - 1] = connection_table[i];
    --connection_count;
    memset(&connection_table[connection_count], 0, sizeof(ConnectionRecord));
}

int count_task_connections() {
    int n = 0;
    for (int i = 0; i < connection_count; ++i)
        if (connection_table[i].task == current_task()) ++n;
    return n;
}

int ll_connect(const char* server, const char* service, int connect_timeout) {
    if (count_task_connections() == 0 && wnsk_setup() != 0) return -1;
    return wnsk_connect_within(server, service, connect_timeout);
}

int ll_disconnect(int socket) {
    int result = wnsk_disconnect(socket);
    if (result == 0 && count_task_connections() == 1) result = wnsk_cleanup();
    return result;
}
