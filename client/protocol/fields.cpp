// A value record's fields, one piece per call: hl_dorv_tfield and hl_dorv_field.
#include "client/connection/export_call.h"
#include "client/protocol/charset.h"
#include "client/protocol/connection_calls.h"
#include "client/protocol/message_layer.h"

namespace {

// Where a field call stands in the piece it hands out.
struct Piece {
    char* buffer;
    int size;
    int stored = 0;
    bool type_to_drop;
    // A buffer with room for the terminator only stores nothing: the field is
    // passed over all the same, so that a loop until -9 comes to its end.
    bool pass_over;
    bool dropped = false; // something of the field was passed over
};

// Takes one data byte of the record into the piece; false at the field's end.
bool take_byte(Piece& piece, unsigned char byte) {
    if (byte == 0) return false;
    if (piece.type_to_drop)
        piece.type_to_drop = false;
    else if (piece.pass_over)
        piece.dropped = true;
    else
        piece.buffer[piece.stored++] = static_cast<char>(roman8_to_ansi[byte]);
    return true;
}

} // namespace

// The next piece of the pending value record: a whole field, or as much of it
// as the buffer holds. A piece that fills the buffer is followed by the rest
// of its field (possibly empty), which carries no type character; so only a
// piece that begins a field has one, and `drop_type` leaves that out. A size
// of 1 stores nothing: the rest of the field is passed over, and the
// truncation warning counts only what was dropped behind the type character.
int field_call(ConnectionRecord& c, char* buffer, int size, bool drop_type) {
    // Without room for even the terminator, hl_dorv_field gives its own name.
    if (drop_type && !caller_buffer_ok(&c.report, "hl_dorv_field", buffer, size))
        return DORV_NO_STATUS;
    if (c.transfer_kind != 'S') {
        report_sequence_error(&c, "hl_dorv_field", "Dorv",
                              " Call hl_dorv_hdr_ln() or hl_dorv_next_val().\n");
        return DORV_NO_STATUS;
    }
    if (!caller_buffer_ok(&c.report, "hl_dorv_tfield", buffer, size)) return DORV_NO_STATUS;

    Piece piece{buffer, size, 0, drop_type && c.field_continues == 0, size == 1};
    int result = 0;
    bool field_ended = false;
    while (piece.pass_over || piece.stored < size - 1) {
        if (c.block_pos >= c.block_avail) {
            // The record is used up (or ended inside a field): nothing more is read.
            int ended = c.more == 0                      ? DORV_EOF
                        : ll_dorv_read(&c, &result) != 0 ? DORV_NO_STATUS
                                                         : 0;
            if (ended != 0) {
                buffer[piece.stored] = '\0';
                return ended;
            }
            continue;
        }
        if (!take_byte(piece,
                       static_cast<unsigned char>(c.block[BLOCK_STATUS_DATA + c.block_pos++]))) {
            field_ended = true;
            break;
        }
    }
    buffer[piece.stored] = '\0';
    c.field_continues = field_ended ? 0 : 1;
    bool truncated = piece.pass_over ? piece.dropped : !field_ended;
    if (truncated && c.warnings != 0)
        report_error(&c.report, "Buffer too small (hl_dorv_field):\n Buffer truncted.");
    return result;
}

extern "C" int DORV_CALL hl_dorv_tfield(int handle, char* buffer, int size) {
    ExportCall call(handle);
    return call.record() != nullptr ? field_call(*call.record(), buffer, size, false)
                                    : DORV_NO_STATUS;
}

extern "C" int DORV_CALL hl_dorv_field(int handle, char* buffer, int size) {
    ExportCall call(handle);
    return call.record() != nullptr ? field_call(*call.record(), buffer, size, true)
                                    : DORV_NO_STATUS;
}
