// XDorvExecRange, XDorvExec, XDorvRange and XDorvClearRange: statements run on
// the server, their results written value by value into cells.
#include "addin/convert.h"
#include "addin/exports.h"
#include "addin/field_value.h"
#include "addin/lifecycle.h"
#include "addin/result_target.h"
#include "addin/statement_pieces.h"
#include "addin/xl_callback.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

namespace {

enum RowEnd { ROW_DONE, ROW_FAILED };

// Explain code: the library fetches the explanation into its own buffer and
// shows it in a box.
const int EXPLAIN_SHOWN_BY_LIBRARY = 2000;

void explain(int handle) {
    hl_dorv_explain(handle, nullptr, 0, EXPLAIN_SHOWN_BY_LIBRARY);
}

// Marks in the trace that tell where the end of a result was met.
enum TraceMark : int {
    EOF_AT_FIRST_ROW = 1245, // the result has no row
    EOF_IN_ROW = 1268,       // the row has no further field
    EOF_AFTER_ROW = 1298,    // no row follows
};

void trace_eof(TraceMark mark) {
    debug_print("\nXDorvExecRange: DORV_EOF, line = %d\n", static_cast<int>(mark));
}

// The fields of the row just fetched, up to the bound of the target. A status
// other than 0 and DORV_EOF is explained; a failed store is not.
RowEnd write_fields(int handle, const ResultTarget& t, long r, bool traced) {
    char field[FIELD_SIZE];
    for (long f = t.area.colFirst; !fields_full(t, f); ++f) {
        int status = hl_dorv_tfield(handle, field, FIELD_SIZE);
        if (status == DORV_EOF) {
            if (traced) trace_eof(EOF_IN_ROW);
            break;
        }
        if (status != DORV_OK) {
            explain(handle);
            return ROW_FAILED;
        }
        if (!store_field(t, r, f, field)) return ROW_FAILED;
    }
    return ROW_DONE;
}

// The result of the statement just executed, from row counter *r on. False
// on a failure.
bool write_result(int handle, const ResultTarget& t, long* r) {
    int status = t.header ? hl_dorv_hdr_val(handle) : hl_dorv_next_val(handle);
    if (status == DORV_EOF) {
        trace_eof(EOF_AT_FIRST_ROW);
        return true;
    }
    if (status != DORV_OK) {
        explain(handle);
        return false;
    }
    while (!rows_full(t, *r)) {
        if (write_fields(handle, t, *r, true) == ROW_FAILED) return false;
        status = hl_dorv_next_val(handle);
        ++*r;
        if (status == DORV_EOF) {
            trace_eof(EOF_AFTER_ROW);
            return true;
        }
        if (status != DORV_OK) {
            explain(handle);
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int16_t XL_CALL XDorvExecRange(XLOPER* handle, XLOPER* stmt, XLOPER* target,
                                          XLOPER* mode) {
    if (!xll_attached()) return 0;
    tmpstr_reset();
    int hdl = 0;
    char* text = nullptr;
    if (MKINT(handle, &hdl) != 0 || (text = MKSTR(stmt)) == nullptr) return 0;
    ResultTarget t;
    if (!read_target(target, mode, &t)) return 0;
    clear_target(target, t);
    debug_print("\nXDorvExecRange: call DLL functions with hdl: %3d\n", hdl);
    long r = t.area.rwFirst;
    char* rest = text;
    while (char* piece = next_piece(&rest)) {
        int status = hl_dorv_exec(hdl, piece);
        if (status > 0) {
            explain(hdl);
            return 0;
        }
        if (status < 0) continue;
        if (!write_result(hdl, t, &r)) return 0;
    }
    return static_cast<int16_t>(r - t.area.rwFirst);
}

extern "C" int16_t XL_CALL XDorvRange(XLOPER* handle, XLOPER* target, XLOPER* mode) {
    if (!xll_attached()) return 0;
    tmpstr_reset();
    int hdl = 0;
    if (MKINT(handle, &hdl) != 0) return 0;
    ResultTarget t;
    if (!read_target(target, mode, &t)) return 0;
    clear_target(target, t);
    long r = t.area.rwFirst;
    bool header = t.header;
    for (;; ++r) {
        if (rows_full(t, r)) break;
        int status = header ? hl_dorv_hdr_val(hdl) : hl_dorv_next_val(hdl);
        header = false;
        if (status == DORV_EOF) break;
        if (status != DORV_OK) {
            explain(hdl);
            return 0;
        }
        if (write_fields(hdl, t, r, false) == ROW_FAILED) return 0;
    }
    return static_cast<int16_t>(r);
}

extern "C" int16_t XL_CALL XDorvExec(XLOPER* handle, XLOPER* stmt) {
    if (!xll_attached()) return 0;
    tmpstr_reset();
    int hdl = 0;
    char* text = nullptr;
    if (MKINT(handle, &hdl) != 0 || (text = MKSTR(stmt)) == nullptr) return 0;
    debug_print("\nXDorvExec: call hl_dorv_exec (DLL function) with hdl: %3d\n", hdl);
    if (hl_dorv_exec(hdl, text) > 0) {
        explain(hdl);
        return 0;
    }
    return 1;
}

extern "C" int16_t XL_CALL XDorvClearRange(XLOPER* target, XLOPER* value) {
    if (!xll_attached() || target == nullptr || value == nullptr || xl_type(target) != xltypeSRef)
        return 0;
    return xl_call(xlSet, nullptr, 2, target, value) == xlretSuccess ? 1 : 0;
}
