// hl_echo, hl_uxcmd, hl_fetch_blk and hl_fetch_ln: the connection used for
// something else than SQL.
#include "client/include/dorv32.h"
#include "client/protocol/charset.h"
#include "client/protocol/message_layer.h"
#include "client/transport/wnsk.h"
#include "common/diagnostics.h"

#include <string.h>

namespace {

// The next block of host command output into the connection's block.
// With a buffer its bytes are copied there; without one they stay in the
// block. Returns the number of output bytes, 0 at the end, -1 on failure.
int fetch_block(ConnectionRecord* connection, char* buffer, int size) {
    for (;;) {
        if (connection->more == 0 || connection->transfer_kind != 'U') {
            error_box("Sequence error (hl_fetch_blk):\n No pending HPUX transfer\n handle = %d\n "
                      "type   = %02x",
                      connection->socket, static_cast<unsigned>(connection->transfer_kind));
            return -1;
        }
        char* block = connection->block;
        if (ll_read(connection, block) != 0) return -1;
        connection->more = block[BLOCK_LAST] == 0 ? 1 : 0;
        if (!check_reply(block, 'U', "hl_fetch_blk", "EOF")) return -1;
        if (block[BLOCK_TYPE] == 'M') return 0; // the end of the output
        int n = static_cast<int>(block_length(block)) - BLOCK_PAYLOAD;
        if (n == 0) {
            // An empty block is no end of output: 0 would tell the caller so.
            if (connection->more == 0) return 0;
            continue;
        }
        if (buffer == nullptr) return n;
        if (size < n) {
            error_box("Buffer too small (hl_fetch_blk):\n Expected size is %d", size);
            return -1;
        }
        memcpy(buffer, block + BLOCK_PAYLOAD, static_cast<size_t>(n));
        return n;
    }
}

} // namespace

extern "C" int DORV_CALL hl_echo(int handle, const char* text) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return -1;
    if (text == nullptr) {
        error_box("No text given (%s)", "hl_echo");
        return -1;
    }
    if (ll_drain(connection) != 0) return -1;
    size_t length = strlen(text);
    if (length > MAX_PAYLOAD) {
        error_box("Message size exceeds maximum (%d)", MAX_PAYLOAD);
        return -1;
    }
    int n = static_cast<int>(length);
    begin_request('E', n);
    memcpy(request_block + BLOCK_PAYLOAD, text, length);
    if (!request_reply(connection, 'E', "hl_echo")) return -1;
    int received = static_cast<int>(block_length(request_block)) - BLOCK_PAYLOAD;
    if (received != n) {
        error_box("Unexpected message size: %d", received);
        return -1;
    }
    if (memcmp(request_block + BLOCK_PAYLOAD, text, length) != 0) {
        error_box("Verification failed");
        return -1;
    }
    return 0;
}

extern "C" int DORV_CALL hl_uxcmd(int handle, const char* command) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return -1;
    if (command == nullptr) {
        error_box("No command given (%s)", "hl_uxcmd");
        return -1;
    }
    if (ll_drain(connection) != 0) return -1;
    size_t length = strlen(command);
    if (length > MAX_PAYLOAD) {
        error_box("Command size exceeds maximum (%d)", MAX_PAYLOAD);
        return -1;
    }
    begin_request('U', static_cast<int>(length));
    for (size_t i = 0; i < length; ++i)
        request_block[BLOCK_PAYLOAD + i] =
            static_cast<char>(ansi_to_roman8[static_cast<unsigned char>(command[i])]);
    // The command's only reply is the text "OK"; its output follows.
    if (!request_reply(connection, 'M', "hl_uxcmd", "OK")) return -1;
    connection->more = 1;
    connection->transfer_kind = 'U';
    return 0;
}

extern "C" int DORV_CALL hl_fetch_blk(int handle, char* buffer, int size) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return -1;
    return fetch_block(connection, buffer, size);
}

extern "C" int DORV_CALL hl_fetch_ln(int handle, char* buffer, int size) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return -1;
    if (connection->transfer_kind != 'U') {
        error_box("Sequence error (hl_fetch_ln):\n No pending HPUX transfer\n handle = %d\n type   "
                  "= %02x",
                  handle, static_cast<unsigned>(connection->transfer_kind));
        return -1;
    }
    if (!caller_buffer_ok("hl_fetch_ln", buffer, size)) return -1;
    int stored = 0;
    char last = '\0';
    while (stored < size - 1 && last != '\n') {
        if (connection->block_pos >= connection->block_avail) {
            int n = fetch_block(connection, nullptr, 0);
            if (n == -1) {
                buffer[0] = '\0'; // what was gathered is lost
                return -1;
            }
            if (n == 0) break;
            connection->block_avail = n;
            connection->block_pos = 0;
        }
        unsigned char byte =
            static_cast<unsigned char>(connection->block[BLOCK_PAYLOAD + connection->block_pos++]);
        last = static_cast<char>(roman8_to_ansi[byte]);
        buffer[stored++] = last;
    }
    buffer[stored] = '\0';
    if (stored > 0 && last != '\n' && connection->warnings != 0)
        error_box("Buffer too small (hl_fetch_ln):\n Buffer truncted.");
    return stored;
}
