// Registration through Excel's 12 interface, for an Excel that offers it.
#pragma once

// Registers the ten functions with their Excel 12 procedures and type texts
// under the add-in's path (xlGetName), then gives the path back to Excel.
// A row that Excel refuses does not stop the others.
void register_functions12();
