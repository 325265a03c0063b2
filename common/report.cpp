#include "common/report.h"

#include "common/deliverable.h"
#include "platform/platform.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

// The next free entry, or nullptr when the report is full.
ReportEntry* next_entry(Report* report) {
    if (report->count < 0 || report->count >= REPORT_CAPACITY) return nullptr;
    return &report->entries[report->count++];
}

} // namespace

void report_error(Report* report, const char* format, ...) {
    ReportEntry* entry = next_entry(report);
    if (entry == nullptr) return;
    va_list args;
    va_start(args, format);
    vsnprintf(entry->text, sizeof entry->text, format,
              args); // NOLINT(clang-analyzer-valist.Uninitialized): started above
    va_end(args);
    entry->caption = ERROR_CAPTION;
    entry->style = PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION;
    entry->traced = true;
}

void report_server_text(Report* report, const char* text, int length) {
    ReportEntry* entry = next_entry(report);
    if (entry == nullptr) return;
    int n = length < 0 ? 0 : length > SERVER_TEXT_SHOWN ? SERVER_TEXT_SHOWN : length;
    memcpy(entry->text, text, static_cast<size_t>(n));
    entry->text[n] = '\0';
    entry->caption = SERVER_TEXT_CAPTION;
    entry->style = PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION;
    entry->traced = false;
}

void clear_report(Report* report) {
    report->count = 0;
}
