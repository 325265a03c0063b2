#include "addin/handle_cell.h"

#include "addin/convert.h"
#include "addin/excel_api.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

namespace {

template <class X> X* handle_result(X* result, int handle) {
    using Excel = ExcelApi<X>;
    if (handle >= Excel::handle_min && handle <= Excel::handle_max) {
        xl_set_int(result, static_cast<decltype(result->val.w)>(handle));
        return result;
    }
    hl_disconnect(handle);
    error_box("Connection handle %d does not fit into a cell\n(%ld to %ld): connection closed.",
              handle, Excel::handle_min, Excel::handle_max);
    xl_set_error(result, xlerrNum);
    return result;
}

} // namespace

XLOPER* xl_handle_result(XLOPER* result, int handle) {
    return handle_result(result, handle);
}

XLOPER12* xl_handle_result(XLOPER12* result, int handle) {
    return handle_result(result, handle);
}
