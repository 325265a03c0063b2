// hl_echo, hl_uxcmd, hl_fetch_blk and hl_fetch_ln: the connection used for
// something else than SQL.
#include "client/connection/export_call.h"
#include "client/protocol/charset.h"
#include "client/protocol/connection_calls.h"
#include "client/protocol/message_layer.h"

#include <string.h>

namespace {

// The next block of host command output into the connection's block.
// With a buffer its bytes are copied there; without one they stay in the
// block. Returns the number of output bytes, 0 at the end, -1 on failure.
int fetch_block(ConnectionRecord& c, char* buffer, int size) {
    for (;;) {
        if (c.more == 0 || c.transfer_kind != 'U') {
            report_sequence_error(&c, "hl_fetch_blk", "HPUX", "");
            return -1;
        }
        if (ll_read(&c, c.block) != 0) return -1;
        c.more = c.block[BLOCK_LAST] == 0 ? 1 : 0;
        if (!check_reply(&c.report, c.block, 'U', "hl_fetch_blk", "EOF")) return -1;
        if (c.block[BLOCK_TYPE] == 'M') return 0; // the end of the output
        int n = static_cast<int>(block_length(c.block)) - BLOCK_PAYLOAD;
        if (n == 0) {
            // An empty block is no end of output: 0 would tell the caller so.
            if (c.more == 0) return 0;
            continue;
        }
        if (buffer == nullptr) return n;
        if (size < n) {
            report_error(&c.report, "Buffer too small (hl_fetch_blk):\n Expected size is %d", size);
            return -1;
        }
        memcpy(buffer, c.block + BLOCK_PAYLOAD, static_cast<size_t>(n));
        return n;
    }
}

// Drains and builds a request of type `type` whose payload is a caller's
// text of at most MAX_PAYLOAD bytes, each byte through `table` (none: as it
// is). False when the text is missing or too long, or the drain failed
// (recorded); `missing` is the message for no text, `what` names the text in
// the one for a long text.
bool begin_text_request(ConnectionRecord& c, char type, const char* text,
                        const unsigned char* table, const char* missing, const char* what) {
    if (text == nullptr) {
        report_error(&c.report, "%s", missing);
        return false;
    }
    if (ll_drain(&c) != 0) return false;
    size_t length = strlen(text);
    if (length > MAX_PAYLOAD) {
        report_error(&c.report, "%s size exceeds maximum (%d)", what, MAX_PAYLOAD);
        return false;
    }
    begin_request(&c, type, static_cast<int>(length));
    for (size_t i = 0; i < length; ++i)
        c.request[BLOCK_PAYLOAD + i] =
            table != nullptr ? static_cast<char>(table[static_cast<unsigned char>(text[i])])
                             : text[i];
    return true;
}

} // namespace

int echo_call(ConnectionRecord& c, const char* text) {
    if (!begin_text_request(c, 'E', text, nullptr, "No text given (hl_echo)", "Message")) return -1;
    if (!request_reply(&c, 'E', "hl_echo")) return -1;
    size_t length = strlen(text);
    int received = static_cast<int>(block_length(c.request)) - BLOCK_PAYLOAD;
    if (received != static_cast<int>(length)) {
        report_error(&c.report, "Unexpected message size: %d", received);
        return -1;
    }
    if (memcmp(c.request + BLOCK_PAYLOAD, text, length) != 0) {
        report_error(&c.report, "Verification failed");
        return -1;
    }
    return 0;
}

int host_command_call(ConnectionRecord& c, const char* command) {
    if (!begin_text_request(c, 'U', command, ansi_to_roman8, "No command given (hl_uxcmd)",
                            "Command"))
        return -1;
    // The command's only reply is the text "OK"; its output follows.
    if (!request_reply(&c, 'M', "hl_uxcmd", "OK")) return -1;
    c.more = 1;
    c.transfer_kind = 'U';
    return 0;
}

int fetch_block_call(ConnectionRecord& c, char* buffer, int size) {
    return fetch_block(c, buffer, size);
}

int fetch_line_call(ConnectionRecord& c, char* buffer, int size) {
    if (c.transfer_kind != 'U') {
        report_sequence_error(&c, "hl_fetch_ln", "HPUX", "");
        return -1;
    }
    if (!caller_buffer_ok(&c.report, "hl_fetch_ln", buffer, size)) return -1;
    int stored = 0;
    char last = '\0';
    while (stored < size - 1 && last != '\n') {
        if (c.block_pos >= c.block_avail) {
            int n = fetch_block(c, nullptr, 0);
            if (n == -1) {
                buffer[0] = '\0'; // what was gathered is lost
                return -1;
            }
            if (n == 0) break;
            c.block_avail = n;
            c.block_pos = 0;
        }
        unsigned char byte = static_cast<unsigned char>(c.block[BLOCK_PAYLOAD + c.block_pos++]);
        last = static_cast<char>(roman8_to_ansi[byte]);
        buffer[stored++] = last;
    }
    buffer[stored] = '\0';
    if (stored > 0 && last != '\n' && c.warnings != 0)
        report_error(&c.report, "Buffer too small (hl_fetch_ln):\n Buffer truncted.");
    return stored;
}

extern "C" int DORV_CALL hl_echo(int handle, const char* text) {
    ExportCall call(handle);
    return call.record() != nullptr ? echo_call(*call.record(), text) : -1;
}

extern "C" int DORV_CALL hl_uxcmd(int handle, const char* command) {
    ExportCall call(handle);
    return call.record() != nullptr ? host_command_call(*call.record(), command) : -1;
}

extern "C" int DORV_CALL hl_fetch_blk(int handle, char* buffer, int size) {
    ExportCall call(handle);
    return call.record() != nullptr ? fetch_block_call(*call.record(), buffer, size) : -1;
}

extern "C" int DORV_CALL hl_fetch_ln(int handle, char* buffer, int size) {
    ExportCall call(handle);
    return call.record() != nullptr ? fetch_line_call(*call.record(), buffer, size) : -1;
}
