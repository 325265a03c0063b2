// What went wrong, kept until it is shown: each entry is the text, caption and
// style of one message box, in the order the failures were found. The layers
// below the library's exported calls record here and show nothing; the
// exported call shows what its report holds (show_report in
// common/diagnostics.h), so every failure is seen once, in the order it came.
#pragma once

#include "common/trace.h" // DORV_PRINTF

enum : int {
    REPORT_TEXT_SIZE = 1024, // a formatted text holds at most 1023 characters
    // Entries one call can collect before it shows them: a warning about a
    // reply left half read, then a broken block and the time-out that ends
    // the passing over of its excess. Entries beyond are left out.
    REPORT_CAPACITY = 4,
};

struct ReportEntry {
    char text[REPORT_TEXT_SIZE];
    const char* caption; // a text that lives as long as the program
    unsigned style;      // PLAT_MB_... bits
    bool traced;         // written to the debug log after the box, as error_box does
};

// A zero-filled report is empty.
struct Report {
    int count;
    ReportEntry entries[REPORT_CAPACITY];
};

// An error, as error_box shows it: the deliverable's caption, an OK button
// with the exclamation mark, and its text traced after the box.
void report_error(Report* report, const char* format, ...) DORV_PRINTF(2, 3);
// A text message of the server, as its box shows it: caption "Dorv SERVER:",
// at most 1019 characters of the `length` given, not traced.
void report_server_text(Report* report, const char* text, int length);
// Empties the report without showing anything.
void clear_report(Report* report);
