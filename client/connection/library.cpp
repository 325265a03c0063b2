#include "client/connection/library.h"

#include "client/connection/connection_table.h"
#include "client/connection/database_cache.h"
#include "client/connection/dialog_support.h"
#include "client/protocol/charset.h"
#include "client/transport/wnsk.h"
#include "common/diagnostics.h"

PlatInstance library_instance = nullptr;

void dorv_library_attach(PlatInstance instance) {
    library_instance = instance;
    wnsk_set_error_texts(instance);
    start_debug_log();
    ctl3d_available = load_ctl3d();
    init_connection_state();
    init_charset_tables();
}

void unload_connections() {
    if (connection_count > 0) {
        for (int i = 0; i < connection_count; ++i)
            ll_disconnect(connection_table[i].socket);
        debug_print("\nConnections still active at UNLOAD");
    }
    release_database_cache();
}

void dorv_library_detach() {
    unload_connections();
    release_ctl3d();
    ctl3d_available = 0;
    end_debug_log();
}
