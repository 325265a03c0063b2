// XDorvExecRange, XDorvExec, XDorvRange and XDorvClearRange: statements run on
// the server, their results written value by value into cells.
#include "addin/convert.h"
#include "addin/excel_api.h"
#include "addin/exports.h"
#include "addin/field_value.h"
#include "addin/lifecycle.h"
#include "addin/result_target.h"
#include "addin/statement_pieces.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

#include <stdio.h>
#include <string.h>

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

// The field being written, as long as the cells of either interface take.
char field_buffer[CELL12_FIELD_SIZE];

// Reads the next field whole into `field`: its type character and at most
// `most` characters. The library hands a long field out in pieces: a piece
// that fills its buffer is always followed by its continuation (possibly
// empty), which carries no type character. What a cell cannot hold is read
// and dropped. Returns the status of the first piece, or of a continuation
// that failed.
int read_field(int handle, char* field, int most) {
    char piece[FIELD_SIZE];
    int status = hl_dorv_tfield(handle, piece, FIELD_SIZE);
    if (status != DORV_OK) return status;
    size_t n = strlen(piece);
    memcpy(field, piece, n + 1);
    size_t kept = n;
    long dropped = 0;
    while (n == FIELD_SIZE - 1) {
        status = hl_dorv_tfield(handle, piece, FIELD_SIZE);
        if (status == DORV_EOF) break; // the record ended inside the field
        if (status != DORV_OK) return status;
        n = strlen(piece);
        size_t room = static_cast<size_t>(most) + 1 - kept;
        size_t take = n < room ? n : room;
        memcpy(field + kept, piece, take);
        kept += take;
        field[kept] = '\0';
        dropped += static_cast<long>(n - take);
    }
    if (dropped > 0)
        debug_print("Field cut to %d characters, %ld dropped: [%.21s]\n", most, dropped, field);
    return DORV_OK;
}

// The fields of the row just fetched, up to the bound of the target. A status
// other than 0 and DORV_EOF is explained; a failed store is not.
template <class X> RowEnd write_fields(int handle, ResultTarget& t, long r, bool traced) {
    char* field = field_buffer;
    for (long f = t.area.colFirst; !fields_full(t, f); ++f) {
        int status = read_field(handle, field, t.text_max);
        if (status == DORV_EOF) {
            if (traced) trace_eof(EOF_IN_ROW);
            break;
        }
        if (status != DORV_OK) {
            explain(handle);
            return ROW_FAILED;
        }
        if (!store_field<X>(t, r, f, field)) return ROW_FAILED;
    }
    return ROW_DONE;
}

// A long fill shows on Excel's status bar how far it has come and looks
// whether the user pressed Esc: from the first status text on, every
// ABORT_STEP rows. A shorter fill calls neither.
const long STATUS_STEP = 1000;
const long ABORT_STEP = 100;

struct Fill {
    const char* function; // for the trace
    bool status_shown;    // the status bar must be given back to Excel
};

template <class X> bool esc_pressed() {
    X pressed{};
    return ExcelApi<X>::call(xlAbort, &pressed) == xlretSuccess &&
           xl_type(&pressed) == xltypeBool && pressed.val.xbool != 0;
}

// After a row has been written, `rows` sheet rows in all: false when the
// user stopped the fill.
template <class X> bool fill_goes_on(Fill* fill, long rows) {
    using Excel = ExcelApi<X>;
    if (rows < STATUS_STEP || rows % ABORT_STEP != 0) return true;
    if (rows % STATUS_STEP == 0) {
        char text[40]; // counted: length byte, characters, NUL
        snprintf(text + 1, sizeof text - 1, "Dorv: %ld rows", rows);
        Excel::call(xlcMessage, nullptr, Excel::temp_bool(true), Excel::temp_text(text));
        fill->status_shown = true;
    }
    if (!esc_pressed<X>()) return true;
    debug_print("\n%s: stopped by Esc after %ld rows\n", fill->function, rows);
    return false;
}

template <class X> void fill_end(const Fill& fill) {
    using Excel = ExcelApi<X>;
    if (fill.status_shown) Excel::call(xlcMessage, nullptr, Excel::temp_bool(false));
}

