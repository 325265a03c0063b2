// A connection handle as the value of a cell.
#pragma once

#include "addin/xl_interface12.h"

// The result record of the interface as the integer `handle`. A handle that
// the interface's integer cannot hold (outside -32768..32767 in Excel's 4
// interface) would come back from the cell as another number: that
// connection is closed again, the user is told, and the cell shows #NUM!.
XLOPER* xl_handle_result(XLOPER* result, int handle);
XLOPER12* xl_handle_result(XLOPER12* result, int handle);
