// A fake Excel: the callback library xlcall32 (Excel4, Excel4v) and the body
// of Excel 2007's MdCallBack12 (fake_excel12, which a host program exports
// under that name) over one sheet model, and test-only calls to seed and read
// it. The model knows what the add-in asks of Excel: xlGetName, xlfRegister,
// xlFree, xlCoerce, xlSheetId, xlSet, xlcAlert, xlfSetName, xlAbort and
// xlcMessage; any other function number is refused with xlretInvXlfn. Cells
// hold their texts in UTF-16; the 4 interface sees them in Windows ANSI, cut
// to 255 characters, the 12 interface whole (up to 32,767).
#pragma once

#include "excel_records.h"

extern "C" {

// Everything back to a fresh Excel: no cells, no records, no failure switches,
// sheets 1 (active) and 2 exist.
void fake_reset();
void fake_set_active_sheet(unsigned sheet);
void fake_add_sheet(unsigned sheet);
// The name xlGetName answers (the add-in's path).
void fake_set_dll_name(const char* name);

// Cells: rows 0-1048575, columns 0-16383 (the 4 interface reaches rows
// 0-65535, columns 0-255).
void fake_set_number(unsigned sheet, int row, int column, double value);
void fake_set_text(unsigned sheet, int row, int column, const char* text); // at most 255 characters
// A text of `length` UTF-16 units (at most 32,767).
void fake_set_text12(unsigned sheet, int row, int column, const char16_t* text, int length);
void fake_set_error(unsigned sheet, int row, int column, int error);
void fake_set_bool(unsigned sheet, int row, int column, int value);
// A cell whose formula is not yet calculated: xlCoerce of it gives xlretUncalced.
void fake_set_uncalced(unsigned sheet, int row, int column);

struct FakeCell {
    int type; // excel::Num, Str, Bool, Err, or 0 for an empty cell
    double number;
    int error;
    int length;
    char text[256];
};
void fake_cell(unsigned sheet, int row, int column, FakeCell* out); // text in Windows ANSI
// A text cell's units (at most size - 1, and a NUL); returns its whole length,
// -1 for a cell that holds no text.
int fake_cell_text12(unsigned sheet, int row, int column, char16_t* out, int size);
// Number of cells that hold a value on a sheet.
int fake_cell_count(unsigned sheet);

// Every call into Excel, in order: function number, argument count, and
// the interface it came through (4 or 12).
int fake_call_count();
int fake_call_function(int index);
int fake_call_arguments(int index);
int fake_call_interface(int index);

// xlfRegister calls: the interface (4 or 12), and each argument's units as
// Excel received them (for a text the length and the characters it counts:
// bytes through the 4 interface, UTF-16 through the 12); -1 when the
// argument is no text. `size` bounds what is copied.
int fake_registration_count();
int fake_registration_interface(int index);
int fake_registration_argument_count(int index);
int fake_registration_bytes(int index, int argument, unsigned char* out, int size);
int fake_registration_units(int index, int argument, char16_t* out, int size);
// xlfRegister of this procedure answers #VALUE! in place of an id.
void fake_refuse_registration(const char* procedure);

// xlcAlert and xlfSetName calls: their first argument's text.
int fake_alert_count();
int fake_alert(int index, char* text, int size); // returns the alert type
int fake_set_name_count();
int fake_set_name(int index, char* text, int size); // returns the argument count

// The call of `function` that follows `successes` more successful calls of it
// fails with xlretFailed, once; -1 withdraws the switch.
void fake_fail_function(int function, int successes);
// xlSet calls so far, and the cells they covered.
int fake_set_call_count();

// The user presses Esc before the check-th xlAbort call from now. As in Excel
// the break then stays pending, so every later check answers TRUE too, until
// an xlAbort with FALSE clears it; 0 or less withdraws the script and clears
// a pending break.
void fake_press_escape_at(int check);
// xlAbort calls so far.
int fake_abort_checks();
// The status bar: every xlcMessage call in order. Returns 1 for a text shown
// (copied to `text`), 0 when the bar was given back to Excel (FALSE).
int fake_status_count();
int fake_status(int index, char* text, int size);

// Excel-owned memory handed out and not yet given back with xlFree.
int fake_outstanding();
// Misuse that Excel would not survive (an unknown pointer given to xlFree, a
// malformed record); texts separated by line feeds, empty when none.
int fake_faults(char* text, int size);

// The callback entries, as Excel exports them.
int Excel4(int function, excel::Oper* result, int count, ...);
int EXCEL_STDCALL Excel4v(int function, excel::Oper* result, int count, excel::Oper* arguments[]);
// What Excel 2007's MdCallBack12 does, with its arguments in its order.
int fake_excel12(int function, int count, excel::Oper12* arguments[], excel::Oper12* result);
}
