// The library's start-up and shut-down in a process (declared in
// client/connection/library.h).
#include "client/connection/connection_table.h"
#include "client/connection/dialog_support.h"
#include "client/connection/library.h"
#include "client/protocol/charset.h"
#include "client/transport/wnsk.h"
#include "common/diagnostics.h"

void dorv_library_attach(PlatInstance instance) {
    library_instance = instance;
    wnsk_set_error_texts(instance);
    start_debug_log();
    ctl3d_available = load_ctl3d();
    init_connection_state();
    init_charset_tables();
}

void dorv_library_detach() {
    unload_connections();
    release_ctl3d();
    ctl3d_available = 0;
    end_debug_log();
}
