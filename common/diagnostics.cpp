// Debug log, error boxes and server message boxes. Compiled once per
// deliverable: DORV_DIAG_LIBRARY for dorv32, DORV_DIAG_ADDIN for the add-in.
#include "common/diagnostics.h"

#include "common/deliverable.h"
#include "platform/platform.h"

#include <stdio.h>
#include <string.h>

unsigned debug_enabled = 0;
MessagesMode messages_mode = MESSAGES_BOX;

namespace {

FILE* debug_log = nullptr;
// Messages=log without an open debug log: the file the messages go to instead,
// opened at the first message (so a run without one leaves no file).
FILE* message_log = nullptr;
bool message_log_tried = false;
// Threads that show messages at once open that file once.
PlatLock message_log_lock;

void write_trace(const char* text) {
    if (debug_log != nullptr)
        fputs(text, debug_log);
    else
        plat_debug_output(text);
}

void log_time(char* out, int size) {
#ifdef DORV_DIAG_LIBRARY
    format_asctime(out, size);
#else
    format_short_time(out, size);
#endif
}

void write_start_line(FILE* log) {
    char when[256];
    log_time(when, sizeof when);
    fprintf(log, "\nStart: %s\n\n", when);
}

void write_end_line(FILE* log) {
    char when[256];
    log_time(when, sizeof when);
    fprintf(log, "\n\nEnde: %s\n", when);
}

// The log file key's file even when tracing is off, else MESSAGE_LOG_NAME in the
// user's temporary folder; none when neither can be opened.
FILE* open_message_log() {
    if (message_log != nullptr || message_log_tried) return message_log;
    message_log_tried = true;
    char path[512];
    if (plat_ini_string("Global", LOG_FILE_KEY, "", path, 256, "windorv.ini") > 0)
        message_log = fopen(path, "a");
    char folder[400];
    if (message_log == nullptr && plat_temp_folder(folder, sizeof folder)) {
        snprintf(path, sizeof path, "%s%s", folder, MESSAGE_LOG_NAME);
        message_log = fopen(path, "a");
    }
    if (message_log != nullptr) write_start_line(message_log);
    return message_log;
}

// A box of the unattended modes: the program carries on as if OK was pressed.
int route_message(const char* text, const char* caption, unsigned) {
    if (caption == nullptr) caption = "";
    if (text == nullptr) text = "";
    if (messages_mode == MESSAGES_STDERR) {
        fprintf(stderr, "%s%s %s\n", caption, caption_separator(caption), text);
        fflush(stderr);
        return PLAT_IDOK;
    }
    char record[1400];
    snprintf(record, sizeof record, "\n[%s] %s\n", caption, text);
    // Always into a file that the user can find, and at once: nobody may be there
    // to see the program end.
    FILE* log = debug_log;
    if (log == nullptr) {
        PlatLockHold hold(message_log_lock);
        log = open_message_log();
    }
    if (log != nullptr) {
        fputs(record, log);
        fflush(log);
    } else {
        plat_debug_output(record);
    }
    return PLAT_IDOK;
}

// The ini key first, then the environment, which wins when it is set.
void read_messages_mode() {
    char value[64];
    plat_ini_string("Global", "Messages", "box", value, sizeof value, "windorv.ini");
    messages_mode = parse_messages_mode(value);
    if (plat_environment("DORV_MESSAGES", value, sizeof value) && value[0] != '\0')
        messages_mode = parse_messages_mode(value);
    plat_set_message_route(messages_mode == MESSAGES_BOX ? nullptr : route_message);
}

} // namespace

const char* caption_separator(const char* caption) {
    size_t n = caption != nullptr ? strlen(caption) : 0;
    return n > 0 && caption[n - 1] == ':' ? "" : ":";
}

MessagesMode parse_messages_mode(const char* value) {
    auto is = [value](const char* word) {
        size_t i = 0;
        for (; word[i] != '\0'; ++i)
            if (value[i] == '\0' || (value[i] | 0x20) != word[i]) return false;
        return value[i] == '\0';
    };
    if (value == nullptr) return MESSAGES_BOX;
    if (is("log")) return MESSAGES_LOG;
    if (is("stderr")) return MESSAGES_STDERR;
    return MESSAGES_BOX;
}

void format_asctime(char* out, int size) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    PlatLocalTime t;
    plat_local_time(&t);
    snprintf(out, static_cast<size_t>(size), "%s %s %02d %02d:%02d:%02d %04d\n",
             days[(t.weekday % 7 + 7) % 7], months[((t.month - 1) % 12 + 12) % 12], t.day, t.hour,
             t.minute, t.second, t.year);
}

void format_short_time(char* out, int size) {
    PlatLocalTime t;
    plat_local_time(&t);
    snprintf(out, static_cast<size_t>(size), "%d/%d/%02d %d:%02d:%02d", t.month, t.day,
             t.year % 100, t.hour, t.minute, t.second);
}

void start_debug_log() {
    debug_enabled = plat_ini_int("Global", "Debug", 0, "windorv.ini");
    debug_log = nullptr;
    message_log = nullptr;
    message_log_tried = false;
    read_messages_mode(); // before the first box, which the log's opening may show
    if (debug_enabled == 0) return;
    char path[256];
    if (plat_ini_string("Global", LOG_FILE_KEY, "", path, sizeof path, "windorv.ini") == 0) return;
    debug_log = fopen(path, "a");
    if (debug_log == nullptr) {
        plat_message_box("Unable to open Debug Log file", LOG_OPEN_CAPTION, PLAT_MB_OK);
        return;
    }
    write_start_line(debug_log);
}

void end_debug_log() {
    if (message_log != nullptr) {
        write_end_line(message_log);
        fclose(message_log);
        message_log = nullptr;
    }
    message_log_tried = false;
    if (debug_log == nullptr) return;
    write_end_line(debug_log);
    fclose(debug_log);
    debug_log = nullptr;
}

void debug_print(const char* format, ...) {
    if (debug_enabled == 0) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format,
              args); // NOLINT(clang-analyzer-valist.Uninitialized): started above
    va_end(args);
    write_trace(text);
}

namespace {

void show_entry(const ReportEntry& entry) {
    plat_message_box(entry.text, entry.caption, entry.style);
    if (!entry.traced) return;
#ifdef DORV_DIAG_LIBRARY
    if (debug_enabled != 0) write_trace(entry.text);
#else
    debug_print("\nERROR: [%s]\n", entry.text);
#endif
}

} // namespace

void error_box(const char* format, ...) {
    ReportEntry entry;
    va_list args;
    va_start(args, format);
    vsnprintf(entry.text, sizeof entry.text, format,
              args); // NOLINT(clang-analyzer-valist.Uninitialized): started above
    va_end(args);
    entry.caption = ERROR_CAPTION;
    entry.style = PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION;
    entry.traced = true;
    show_entry(entry);
}

void show_report(Report* report) {
    int count = report->count < REPORT_CAPACITY ? report->count : REPORT_CAPACITY;
    if (count <= 0) return;
    // Shown from a copy: a box's message loop may let another call of this
    // thread record and show on the same report.
    ReportEntry shown[REPORT_CAPACITY];
    memcpy(shown, report->entries, static_cast<size_t>(count) * sizeof shown[0]);
    clear_report(report);
    for (int i = 0; i < count; ++i)
        show_entry(shown[i]);
}
