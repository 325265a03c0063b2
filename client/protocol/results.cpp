// Reading a query's result: whole lines, or value records field by field.
#include "client/include/dorv32.h"
#include "client/protocol/charset.h"
#include "client/protocol/message_layer.h"
#include "client/protocol/read_ahead.h"
#include "common/diagnostics.h"

namespace {

// Reads a line reply's blocks into the caller's buffer.
int gather_line(ConnectionRecord* connection, char* buffer, int size) {
    connection->more = 1;
    int stored = 0;
    int left = size - 1;
    int status = 0;
    do {
        if (ll_dorv_read(connection, &status) != 0) {
            buffer[stored] = '\0';
            return DORV_NO_STATUS;
        }
        int k = connection->block_avail < left ? connection->block_avail : left;
        const char* data = connection->block + BLOCK_STATUS_DATA;
        for (int i = 0; i < k; ++i)
            buffer[stored + i] =
                static_cast<char>(roman8_to_ansi[static_cast<unsigned char>(data[i])]);
        stored += k;
        left -= k;
    } while (connection->more != 0);
    buffer[stored] = '\0';
    if (left == 0 && connection->warnings != 0)
        error_box("Buffer too small (hl_dorv_hdr_ln):\n Buffer truncted.");
    return status;
}

// Sends a line request ('H' or 'R'; a row may have been requested ahead) and
// gathers the reply's data, translated, into the caller's buffer (cut at
// size - 1; every block is read all the same).
int read_line(int handle, char code, char argument, char* buffer, int size, const char* call) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return DORV_NO_STATUS;
    if (!caller_buffer_ok(call, buffer, size)) return DORV_NO_STATUS;
    if (code == 'R') {
        if (request_row(connection, 'R') != 0) return DORV_NO_STATUS;
        int status = gather_line(connection, buffer, size);
        note_row_result(connection, status);
        return status;
    }
    if (ll_drain(connection) != 0) return DORV_NO_STATUS;
    begin_request('S', 2);
    request_block[BLOCK_PAYLOAD] = code;
    request_block[BLOCK_PAYLOAD + 1] = argument;
    if (ll_write(connection, request_block) != 0) return DORV_NO_STATUS;
    return gather_line(connection, buffer, size);
}

// Sends a value-record request ('V', or 'F' which may have been sent ahead)
// and reads the reply's first block.
int start_record(int handle, char code) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return DORV_NO_STATUS;
    if (code == 'F') {
        if (request_row(connection, 'F') != 0) return DORV_NO_STATUS;
    } else {
        if (ll_drain(connection) != 0) return DORV_NO_STATUS;
        begin_request('S', 1);
        request_block[BLOCK_PAYLOAD] = code;
        if (ll_write(connection, request_block) != 0) return DORV_NO_STATUS;
    }
    connection->more = 1;
    connection->transfer_kind = 'S';
    connection->field_continues = 0;
    int status = 0;
    int result = ll_dorv_read(connection, &status) != 0 ? DORV_NO_STATUS : status;
    if (code == 'F') note_row_result(connection, result);
    return result;
}

} // namespace

extern "C" int DORV_CALL hl_dorv_hdr_ln(int handle, int code, char* buffer, int size) {
    return read_line(handle, 'H', static_cast<char>(code), buffer, size, "hl_dorv_hdr_ln");
}

extern "C" int DORV_CALL hl_dorv_next_row(int handle, char* buffer, int size) {
    return read_line(handle, 'R', 0, buffer, size, "hl_dorv_next_row");
}

extern "C" int DORV_CALL hl_dorv_hdr_val(int handle) {
    return start_record(handle, 'V');
}

extern "C" int DORV_CALL hl_dorv_next_val(int handle) {
    return start_record(handle, 'F');
}

namespace {

// The next piece of the pending value record: a whole field, or as much of it
// as the buffer holds. A piece that fills the buffer is followed by the rest
// of its field (possibly empty), which carries no type character; so only a
// piece that begins a field has one, and `drop_type` leaves that out. A size
// of 1 stores nothing: the rest of the field is passed over, and the
// truncation warning counts only what was dropped behind the type character.
int read_field(int handle, char* buffer, int size, bool drop_type) {
    ConnectionRecord* connection = find_connection(handle);
    if (connection == nullptr) return DORV_NO_STATUS;
    if (connection->transfer_kind != 'S') {
        error_box(
            "Sequence error (hl_dorv_field):\n No pending Dorv transfer\n Call hl_dorv_hdr_ln() or "
            "hl_dorv_next_val().\n handle = %d\n type   = %02x",
            handle, static_cast<unsigned>(connection->transfer_kind));
        return DORV_NO_STATUS;
    }
    if (!caller_buffer_ok("hl_dorv_tfield", buffer, size)) return DORV_NO_STATUS;

    int result = 0;
    int stored = 0;
    bool field_ended = false;
    bool type_to_drop = drop_type && connection->field_continues == 0;
    // A buffer with room for the terminator only stores nothing: the field is
    // passed over all the same, so that a loop until -9 comes to its end.
    bool pass_over = size == 1;
    bool dropped = false;
    while (pass_over || stored < size - 1) {
        if (connection->block_pos >= connection->block_avail) {
            if (connection->more == 0) {
                // The record is used up (or ended inside a field): nothing more is read.
                buffer[stored] = '\0';
                return DORV_EOF;
            }
            if (ll_dorv_read(connection, &result) != 0) {
                buffer[stored] = '\0';
                return DORV_NO_STATUS;
            }
            continue;
        }
        unsigned char byte = static_cast<unsigned char>(
            connection->block[BLOCK_STATUS_DATA + connection->block_pos++]);
        if (byte == 0) {
            field_ended = true;
            break;
        }
        if (type_to_drop) {
            type_to_drop = false;
            continue;
        }
        if (pass_over) {
            dropped = true;
            continue;
        }
        buffer[stored++] = static_cast<char>(roman8_to_ansi[byte]);
    }
    buffer[stored] = '\0';
    connection->field_continues = field_ended ? 0 : 1;
    bool truncated = pass_over ? dropped : !field_ended;
    if (truncated && connection->warnings != 0)
        error_box("Buffer too small (hl_dorv_field):\n Buffer truncted.");
    return result;
}

} // namespace

extern "C" int DORV_CALL hl_dorv_tfield(int handle, char* buffer, int size) {
    return read_field(handle, buffer, size, false);
}

extern "C" int DORV_CALL hl_dorv_field(int handle, char* buffer, int size) {
    if (buffer == nullptr || size < 1) {
        if (find_connection(handle) == nullptr) return DORV_NO_STATUS;
        caller_buffer_ok("hl_dorv_field", buffer, size);
        return DORV_NO_STATUS;
    }
    return read_field(handle, buffer, size, true);
}
