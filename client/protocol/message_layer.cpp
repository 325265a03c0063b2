// Requests, status replies and draining of half-read replies.
#include "client/protocol/message_layer.h"

#include "client/transport/wnsk.h"
#include "common/diagnostics.h"

#include <string.h>

char request_block[WNSK_BLOCK_SIZE];
char text_buffer[WNSK_BLOCK_SIZE];

void begin_request(char type, int payload_length) {
    set_block_length(request_block, static_cast<unsigned>(payload_length + BLOCK_PAYLOAD));
    request_block[BLOCK_TYPE] = type;
    request_block[BLOCK_LAST] = 1;
}

int ll_write(ConnectionRecord* connection, char* block) {
    unsigned length = block_length(block);
    if (length < BLOCK_PAYLOAD || length > WNSK_BLOCK_SIZE) {
        error_box("Internal error (ll_write):\nInconsistent block length (%d)",
                  static_cast<int>(length));
        return -1;
    }
    // A send that fails leaves a stream that no longer carries whole blocks.
    int result = wnsk_write(connection->socket, block);
    if (result != 0) connection->broken = 1;
    return result;
}

int ll_read(ConnectionRecord* connection, char* buffer) {
    bool lost = false;
    int result = wnsk_read_within(connection->socket, buffer, connection->reply_timeout, &lost);
    if (lost) connection->broken = 1;
    return result;
}

int ll_dorv_read(ConnectionRecord* connection, int* status) {
    char* block = connection->block;
    if (ll_read(connection, block) != 0) return DORV_NO_STATUS;
    connection->more = block[BLOCK_LAST] == 0 ? 1 : 0;
    if (!check_reply(block, 'S', "ll_dorv_read")) return DORV_NO_STATUS;
    connection->block_avail = static_cast<int>(block_length(block)) - BLOCK_STATUS_DATA;
    connection->block_pos = 0;
    *status = static_cast<short>((static_cast<unsigned char>(block[BLOCK_STATUS]) << 8) |
                                 static_cast<unsigned char>(block[BLOCK_STATUS + 1]));
    return 0;
}

int drain_current_reply(ConnectionRecord* connection) {
    if (connection->more != 0) {
        if (connection->warnings != 0)
            error_box("Pending transfer:\n handle = %d", connection->socket);
        // Blocks of the abandoned reply are thrown away, text messages too.
        while (ll_read(connection, connection->block) == 0 && connection->block[BLOCK_LAST] == 0) {
        }
    }
    connection->transfer_kind = ' ';
    connection->more = 0;
    connection->block_avail = 0;
    connection->block_pos = 0;
    return connection->broken != 0 ? -1 : 0;
}

int ll_drain(ConnectionRecord* connection) {
    drain_current_reply(connection);
    // Replies to row requests sent ahead are owed whole, one after the other:
    // reading exactly these leaves the next reply to the next request.
    while (connection->in_flight > 0 && connection->broken == 0) {
        --connection->in_flight;
        while (ll_read(connection, connection->block) == 0 && connection->block[BLOCK_LAST] == 0) {
        }
    }
    connection->in_flight = 0;
    connection->ahead_code = 0;
    connection->ahead_stopped = 0;
    return connection->broken != 0 ? -1 : 0;
}

bool message_text_equals(const char* block, const char* literal) {
    size_t n = strlen(literal);
    unsigned length = block_length(block);
    return length >= BLOCK_PAYLOAD && length - BLOCK_PAYLOAD == n &&
           memcmp(block + BLOCK_PAYLOAD, literal, n) == 0;
}

bool check_reply(const char* block, char expected, const char* call, const char* accepted_text) {
    char type = block[BLOCK_TYPE];
    if (type == 'M') {
        if (accepted_text != nullptr && message_text_equals(block, accepted_text)) return true;
        server_message_box(block);
        return false;
    }
    if (type != expected) {
        error_box("Protocol error (%s):\nUnexpected message type (%c)", call, type);
        return false;
    }
    if (type == 'S' && block_length(block) < BLOCK_STATUS_DATA) {
        error_box("Internal error (%s)\nCorrupted M_DORV message", call);
        return false;
    }
    return true;
}

bool request_reply(ConnectionRecord* connection, char expected, const char* call,
                   const char* accepted_text) {
    if (ll_write(connection, request_block) != 0 || ll_read(connection, request_block) != 0)
        return false;
    if (request_block[BLOCK_TYPE] == 'M' && request_block[BLOCK_LAST] == 0) connection->more = 1;
    return check_reply(request_block, expected, call, accepted_text);
}

bool caller_buffer_ok(const char* call, const char* buffer, int size) {
    if (buffer == nullptr) {
        error_box("No buffer given (%s)", call);
        return false;
    }
    if (size < 1) {
        error_box("Buffer too small (%s):\n size = %d", call, size);
        return false;
    }
    return true;
}
