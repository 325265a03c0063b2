// Debug log and message boxes. Each deliverable compiles its own copy: the
// library (DORV_DIAG_LIBRARY) and the Excel add-in (DORV_DIAG_ADDIN) differ in
// log key, captions, time text and what error_box traces.
#pragma once

#include "common/report.h"
#include "common/trace.h"

#include <stdarg.h>

// Reads the debug switch and opens the log; called once at attach.
void start_debug_log();
// Writes the end line and closes the log; called at detach.
void end_debug_log();
// An error in a modal message box; traced when tracing is on.
void error_box(const char* format, ...) DORV_PRINTF(1, 2);
// Shows what a report holds, in its order, each box as report.h describes it,
// and empties it.
void show_report(Report* report);

#ifdef DORV_DIAG_LIBRARY
// A server text message ('M' block as received: 16-bit length in host order,
// type, flag, text) in a message box. The block must be 1024 bytes long. The
// library's message layer defines it: it knows the block's layout.
int server_message_box(const char* block);
#endif

// Where message boxes go: "Messages" in section "Global" of "windorv.ini",
// overridden by the environment variable DORV_MESSAGES. Read by start_debug_log.
// "log" writes them to the debug log when it is open, otherwise to the file of
// the log file key (even with "Debug" 0), else to dorv32.log (dorvxll32.log)
// in the user's temporary folder.
enum MessagesMode { MESSAGES_BOX, MESSAGES_LOG, MESSAGES_STDERR };
extern MessagesMode messages_mode;
// "box", "log" or "stderr" in any case; anything else is the box.
MessagesMode parse_messages_mode(const char* value);
// What goes between a caption and its text on one line: ":", or nothing when the
// caption ends in a colon already ("Dorv SERVER:").
const char* caption_separator(const char* caption);

// Time texts of the start and end lines, exactly as the log shows them.
// asctime form: "Wed Jan 02 02:03:55 1980\n" (library).
void format_asctime(char* out, int size);
// "%c" form of the C locale as the add-in writes it: "12/8/96 9:05:03".
void format_short_time(char* out, int size);
