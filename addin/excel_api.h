// Excel's two callback interfaces under one set of names, chosen by the type
// of the records (XLOPER: the 4 interface through xlcall32; XLOPER12: the 12
// interface through the host's MdCallBack12), for the work that the entry
// points of both share.
#pragma once

#include "addin/convert.h"
#include "addin/xl_callback.h"
#include "addin/xl_callback12.h"

template <class X> struct ExcelApi;

template <> struct ExcelApi<XLOPER> {
    static constexpr int32_t last_row = XL_LAST_ROW;
    static constexpr int32_t last_column = XL_LAST_COLUMN;
    static constexpr int text_max = XL_TEXT_MAX;
    // The cell value of a connection handle: a 16-bit integer.
    static constexpr long handle_min = -32768, handle_max = 32767;

    template <class... A> static int call(int function, XLOPER* result, A*... arguments) {
        return xl_call(function, result, static_cast<int>(sizeof...(A)), arguments...);
    }
    static XLOPER* temp_int(int value) { return xl_temp_int(static_cast<int16_t>(value)); }
    static XLOPER* temp_bool(bool value) { return xl_temp_bool(value); }
    // `counted`: a length byte (set here), the text, a NUL.
    static XLOPER* temp_text(char* counted) { return xl_temp_str(counted); }
    static bool active_sheet(xl_sheet_id* sheet) { return xl_active_sheet(sheet); }
    static XLOPER* temp_cell(xl_sheet_id sheet, int32_t row, int32_t column) {
        return xl_temp_sheet_ref(sheet, static_cast<uint16_t>(row), static_cast<uint16_t>(row),
                                 static_cast<uint8_t>(column), static_cast<uint8_t>(column));
    }
    static XLOPER* result() { return &xl_result; }
};

template <> struct ExcelApi<XLOPER12> {
    static constexpr int32_t last_row = XL12_LAST_ROW;
    static constexpr int32_t last_column = XL12_LAST_COLUMN;
    static constexpr int text_max = XL12_TEXT_MAX;
    static constexpr long handle_min = -2147483647L - 1, handle_max = 2147483647L;

    template <class... A> static int call(int function, XLOPER12* result, A*... arguments) {
        return xl12_call(function, result, static_cast<int>(sizeof...(A)), arguments...);
    }
    static XLOPER12* temp_int(int value) { return xl12_temp_int(value); }
    static XLOPER12* temp_bool(bool value) { return xl12_temp_bool(value); }
    static XLOPER12* temp_text(char* counted) { return xl12_temp_str(counted + 1); }
    static bool active_sheet(xl_sheet_id* sheet) { return xl12_active_sheet(sheet); }
    static XLOPER12* temp_cell(xl_sheet_id sheet, int32_t row, int32_t column) {
        return xl12_temp_sheet_ref(sheet, row, row, column, column);
    }
    static XLOPER12* result() { return &xl12_result; }
};
