// Loads the real DORV32.XLL as Excel does (LoadLibrary on Windows, dlopen
// natively) and finds its sixteen exports by name.
#pragma once

#include "excel_records.h"

#include <string>

struct XllExports {
    int(EXCEL_STDCALL* xlAutoOpen)();
    int(EXCEL_STDCALL* xlAutoClose)();
    excel::Oper*(EXCEL_STDCALL* xlAutoRegister)(excel::Oper*);
    int(EXCEL_STDCALL* xlAutoRemove)();
    int(EXCEL_STDCALL* xlAutoAdd)();
    excel::Oper*(EXCEL_STDCALL* xlAddInManagerInfo)(excel::Oper*);
    excel::Oper*(EXCEL_STDCALL* XDorvConnect)(excel::Oper*, excel::Oper*, excel::Oper*,
                                              excel::Oper*);
    excel::Oper*(EXCEL_STDCALL* XDorvConnectIni)(excel::Oper*, excel::Oper*, excel::Oper*,
                                                 excel::Oper*);
    excel::Oper*(EXCEL_STDCALL* XDorvDisconnect)(excel::Oper*);
    int16_t(EXCEL_STDCALL* XDorvSetInifile)(excel::Oper*, excel::Oper*, excel::Oper*);
    excel::Oper*(EXCEL_STDCALL* XDorvVersion)(excel::Oper*);
    int16_t(EXCEL_STDCALL* XDorvClearRange)(excel::Oper*, excel::Oper*);
    int16_t(EXCEL_STDCALL* XDorvExecRange)(excel::Oper*, excel::Oper*, excel::Oper*, excel::Oper*);
    int16_t(EXCEL_STDCALL* XDorvExec)(excel::Oper*, excel::Oper*);
    int16_t(EXCEL_STDCALL* XDorvRange)(excel::Oper*, excel::Oper*, excel::Oper*);
    char*(EXCEL_STDCALL* XDorvSelectEntry)(excel::Oper*, excel::Oper*, excel::Oper*, excel::Oper*);
};

// The exports of Excel's 12 interface: what Excel 2007 and later register.
struct Xll12Exports {
    excel::Oper12*(EXCEL_STDCALL* xlAutoRegister12)(excel::Oper12*);
    excel::Oper12*(EXCEL_STDCALL* XDorvConnect12)(excel::Oper12*, excel::Oper12*, excel::Oper12*,
                                                  excel::Oper12*);
    excel::Oper12*(EXCEL_STDCALL* XDorvConnectIni12)(excel::Oper12*, excel::Oper12*, excel::Oper12*,
                                                     excel::Oper12*);
    excel::Oper12*(EXCEL_STDCALL* XDorvDisconnect12)(excel::Oper12*);
    int32_t(EXCEL_STDCALL* XDorvSetInifile12)(excel::Oper12*, excel::Oper12*, excel::Oper12*);
    excel::Oper12*(EXCEL_STDCALL* XDorvVersion12)(excel::Oper12*);
    int16_t(EXCEL_STDCALL* XDorvClearRange12)(excel::Oper12*, excel::Oper12*);
    int32_t(EXCEL_STDCALL* XDorvExecRange12)(excel::Oper12*, excel::Oper12*, excel::Oper12*,
                                             excel::Oper12*);
    int32_t(EXCEL_STDCALL* XDorvExec12)(excel::Oper12*, excel::Oper12*);
    int32_t(EXCEL_STDCALL* XDorvRange12)(excel::Oper12*, excel::Oper12*, excel::Oper12*);
    char16_t*(EXCEL_STDCALL* XDorvSelectEntry12)(excel::Oper12*, excel::Oper12*, excel::Oper12*,
                                                 excel::Oper12*);
};

// The add-in's full path (next to the test program on Windows).
std::string xll_path();
// Loads the add-in; null when the load failed (the reason in *error).
void* load_xll(std::string* error);
void unload_xll(void* module);
// Looks up all sixteen exports; false (with the missing name) when one is absent.
bool find_exports(void* module, XllExports* out, std::string* missing);
// The same for the eleven exports of Excel's 12 interface.
bool find_exports12(void* module, Xll12Exports* out, std::string* missing);

// The add-in loaded once for a whole test program, reloaded where a test
// needs a fresh attach (to read a changed windorv.ini).
const XllExports& xll();
const Xll12Exports& xll12();
void reload_xll();
void unload_shared_xll();
