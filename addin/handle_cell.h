// A connection handle as the value of a cell.
#pragma once

#include "addin/xl_interface.h"

// xl_result as the 16-bit integer `handle`. A handle outside -32768..32767
// would come back from the cell as another number: that connection is closed
// again, the user is told, and the cell shows #NUM!.
XLOPER* xl_handle_result(int handle);
