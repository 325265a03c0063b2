#include "client/connection/library.h"

#include "client/connection/connection_table.h"
#include "client/connection/database_cache.h"
#include "common/diagnostics.h"

PlatInstance library_instance = nullptr;

void unload_connections() {
    if (connection_count > 0) {
        // No exported call is running: what closing meets is shown at once.
        Report report;
        clear_report(&report);
        for (int i = 0; i < connection_count; ++i) {
            ll_disconnect(connection_table[i].socket, &report);
            show_report(&report);
        }
        debug_print("\nConnections still active at UNLOAD");
    }
    release_database_cache();
}
