// The connection table: at most four open connections, in the order opened.
#include "client/connection/connection_table.h"

#include "client/connection/database_cache.h"
#include "common/trace.h"

#include <string.h>

ConnectionTable connection_table;
int connection_count = 0;

namespace {

// The records themselves, which never move, and the order of the open ones:
// order[0 .. connection_count - 1] are open, the rest free and zero-filled.
ConnectionRecord records[MAX_CONNECTIONS];
int order[MAX_CONNECTIONS] = {0, 1, 2, 3};
int reserved = 0; // places kept for connections being opened
// Guards the order, the count and the reservations; records are their
// owners' own.
PlatLock table_lock;

unsigned current_task() {
    return static_cast<unsigned>(plat_thread_id());
}

// The open record of a handle, or nullptr; with the lock held.
ConnectionRecord* open_record(int handle) {
    for (int i = 0; i < connection_count; ++i)
        if (records[order[i]].socket == handle) return &records[order[i]];
    return nullptr;
}

} // namespace

ConnectionRecord& ConnectionTable::operator[](int i) {
    return records[order[i]];
}

void init_connection_state() {
    {
        PlatLockHold hold(table_lock);
        memset(records, 0, sizeof records);
        for (int i = 0; i < MAX_CONNECTIONS; ++i)
            order[i] = i;
        connection_count = 0;
        reserved = 0;
    }
    release_database_cache();
}

ConnectionRecord* find_connection(int handle, Report* report) {
    ConnectionRecord* record = find_connection_record(handle, report);
    if (record == nullptr || record->broken == 0) return record;
    report_error(report, "Connection broken:\n handle = %d\n Close it with hl_disconnect.", handle);
    return nullptr;
}

bool connection_is_broken(int handle) {
    PlatLockHold hold(table_lock);
    const ConnectionRecord* record = open_record(handle);
    return record != nullptr && record->task == current_task() && record->broken != 0;
}

ConnectionRecord* find_connection_record(int handle, Report* report) {
    ConnectionRecord* record;
    unsigned task = 0;
    {
        PlatLockHold hold(table_lock);
        record = open_record(handle);
        if (record != nullptr) task = record->task;
    }
    if (record == nullptr) {
        report_error(report, "Invalid connection handle:\n handle = %d", handle);
        return nullptr;
    }
    // Only its own thread closes a connection: once found, the record stays.
    if (task == current_task()) return record;
    report_error(report,
                 "Invalid connection handle:\n Connection handle %d is not\n associated with "
                 "current task",
                 handle);
    return nullptr;
}

bool reserve_place(Report* report) {
    PlatLockHold hold(table_lock);
    if (connection_count + reserved < MAX_CONNECTIONS) {
        ++reserved;
        return true;
    }
    report_error(report, "Maximum number of connection\nalready active (%d)", MAX_CONNECTIONS);
    return false;
}

void release_place() {
    PlatLockHold hold(table_lock);
    if (reserved > 0) --reserved;
}

ConnectionRecord* add_connection(int socket, int warnings) {
    ConnectionRecord* record;
    int number;
    {
        PlatLockHold hold(table_lock);
        if (reserved > 0) --reserved;
        record = &records[order[connection_count]];
        record->task = current_task();
        record->socket = socket;
        record->warnings = warnings;
        number = ++connection_count;
    }
    debug_print("\nADD_CONNECTION: number = %d\n", number);
    debug_print("   Handle: %d\n   Task: %ld\n", socket, static_cast<long>(record->task));
    return record;
}

void remove_connection(ConnectionRecord* record) {
    PlatLockHold hold(table_lock);
    int slot = static_cast<int>(record - records);
    int at = 0;
    while (at < connection_count && order[at] != slot)
        ++at;
    if (at == connection_count) return;
    for (int i = at + 1; i < connection_count; ++i)
        order[i - 1] = order[i];
    --connection_count;
    order[connection_count] = slot;
    memset(record, 0, sizeof *record);
}

int count_task_connections() {
    PlatLockHold hold(table_lock);
    int n = 0;
    for (int i = 0; i < connection_count; ++i)
        if (records[order[i]].task == current_task()) ++n;
    return n;
}

int ll_connect(const char* server, const char* service, int connect_timeout, Report* report) {
    if (count_task_connections() == 0 && wnsk_setup(*report) != 0) return -1;
    return wnsk_connect(server, service, connect_timeout, *report);
}

int ll_disconnect(int socket, Report* report) {
    int result = wnsk_disconnect(socket, *report);
    if (result == 0 && count_task_connections() == 1) result = wnsk_cleanup();
    return result;
}
