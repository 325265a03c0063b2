// A small stand-in for Excel's callback library, loaded by the add-in as
// "xlcall32.dll" (libxlcall32.so). It answers xlCoerce of references and
// arrays with arrays that the fuzz input describes, takes them back with
// xlFree, and reports any other call as unknown.
#pragma once

#include "addin/xl_interface.h"

extern "C" {

// The cells a coerced reference holds, used in turn; rc is the coerce's
// answer (xlretSuccess, or the failure Excel gives), `shape` 0 for a proper
// array, 1 for an answer of the wrong type, 2 for an array without cells.
void fuzz_xl_set_sheet(const XLOPER* cells, int count, int rc, int shape);
// Excel memory handed out and not given back with xlFree.
int fuzz_xl_outstanding();

int Excel4(int function, XLOPER* result, int count, ...);
int XL_CALL Excel4v(int function, XLOPER* result, int count, XLOPER* arguments[]);
}
