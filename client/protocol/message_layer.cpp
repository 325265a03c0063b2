// Requests, status replies and draining of half-read replies.
#include "client/protocol/message_layer.h"

#include "client/connection/block_io.h"
#include "common/diagnostics.h"

#include <string.h>

thread_local const char* text_buffer = nullptr;

void begin_request(ConnectionRecord* connection, char type, int payload_length) {
    char* request = connection->request;
    set_block_length(request, static_cast<unsigned>(payload_length + BLOCK_PAYLOAD));
    request[BLOCK_TYPE] = type;
    request[BLOCK_LAST] = 1;
}

int send_request(ConnectionRecord* connection, char* block) {
    unsigned length = block_length(block);
    if (length < BLOCK_PAYLOAD || length > WNSK_BLOCK_SIZE) {
        report_error(&connection->report,
                     "Internal error (ll_write):\nInconsistent block length (%d)",
                     static_cast<int>(length));
        return -1;
    }
    return send_block(connection, block);
}

int ll_write(ConnectionRecord* connection, char* block) {
    int result = send_request(connection, block);
    show_report(&connection->report);
    return result;
}

int ll_read(ConnectionRecord* connection, char* buffer) {
    return receive_block(connection, buffer);
}

int ll_dorv_read(ConnectionRecord* connection, int* status) {
    char* block = connection->block;
    if (ll_read(connection, block) != 0) return DORV_NO_STATUS;
    connection->more = block[BLOCK_LAST] == 0 ? 1 : 0;
    if (!check_reply(&connection->report, block, 'S', "ll_dorv_read")) return DORV_NO_STATUS;
    connection->block_avail = static_cast<int>(block_length(block)) - BLOCK_STATUS_DATA;
    connection->block_pos = 0;
    *status = block_status(block);
    return 0;
}

int drain_current_reply(ConnectionRecord* connection) {
    if (connection->more != 0) {
        if (connection->warnings != 0)
            report_error(&connection->report, "Pending transfer:\n handle = %d",
                         connection->socket);
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

void drain_owed_reply(ConnectionRecord* connection) {
    --connection->in_flight;
    while (ll_read(connection, connection->block) == 0 && connection->block[BLOCK_LAST] == 0) {
    }
}

int ll_drain(ConnectionRecord* connection) {
    drain_current_reply(connection);
    show_report(&connection->report);
    // Replies to row requests sent ahead are owed whole, one after the other:
    // reading exactly these leaves the next reply to the next request.
    while (connection->in_flight > 0 && connection->broken == 0) {
        drain_owed_reply(connection);
        show_report(&connection->report);
    }
    connection->in_flight = 0;
    connection->ahead_code = 0;
    connection->ahead_stopped = 0;
    return connection->broken != 0 ? -1 : 0;
}

bool check_reply(Report* report, const char* block, char expected, const char* call,
                 const char* accepted_text) {
    char type = block[BLOCK_TYPE];
    if (type == 'M') {
        if (accepted_text != nullptr && message_text_equals(block, accepted_text)) return true;
        report_server_text(report, block + BLOCK_PAYLOAD,
                           static_cast<int>(block_length(block)) - BLOCK_PAYLOAD);
        return false;
    }
    if (type != expected) {
        report_error(report, "Protocol error (%s):\nUnexpected message type (%c)", call, type);
        return false;
    }
    if (type == 'S' && block_length(block) < BLOCK_STATUS_DATA) {
        report_error(report, "Internal error (%s)\nCorrupted M_DORV message", call);
        return false;
    }
    return true;
}

bool request_reply(ConnectionRecord* connection, char expected, const char* call,
                   const char* accepted_text) {
    char* request = connection->request;
    if (send_request(connection, request) != 0 || ll_read(connection, request) != 0) return false;
    if (request[BLOCK_TYPE] == 'M' && request[BLOCK_LAST] == 0) connection->more = 1;
    return check_reply(&connection->report, request, expected, call, accepted_text);
}

void report_sequence_error(ConnectionRecord* connection, const char* call, const char* kind,
                           const char* advice) {
    report_error(&connection->report,
                 "Sequence error (%s):\n No pending %s transfer\n%s handle = %d\n type   = %02x",
                 call, kind, advice, connection->socket,
                 static_cast<unsigned>(connection->transfer_kind));
}

bool caller_buffer_ok(Report* report, const char* call, const char* buffer, int size) {
    if (buffer == nullptr) {
        report_error(report, "No buffer given (%s)", call);
        return false;
    }
    if (size < 1) {
        report_error(report, "Buffer too small (%s):\n size = %d", call, size);
        return false;
    }
    return true;
}

int server_message_box(const char* block) {
    // The text is shown from a copy, so the received block stays as it came.
    Report report;
    clear_report(&report);
    report_server_text(&report, block + BLOCK_PAYLOAD,
                       static_cast<int>(block_length(block)) - BLOCK_PAYLOAD);
    return plat_message_box(report.entries[0].text, report.entries[0].caption,
                            report.entries[0].style);
}
