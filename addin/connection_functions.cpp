// XDorvConnect, XDorvConnectIni, XDorvDisconnect, XDorvSetInifile and
// XDorvVersion: a worksheet's connections to the server, for the records of
// Excel's 4 interface and (the names ending in 12) of its 12 interface.
#include "addin/convert.h"
#include "addin/excel_api.h"
#include "addin/exports.h"
#include "addin/handle_cell.h"
#include "addin/lifecycle.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

#include <string.h>

namespace {

// The longest version text the library writes: a reply block's data.
const int VERSION_TEXT_MAX = 1018;

template <class X> X* not_attached() {
    xl_set_error(ExcelApi<X>::result(), xlerrValue);
    return ExcelApi<X>::result();
}

template <class X> X* connect(X* transport, X* server, X* service, X* debug) {
    if (!xll_attached()) return not_attached<X>();
    X* result = ExcelApi<X>::result();
    tmpstr_reset();
    char* transport_text = MKSTR(transport);
    if (transport_text == nullptr) return result;
    char* server_text = MKSTR(server);
    if (server_text == nullptr) return result;
    char* service_text = MKSTR(service);
    if (service_text == nullptr) return result;
    int warnings = 0;
    if (!xl_optional_int(debug, 0, &warnings)) return result;
    return xl_handle_result(result,
                            hl_connect(transport_text, server_text, service_text, warnings));
}

template <class X> X* connect_ini(X* filename, X* section, X* debug, X* dbopen) {
    if (!xll_attached()) return not_attached<X>();
    X* result = ExcelApi<X>::result();
    tmpstr_reset();
    char* file = MKSTR(filename);
    if (file == nullptr) return result;
    char* section_text = MKSTR(section);
    if (section_text == nullptr) return result;
    int warnings = 0, open_databases = 0;
    if (!xl_optional_int(debug, 0, &warnings) || !xl_optional_int(dbopen, 0, &open_databases))
        return result;
    return xl_handle_result(result, hl_connect_ini(file, section_text, warnings, open_databases));
}

template <class X> X* disconnect(X* handle) {
    if (!xll_attached()) return not_attached<X>();
    X* result = ExcelApi<X>::result();
    int hdl = 0;
    if (MKINT(handle, &hdl) != 0) return result;
    xl_set_int(result, static_cast<decltype(result->val.w)>(hl_disconnect(hdl)));
    return result;
}

template <class X> int set_inifile(X* handle, X* filename, X* section) {
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

template <class X> X* version(X* handle) {
    if (!xll_attached()) return not_attached<X>();
    X* result = ExcelApi<X>::result();
    tmpstr_reset();
    int hdl = 0;
    if (MKINT(handle, &hdl) != 0) return result;
    // A length byte, then room for the longest text and its terminator.
    char* counted = tmpstr_alloc(1 + VERSION_TEXT_MAX + 1);
    if (counted == nullptr) {
        xl_set_error(result, xlerrNA);
        return result;
    }
    if (hl_dorv_version(hdl, counted + 1) != 0) {
        xl_set_error(result, xlerrValue);
        return result;
    }
    counted[1 + VERSION_TEXT_MAX] = '\0';
    xl_set_text(result, counted);
    return result;
}

} // namespace

extern "C" XLOPER* XL_CALL XDorvConnect(XLOPER* transport, XLOPER* server, XLOPER* service,
                                        XLOPER* debug) {
    return connect(transport, server, service, debug);
}

extern "C" XLOPER* XL_CALL XDorvConnectIni(XLOPER* filename, XLOPER* section, XLOPER* debug,
                                           XLOPER* dbopen) {
    return connect_ini(filename, section, debug, dbopen);
}

extern "C" XLOPER* XL_CALL XDorvDisconnect(XLOPER* handle) {
    return disconnect(handle);
}

extern "C" int16_t XL_CALL XDorvSetInifile(XLOPER* handle, XLOPER* filename, XLOPER* section) {
    return static_cast<int16_t>(set_inifile(handle, filename, section));
}

extern "C" XLOPER* XL_CALL XDorvVersion(XLOPER* handle) {
    return version(handle);
}

extern "C" XLOPER12* XL_CALL XDorvConnect12(XLOPER12* transport, XLOPER12* server,
                                            XLOPER12* service, XLOPER12* debug) {
    return connect(transport, server, service, debug);
}

extern "C" XLOPER12* XL_CALL XDorvConnectIni12(XLOPER12* filename, XLOPER12* section,
                                               XLOPER12* debug, XLOPER12* dbopen) {
    return connect_ini(filename, section, debug, dbopen);
}

extern "C" XLOPER12* XL_CALL XDorvDisconnect12(XLOPER12* handle) {
    return disconnect(handle);
}

extern "C" int32_t XL_CALL XDorvSetInifile12(XLOPER12* handle, XLOPER12* filename,
                                             XLOPER12* section) {
    return set_inifile(handle, filename, section);
}

extern "C" XLOPER12* XL_CALL XDorvVersion12(XLOPER12* handle) {
    return version(handle);
}