// The result of the statement just executed, from row counter *r on. False
// on a failure or when the user stopped the fill.
template <class X> bool write_result(int handle, ResultTarget& t, Fill* fill, long* r) {
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
        if (write_fields<X>(handle, t, *r, true) == ROW_FAILED) return false;
        if (!fill_goes_on<X>(fill, *r + 1 - t.area.rwFirst)) return false;
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

// Executes the pieces of `text` one by one and writes their results from
// row counter *r on. False on a failure or when the user stopped the fill.
template <class X> bool exec_pieces(int handle, char* text, ResultTarget& t, Fill* fill, long* r) {
    char* rest = text;
    while (char* piece = next_piece(&rest)) {
        int status = hl_dorv_exec(handle, piece);
        if (status > 0) {
            explain(handle);
            return false;
        }
        if (status < 0) continue;
        if (!write_result<X>(handle, t, fill, r)) return false;
    }
    return true;
}

// The pending result, from row counter *r on. False on a failure or when the
// user stopped the fill.
template <class X> bool write_pending(int handle, ResultTarget& t, Fill* fill, long* r) {
    bool header = t.header;
    for (;; ++*r) {
        if (rows_full(t, *r)) return true;
        int status = header ? hl_dorv_hdr_val(handle) : hl_dorv_next_val(handle);
        header = false;
        if (status == DORV_EOF) return true;
        if (status != DORV_OK) {
            explain(handle);
            return false;
        }
        if (write_fields<X>(handle, t, *r, false) == ROW_FAILED) return false;
        if (!fill_goes_on<X>(fill, *r + 1 - t.area.rwFirst)) return false;
    }
}

// Reads and clears the target, then has `write(target, fill, r)` fill it
// from its first row on, with the status bar and Esc of a long fill. False
// when the target is of no use, on a failure, or when the user stopped it;
// *first and *r are the first row and the row counter at the end.
template <class X, class Write>
bool fill_target(X* target, X* mode, const char* function, long* first, long* r, Write write) {
    ResultTarget t;
    if (!read_target(target, mode, &t)) return false;
    clear_target(target, t);
    Fill fill = {function, false};
    *first = *r = t.area.rwFirst;
    bool done = write(t, &fill, r);
    fill_end<X>(fill);
    return done;
}

// The number of sheet rows written, or 0.
template <class X> long exec_range(X* handle, X* stmt, X* target, X* mode) {
    if (!xll_attached()) return 0;
    tmpstr_reset();
    int hdl = 0;
    char* text = nullptr;
    if (MKINT(handle, &hdl) != 0 || (text = MKSTR(stmt)) == nullptr) return 0;
    long first = 0, r = 0;
    auto write = [&](ResultTarget& t, Fill* fill, long* row) {
        debug_print("\nXDorvExecRange: call DLL functions with hdl: %3d\n", hdl);
        return exec_pieces<X>(hdl, text, t, fill, row);
    };
    if (!fill_target(target, mode, "XDorvExecRange", &first, &r, write)) return 0;
    return r - first;
}

// The row counter after the last row written, or 0.
template <class X> long range(X* handle, X* target, X* mode) {
    if (!xll_attached()) return 0;
    tmpstr_reset();
    int hdl = 0;
    if (MKINT(handle, &hdl) != 0) return 0;
    long first = 0, r = 0;
    auto write = [&](ResultTarget& t, Fill* fill, long* row) {
        return write_pending<X>(hdl, t, fill, row);
    };
    if (!fill_target(target, mode, "XDorvRange", &first, &r, write)) return 0;
    return r;
}

template <class X> int exec(X* handle, X* stmt) {
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

template <class X> int clear_range(X* target, X* value) {
    if (!xll_attached() || target == nullptr || value == nullptr || xl_type(target) != xltypeSRef)
        return 0;
    return ExcelApi<X>::call(xlSet, nullptr, target, value) == xlretSuccess ? 1 : 0;
}

} // namespace

// Excel's 4 interface: the row counts as 16-bit integers.
extern "C" int16_t XL_CALL XDorvExecRange(XLOPER* handle, XLOPER* stmt, XLOPER* target,
                                          XLOPER* mode) {
    return static_cast<int16_t>(exec_range(handle, stmt, target, mode));
}

extern "C" int16_t XL_CALL XDorvRange(XLOPER* handle, XLOPER* target, XLOPER* mode) {
    return static_cast<int16_t>(range(handle, target, mode));
}

extern "C" int16_t XL_CALL XDorvExec(XLOPER* handle, XLOPER* stmt) {
    return static_cast<int16_t>(exec(handle, stmt));
}

extern "C" int16_t XL_CALL XDorvClearRange(XLOPER* target, XLOPER* value) {
    return static_cast<int16_t>(clear_range(target, value));
}

// Excel's 12 interface: row counts as 32-bit integers, the whole sheet's.
extern "C" int32_t XL_CALL XDorvExecRange12(XLOPER12* handle, XLOPER12* stmt, XLOPER12* target,
                                            XLOPER12* mode) {
    return static_cast<int32_t>(exec_range(handle, stmt, target, mode));
}

extern "C" int32_t XL_CALL XDorvRange12(XLOPER12* handle, XLOPER12* target, XLOPER12* mode) {
    return static_cast<int32_t>(range(handle, target, mode));
}

extern "C" int32_t XL_CALL XDorvExec12(XLOPER12* handle, XLOPER12* stmt) {
    return exec(handle, stmt);
}

extern "C" int16_t XL_CALL XDorvClearRange12(XLOPER12* target, XLOPER12* value) {
    return static_cast<int16_t>(clear_range(target, value));
}
