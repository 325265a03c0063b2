// A fake Excel: the callback library xlcall32 (Excel4, Excel4v) over a small
// sheet model, and test-only calls to seed and read it. The model knows what
// the add-in asks of Excel: xlGetName, xlfRegister, xlFree, xlCoerce,
// xlSheetId, xlSet, xlcAlert, xlfSetName, xlAbort and xlcMessage; any other
// function number is refused with xlretInvXlfn.
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

// Cells. Rows 0-65535, columns 0-255, as in the add-in interface.
void fake_set_number(unsigned sheet, int row, int column, double value);
void fake_set_text(unsigned sheet, int row, int column, const char* text); // at most 255 characters
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
void fake_cell(unsigned sheet, int row, int column, FakeCell* out);
// Number of cells that hold a value on a sheet.
int fake_cell_count(unsigned sheet);

// Every call into Excel, in order: function number and argument count.
int fake_call_count();
int fake_call_function(int index);
int fake_call_arguments(int index);

// xlfRegister calls: each argument's bytes as Excel received them (for a
// text the length byte and the characters it counts); -1 when the argument is
// no text. `size` bounds what is copied.
int fake_registration_count();
int fake_registration_argument_count(int index);
int fake_registration_bytes(int index, int argument, unsigned char* out, int size);
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
}
