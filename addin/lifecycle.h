// Start-up and shut-down of the add-in in Excel's process.
#pragma once

// The user's decimal separator and a NUL (from the Windows profile, at attach).
extern char xl_decimal_sep[2];

// Process attach: debug log, binding of dorv32, of Excel's callback library
// and (where the host offers it) of Excel's 12 interface, lengths of the
// registration texts, debug switch, decimal separator.
// False when either library cannot be bound: the box has been shown, the log is
// closed again, nothing is held, and the add-in must not be used.
bool xll_attach();
// Process detach: releases the callback library, closes the log, releases dorv32.
void xll_detach();
// True between a successful attach and the detach. Every export answers with
// its failure value while it is false.
bool xll_attached();
