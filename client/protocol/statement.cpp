// hl_dorv_version, hl_dorv_exec and hl_dorv_explain.
#include "client/include/dorv32.h"
#include "client/protocol/charset.h"
#include "client/protocol/message_layer.h"
#include "client/protocol/password_mask.h"
#include "client/protocol/statement_split.h"
#include "client/transport/wnsk.h"
#include "common/diagnostics.h"

#include <string.h>

extern "C" int DORV_CALL hl_dorv_version(int handle, char* text) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return DORV_NO_STATUS;
    if (text == nullptr) {
        error_box("No buffer given (%s)", "hl_dorv_version");
        return DORV_NO_STATUS;
    }
    if (ll_drain(connection) != 0) return DORV_NO_STATUS;
    begin_request('S', 1);
    request_block[BLOCK_PAYLOAD] = 'A';
    if (!request_reply(connection, 'S', "hl_dorv_version")) return DORV_NO_STATUS;
    int length = static_cast<int>(block_length(request_block));
    int n = length - BLOCK_STATUS_DATA;
    memcpy(text, request_block + BLOCK_STATUS_DATA, static_cast<size_t>(n));
    text[n] = '\0';
    return 0;
}

extern "C" int DORV_CALL hl_dorv_exec(int handle, char* text) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return DORV_NO_STATUS;
    if (ll_drain(connection) != 0) return DORV_NO_STATUS;
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
            error_box("Statement size exceeds maximum (%d)", MAX_STATEMENT);
            return DORV_NO_STATUS;
        }
        char statement[MAX_STATEMENT + 1];
        memcpy(statement, rest, static_cast<size_t>(n));
        statement[n] = '\0';
        rest += n;
        if (*rest == ';') ++rest;
        if (debug_enabled != 0) mask_passwords(statement, traced, sizeof traced);
        debug_print("\nDORV EXEC: stmt length: %d\n   stmt: [%s]", n, traced);
        begin_request('S', 2 + n);
        request_block[BLOCK_PAYLOAD] = 'E';
        request_block[BLOCK_PAYLOAD + 1] = 0;
        for (int i = 0; i < n; ++i)
            request_block[BLOCK_STATUS_DATA + i] =
                static_cast<char>(ansi_to_roman8[static_cast<unsigned char>(statement[i])]);
        if (ll_write(connection, request_block) != 0) return DORV_NO_STATUS;
        if (ll_dorv_read(connection, &status) != 0) return DORV_NO_STATUS;
        if (connection->block_avail > 0 && connection->warnings != 0) {
            // The server's text, terminated in a copy: the block stays as it came.
            char message[MAX_STATEMENT + 1];
            memcpy(message, connection->block + BLOCK_STATUS_DATA,
                   static_cast<size_t>(connection->block_avail));
            message[connection->block_avail] = '\0';
            error_box("EXEC message:\n status = %d\n %s", status, message);
        }
        while (connection->more != 0) {
            int ignored;
            if (ll_dorv_read(connection, &ignored) != 0) return DORV_NO_STATUS;
        }
    }
    return status;
}

namespace {

int explain_failed() {
    plat_message_box("Fatal error occurred while executing explain !", "Dorv Error",
                     PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION);
    return DORV_NO_STATUS;
}

} // namespace

extern "C" int DORV_CALL hl_dorv_explain(int handle, char* buffer, int size, int code) {
    ConnectionRecord* connection = find_connection(handle);
    // A broken connection has said so; the fatal box would add nothing.
    if (connection == nullptr)
        return connection_is_broken(handle) ? DORV_NO_STATUS : explain_failed();
    bool own_buffer = code >= EXPLAIN_IN_LIBRARY;
    if (!own_buffer && !caller_buffer_ok("hl_dorv_explain", buffer, size)) return DORV_NO_STATUS;

    if (ll_drain(connection) != 0) return explain_failed();
    begin_request('S', 2);
    request_block[BLOCK_PAYLOAD] = 'M';
    request_block[BLOCK_PAYLOAD + 1] = static_cast<char>(code % EXPLAIN_IN_BOX);
    if (ll_write(connection, request_block) != 0) return explain_failed();

    connection->more = 1;
    char* text = own_buffer ? text_buffer : buffer;
    int left = own_buffer ? static_cast<int>(sizeof text_buffer) - 1 : size - 1;
    int stored = 0;
    int status = 0;
    do {
        if (ll_dorv_read(connection, &status) != 0) {
            text[stored] = '\0';
            return explain_failed();
        }
        int k = connection->block_avail < left ? connection->block_avail : left;
        memcpy(text + stored, connection->block + BLOCK_STATUS_DATA, static_cast<size_t>(k));
        stored += k;
        left -= k;
    } while (connection->more != 0);
    text[stored] = '\0';

    if (left == 0 && !own_buffer && connection->warnings != 0)
        error_box("Buffer too small (hl_dorv_explain):\n Buffer truncated.");
    while (stored > 0 && text[stored - 1] == '\n')
        text[--stored] = '\0';
    if (code >= EXPLAIN_IN_BOX)
        plat_message_box(text, "Explain Dorv - Message", PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION);
    return status;
}
