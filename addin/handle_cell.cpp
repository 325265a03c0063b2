#include "addin/handle_cell.h"

#include "addin/convert.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

XLOPER* xl_handle_result(int handle) {
    if (handle >= -32768 && handle <= 32767) {
        xl_set_int(&xl_result, static_cast<int16_t>(handle));
        return &xl_result;
    }
    hl_disconnect(handle);
    error_box(
        "Connection handle %d does not fit into a cell\n(-32768 to 32767): connection closed.",
        handle);
    xl_set_error(&xl_result, xlerrNum);
    return &xl_result;
}
