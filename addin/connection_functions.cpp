// XDorvConnect, XDorvConnectIni, XDorvDisconnect, XDorvSetInifile and
// XDorvVersion: a worksheet's connections to the server.
#include "addin/convert.h"
#include "addin/exports.h"
#include "addin/handle_cell.h"
#include "addin/lifecycle.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

#include <string.h>

namespace {

// The longest version text the library writes: a reply block's data.
const int VERSION_TEXT_MAX = 1018;

XLOPER* not_attached() {
    xl_set_error(&xl_result, xlerrValue);
    return &xl_result;
}

} // namespace

extern "C" XLOPER* XL_CALL XDorvConnect(XLOPER* transport, XLOPER* server, XLOPER* service,
                                        XLOPER* debug) {
    if (!xll_attached()) return not_attached();
    tmpstr_reset();
    char* transport_text = MKSTR(transport);
    if (transport_text == nullptr) return &xl_result;
    char* server_text = MKSTR(server);
    if (server_text == nullptr) return &xl_result;
    char* service_text = MKSTR(service);
    if (service_text == nullptr) return &xl_result;
    int warnings = 0;
    if (!xl_optional_int(debug, 0, &warnings)) return &xl_result;
    return xl_handle_result(hl_connect(transport_text, server_text, service_text, warnings));
}

extern "C" XLOPER* XL_CALL XDorvConnectIni(XLOPER* filename, XLOPER* section, XLOPER* debug,
                                           XLOPER* dbopen) {
    if (!xll_attached()) return not_attached();
    tmpstr_reset();
    char* file = MKSTR(filename);
    if (file == nullptr) return &xl_result;
    char* section_text = MKSTR(section);
    if (section_text == nullptr) return &xl_result;
    int warnings = 0, open_databases = 0;
    if (!xl_optional_int(debug, 0, &warnings) || !xl_optional_int(dbopen, 0, &open_databases))
        return &xl_result;
    return xl_handle_result(hl_connect_ini(file, section_text, warnings, open_databases));
}

extern "C" XLOPER* XL_CALL XDorvDisconnect(XLOPER* handle) {
    if (!xll_attached()) return not_attached();
    int hdl = 0;
    if (MKINT(handle, &hdl) != 0) return &xl_result;
    xl_set_int(&xl_result, static_cast<int16_t>(hl_disconnect(hdl)));
    return &xl_result;
}

extern "C" int16_t XL_CALL XDorvSetInifile(XLOPER* handle, XLOPER* filename, XLOPER* section) {
    if (!xll_attached()) return 0;
    tmpstr_reset();
    int hdl = 0;
    if (MKINT(handle, &hdl) != 0) return 0;
    char* file = MKSTR(filename);
    if (file == nullptr) return 0;
    char* section_text = MKSTR(section);
    if (section_text == nullptr) return 0;
    debug_print("\nXDorvSetInifile: call hl_set_inifile (DLL function) with:\n   hdl: %d\n   "
                "filename: [%s]\n"
                "   section: [%s]\n",
                hdl, file, section_text);
    hl_set_inifile(hdl, file, section_text);
    return 1;
}

extern "C" XLOPER* XL_CALL XDorvVersion(XLOPER* handle) {
    if (!xll_attached()) return not_attached();
    tmpstr_reset();
    int hdl = 0;
    if (MKINT(handle, &hdl) != 0) return &xl_result;
    // A length byte, then room for the longest text and its terminator.
    char* counted = tmpstr_alloc(1 + VERSION_TEXT_MAX + 1);
    if (counted == nullptr) {
        xl_set_error(&xl_result, xlerrNA);
        return &xl_result;
    }
    if (hl_dorv_version(hdl, counted + 1) != 0) {
        xl_set_error(&xl_result, xlerrValue);
        return &xl_result;
    }
    counted[0] = xl_text_length(strnlen(counted + 1, VERSION_TEXT_MAX));
    xl_result.xltype = xltypeStr;
    xl_result.val.str = counted;
    return &xl_result;
}
