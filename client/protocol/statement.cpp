// hl_dorv_version, hl_dorv_exec and hl_dorv_explain.
#include "client/connection/export_call.h"
#include "client/protocol/charset.h"
#include "client/protocol/connection_calls.h"
#include "client/protocol/message_layer.h"
#include "client/protocol/password_mask.h"
#include "common/statement_split.h"

#include <string.h>

namespace {

// Shows what the call recorded, then the box that ends a failed explanation.
int explain_failed(Report* report) {
    show_report(report);
    plat_message_box("Fatal error occurred while executing explain !", "Dorv Error",
                     PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION);
    return DORV_NO_STATUS;
}

// Sends one statement and reads its reply: false when no status came
// (recorded), else *status is that of its first block.
bool execute_statement(ConnectionRecord& c, const char* statement, int n, int* status) {
    begin_request(&c, 'S', 2 + n);
    c.request[BLOCK_PAYLOAD] = 'E';
    c.request[BLOCK_PAYLOAD + 1] = 0;
    for (int i = 0; i < n; ++i)
        c.request[BLOCK_STATUS_DATA + i] =
            static_cast<char>(ansi_to_roman8[static_cast<unsigned char>(statement[i])]);
    if (send_request(&c, c.request) != 0 || ll_dorv_read(&c, status) != 0) return false;
    if (c.block_avail > 0 && c.warnings != 0) {
        // The server's text, terminated in a copy: the block stays as it came.
        char message[MAX_STATEMENT + 1];
        memcpy(message, c.block + BLOCK_STATUS_DATA, static_cast<size_t>(c.block_avail));
        message[c.block_avail] = '\0';
        report_error(&c.report, "EXEC message:\n status = %d\n %s", *status, message);
        show_report(&c.report);
    }
    while (c.more != 0) {
        int ignored;
        if (ll_dorv_read(&c, &ignored) != 0) return false;
    }
    return true;
}

} // namespace

int version_call(ConnectionRecord& c, char* text) {
    if (text == nullptr) {
        report_error(&c.report, "No buffer given (%s)", "hl_dorv_version");
        return DORV_NO_STATUS;
    }
    if (ll_drain(&c) != 0) return DORV_NO_STATUS;
    begin_request(&c, 'S', 1);
    c.request[BLOCK_PAYLOAD] = 'A';
    if (!request_reply(&c, 'S', "hl_dorv_version")) return DORV_NO_STATUS;
    int n = static_cast<int>(block_length(c.request)) - BLOCK_STATUS_DATA;
    memcpy(text, c.request + BLOCK_STATUS_DATA, static_cast<size_t>(n));
    text[n] = '\0';
    return 0;
}

int exec_call(ConnectionRecord& c, const char* text) {
    if (ll_drain(&c) != 0) return DORV_NO_STATUS;
    // The caller's text is only read: VBA hands in a copy that it writes back,
    // and a C caller may pass a constant.
    const char* rest = text != nullptr ? text : "";
    char traced[WNSK_BLOCK_SIZE]; // a trace shows at most a block of the text
    if (debug_enabled != 0) mask_passwords(rest, traced, sizeof traced);
    debug_print("\nhl_dorv_exec(), stmt_len = %d\n   [%s]", static_cast<int>(strlen(rest)), traced);

    // An empty text executes nothing: end of data, nothing to read.
    int status = DORV_EOF;
    while (*rest != '\0') {
        int n = statement_length(rest);
        if (n > MAX_STATEMENT) {
            report_error(&c.report, "Statement size exceeds maximum (%d)", MAX_STATEMENT);
            return DORV_NO_STATUS;
        }
        char statement[MAX_STATEMENT + 1];
        memcpy(statement, rest, static_cast<size_t>(n));
        statement[n] = '\0';
        rest += n;
        if (*rest == ';') ++rest;
        if (debug_enabled != 0) mask_passwords(statement, traced, sizeof traced);
        debug_print("\nDORV EXEC: stmt length: %d\n   stmt: [%s]", n, traced);
        if (!execute_statement(c, statement, n, &status)) return DORV_NO_STATUS;
    }
    return status;
}

int explain_call(ConnectionRecord& c, char* buffer, int size, int code) {
    bool own_buffer = code >= EXPLAIN_IN_LIBRARY;
    if (!own_buffer && !caller_buffer_ok(&c.report, "hl_dorv_explain", buffer, size))
        return DORV_NO_STATUS;
    if (ll_drain(&c) != 0) return explain_failed(&c.report);
    begin_request(&c, 'S', 2);
    c.request[BLOCK_PAYLOAD] = 'M';
    c.request[BLOCK_PAYLOAD + 1] = static_cast<char>(code % EXPLAIN_IN_BOX);
    if (send_request(&c, c.request) != 0) return explain_failed(&c.report);

    c.more = 1;
    char* text = own_buffer ? c.text : buffer;
    int left = own_buffer ? static_cast<int>(sizeof c.text) - 1 : size - 1;
    int stored = 0;
    int status = 0;
    do {
        if (ll_dorv_read(&c, &status) != 0) {
            text[stored] = '\0';
            return explain_failed(&c.report);
        }
        int k = c.block_avail < left ? c.block_avail : left;
        memcpy(text + stored, c.block + BLOCK_STATUS_DATA, static_cast<size_t>(k));
        stored += k;
        left -= k;
    } while (c.more != 0);
    text[stored] = '\0';

    if (left == 0 && !own_buffer && c.warnings != 0)
        report_error(&c.report, "Buffer too small (hl_dorv_explain):\n Buffer truncated.");
    while (stored > 0 && text[stored - 1] == '\n')
        text[--stored] = '\0';
    if (own_buffer) text_buffer = c.text;
    if (code >= EXPLAIN_IN_BOX) {
        show_report(&c.report);
        plat_message_box(text, "Explain Dorv - Message", PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION);
    }
    return status;
}

extern "C" int DORV_CALL hl_dorv_version(int handle, char* text) {
    ExportCall call(handle);
    return call.record() != nullptr ? version_call(*call.record(), text) : DORV_NO_STATUS;
}

extern "C" int DORV_CALL hl_dorv_exec(int handle, char* text) {
    ExportCall call(handle);
    return call.record() != nullptr ? exec_call(*call.record(), text) : DORV_NO_STATUS;
}

extern "C" int DORV_CALL hl_dorv_explain(int handle, char* buffer, int size, int code) {
    ExportCall call(handle);
    if (call.record() != nullptr) return explain_call(*call.record(), buffer, size, code);
    // A broken connection has said so; the fatal box would add nothing.
    call.show();
    if (connection_is_broken(handle)) return DORV_NO_STATUS;
    CallReport none;
    return explain_failed(&none.report);
}
