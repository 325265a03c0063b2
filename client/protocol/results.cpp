// Reading a query's result: whole lines, or value records field by field.
#include "client/connection/export_call.h"
#include "client/protocol/charset.h"
#include "client/protocol/connection_calls.h"
#include "client/protocol/message_layer.h"
#include "client/protocol/read_ahead.h"

namespace {

// Reads a line reply's blocks into the caller's buffer.
int gather_line(ConnectionRecord& c, char* buffer, int size) {
    c.more = 1;
    int stored = 0;
    int left = size - 1;
    int status = 0;
    do {
        if (ll_dorv_read(&c, &status) != 0) {
            buffer[stored] = '\0';
            return DORV_NO_STATUS;
        }
        int k = c.block_avail < left ? c.block_avail : left;
        const char* data = c.block + BLOCK_STATUS_DATA;
        for (int i = 0; i < k; ++i)
            buffer[stored + i] =
                static_cast<char>(roman8_to_ansi[static_cast<unsigned char>(data[i])]);
        stored += k;
        left -= k;
    } while (c.more != 0);
    buffer[stored] = '\0';
    if (left == 0 && c.warnings != 0)
        report_error(&c.report, "Buffer too small (hl_dorv_hdr_ln):\n Buffer truncted.");
    return status;
}

// Sends a request with the code (and its argument, where it has one) that
// is not a row request.
int send_request_code(ConnectionRecord& c, char code, const char* argument) {
    if (ll_drain(&c) != 0) return -1;
    begin_request(&c, 'S', argument != nullptr ? 2 : 1);
    c.request[BLOCK_PAYLOAD] = code;
    if (argument != nullptr) c.request[BLOCK_PAYLOAD + 1] = *argument;
    return send_request(&c, c.request);
}

} // namespace

int line_call(ConnectionRecord& c, char code, char argument, char* buffer, int size,
              const char* call) {
    if (!caller_buffer_ok(&c.report, call, buffer, size)) return DORV_NO_STATUS;
    if (code == 'R') {
        if (request_row(&c, 'R') != 0) return DORV_NO_STATUS;
        int status = gather_line(c, buffer, size);
        note_row_result(&c, status);
        return status;
    }
    if (send_request_code(c, code, &argument) != 0) return DORV_NO_STATUS;
    return gather_line(c, buffer, size);
}

int record_call(ConnectionRecord& c, char code) {
    if (code == 'F') {
        if (request_row(&c, 'F') != 0) return DORV_NO_STATUS;
    } else if (send_request_code(c, code, nullptr) != 0) {
        return DORV_NO_STATUS;
    }
    c.more = 1;
    c.transfer_kind = 'S';
    c.field_continues = 0;
    int status = 0;
    int result = ll_dorv_read(&c, &status) != 0 ? DORV_NO_STATUS : status;
    if (code == 'F') note_row_result(&c, result);
    return result;
}

extern "C" int DORV_CALL hl_dorv_hdr_ln(int handle, int code, char* buffer, int size) {
    ExportCall call(handle);
    if (call.record() == nullptr) return DORV_NO_STATUS;
    return line_call(*call.record(), 'H', static_cast<char>(code), buffer, size, "hl_dorv_hdr_ln");
}

extern "C" int DORV_CALL hl_dorv_next_row(int handle, char* buffer, int size) {
    ExportCall call(handle);
    if (call.record() == nullptr) return DORV_NO_STATUS;
    return line_call(*call.record(), 'R', 0, buffer, size, "hl_dorv_next_row");
}

extern "C" int DORV_CALL hl_dorv_hdr_val(int handle) {
    ExportCall call(handle);
    return call.record() != nullptr ? record_call(*call.record(), 'V') : DORV_NO_STATUS;
}

extern "C" int DORV_CALL hl_dorv_next_val(int handle) {
    ExportCall call(handle);
    return call.record() != nullptr ? record_call(*call.record(), 'F') : DORV_NO_STATUS;
}
