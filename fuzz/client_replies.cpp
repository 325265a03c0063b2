// Fuzzes the client library's reply paths without a socket: the block codec
// fed directly, and the library's calls on a connection record whose bytes
// come from memory.
//
// Input: a flags byte, a pattern of segment sizes, a list of library calls
// (each with its buffer size, code or text), and then the bytes the server
// answers, which reach the codec and the calls in segments cut after the
// pattern (see ServerBytes).
//
// Layout:
//   flags        bit 0 warnings, bits 1-3 pattern length - 1, bit 4 debug log
//   pattern      1 to 8 bytes: b < 200 gives b + 1 bytes, else (b - 199) * 64
//   call count   0 to 32
//   calls        op byte (bits 0-3 call, bits 4-6 repeats - 1, bit 7 null
//                buffer), then what the call takes: code byte and u16 size
//                (explain, hdr_ln); u16 size (buffer calls; read_record adds a
//                byte whose bit 0 picks next_val); u16 length and the text
//                (exec, echo, uxcmd). Sizes 0xFFF0 and up are -16 to -1.
//   reply bytes  the rest
#include "fuzz/input_reader.h"
#include "fuzz/silent_boxes.h"

#include "client/codec/block_codec.h"
#include "client/connection/connection_table.h"
#include "client/connection/library.h"
#include "client/include/dorv32.h"
#include "client/protocol/connection_calls.h"
#include "common/diagnostics.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

enum Op : int {
    OP_VERSION,
    OP_EXEC,
    OP_EXPLAIN,
    OP_HDR_LN,
    OP_NEXT_ROW,
    OP_HDR_VAL,
    OP_NEXT_VAL,
    OP_TFIELD,
    OP_FIELD,
    OP_ECHO,
    OP_UXCMD,
    OP_FETCH_BLK,
    OP_FETCH_LN,
    OP_READ_RECORD, // hdr_val or next_val, then tfield until it stops (bounded)
    OP_READ_OUTPUT, // fetch_ln until it stops (bounded)
    OP_BAD_HANDLE,  // an exported call on a handle that is not open
    OP_COUNT
};

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "fuzz_client_replies: %s\n", what);
    abort();
}

// ------------------------------------------------------------------ the server's bytes

// The server's answer, handed out in segments cut after the pattern: a receive
// gets at most the rest of the current segment, as a receive on a socket gets
// at most what has arrived; the next segment comes when this one is used up,
// and the stream ends when the bytes do. So no call can wait for ever.
struct ServerBytes {
    std::string stream;
    std::vector<size_t> pattern;
    size_t pos = 0;
    size_t segments = 0;
    size_t segment_left = 0;
    unsigned long receives = 0; // receive calls that got bytes or the end

    int receive(char* buffer, int length) {
        ++receives;
        if (segment_left == 0) {
            if (pos >= stream.size()) return 0;
            segment_left = pattern[segments++ % pattern.size()];
            if (segment_left > stream.size() - pos) segment_left = stream.size() - pos;
        }
        size_t n =
            static_cast<size_t>(length) < segment_left ? static_cast<size_t>(length) : segment_left;
        memcpy(buffer, stream.data() + pos, n);
        pos += n;
        segment_left -= n;
        return static_cast<int>(n);
    }
};

ServerBytes server;

int link_receive(void*, char* buffer, int length) {
    return server.receive(buffer, length);
}

// Requests are taken whole and dropped: the answer is fixed by the input.
int link_send(void*, const char*, int length) {
    return length;
}

const ByteLink memory_link = {nullptr, link_receive, link_send};

// ------------------------------------------------------------------ the codec, fed directly

// What a block that declares `length` must come to, whatever the segments.
BlockEvent expected_event(unsigned length) {
    if (length < 2) return BLOCK_UNFRAMED;
    if (length > unsigned{BLOCK_SIZE}) return BLOCK_PASSED_OVER;
    return length < unsigned{MIN_BLOCK} ? BLOCK_INCONSISTENT : BLOCK_WHOLE;
}

// Feeds the stream to the decoder segment by segment and checks each block
// against the stream itself: its bytes, its end, and that every byte is taken
// once.
void check_codec(const std::string& stream, const std::vector<size_t>& pattern) {
    BlockDecoder decoder;
    char block[BLOCK_SIZE];
    start_block(&decoder, block);
    size_t pos = 0;      // bytes taken by the decoder
    size_t block_at = 0; // where the current block starts
    size_t segment = 0;
    while (pos < stream.size()) {
        size_t n = pattern[segment++ % pattern.size()];
        if (n > stream.size() - pos) n = stream.size() - pos;
        while (n > 0) {
            int wanted = block_bytes_wanted(&decoder);
            if (wanted <= 0 || wanted > BLOCK_SIZE)
                finding("the decoder wants no bytes or too many");
            BlockEvent event;
            int taken =
                feed_block(&decoder, block, stream.data() + pos, static_cast<int>(n), &event);
            if (taken <= 0 || static_cast<size_t>(taken) > n)
                finding("the decoder took no bytes or more than it was fed");
            if (decoder.received > BLOCK_SIZE) finding("the decoder stored more than a block");
            pos += static_cast<size_t>(taken);
            n -= static_cast<size_t>(taken);
            if (event == BLOCK_NEEDS_MORE || event == BLOCK_OVERLONG) continue;
            unsigned length = length_from_wire(stream.data() + block_at);
            if (event != expected_event(length))
                finding("the decoder's event does not fit the block's length");
            if (event == BLOCK_UNFRAMED) return; // nothing behind it can be framed
            size_t kept = length < unsigned{BLOCK_SIZE} ? length : BLOCK_SIZE;
            if (pos - block_at != length || block_length(block) != length ||
                memcmp(block + 2, stream.data() + block_at + 2, kept - 2) != 0)
                finding("a block does not hold the bytes of the stream it came from");
            block_at = pos;
            start_block(&decoder, block);
        }
    }
}

// ------------------------------------------------------------------ set-up

bool trace = false; // DORV_FUZZ_TRACE set: each call's result and box on standard error

void fail_setup(const char* what) {
    perror(what);
    abort();
}

void set_up() {
    // The debug log is on (to /dev/null), so tracing and password masking run;
    // each input switches it on or off.
    char dir[] = "/tmp/dorv-fuzz-client-XXXXXX";
    if (mkdtemp(dir) == nullptr) fail_setup("mkdtemp");
    std::string ini = std::string(dir) + "/windorv.ini";
    FILE* f = fopen(ini.c_str(), "w");
    if (f == nullptr) fail_setup("windorv.ini");
    fputs("[Global]\nDebug=1\nDLLDebugFile=/dev/null\n", f);
    fclose(f);
    setenv("DORV_INI_DIR", dir, 1);
    trace = getenv("DORV_FUZZ_TRACE") != nullptr;
    install_silent_boxes(trace);
    dorv_library_attach(nullptr);
    unlink(ini.c_str());
    rmdir(dir);
}

// ------------------------------------------------------------------ checks

// The connection the calls run on: a record of the fuzzer's own, outside the
// table, whose bytes come from `server`.
ConnectionRecord connection;
const int HANDLE = 1000; // what the record's messages name as its handle

// The record's transfer state must stay within its block whatever the server
// sends, and what a call recorded must have been shown; the sanitizer cannot
// see overruns inside the record itself.
void check_record() {
    const ConnectionRecord& r = connection;
    bool ok = r.block_avail >= 0 && r.block_avail <= WNSK_BLOCK_SIZE - 4 && r.block_pos >= 0 &&
              r.block_pos <= r.block_avail && (r.more == 0 || r.more == 1) &&
              (r.transfer_kind == 0 || r.transfer_kind == ' ' || r.transfer_kind == 'S' ||
               r.transfer_kind == 'U') &&
              r.report.count == 0;
    if (!ok) {
        fprintf(stderr,
                "connection record out of bounds: block_avail=%d block_pos=%d more=%d "
                "transfer_kind=%d report=%d\n",
                r.block_avail, r.block_pos, r.more, r.transfer_kind, r.report.count);
        abort();
    }
}

// A field call that returns 0 has taken something of the record: its read
// position moved or a further block came. Otherwise a caller's loop until -9
// never ends.
struct Progress {
    Progress()
        : pending(connection.transfer_kind == 'S'), position(connection.block_pos),
          receives(server.receives) {}
    void check_moved_on(int result) const {
        if (pending && result == 0 && connection.block_pos == position &&
            receives == server.receives)
            finding("a field call returned 0 without moving on in the record");
    }
    bool pending;
    int position;
    unsigned long receives;
};

// A result the library documents for the call.
void check_result(int op, int result) {
    bool ok = true;
    switch (op) {
    case OP_ECHO:
    case OP_UXCMD:
        ok = result == 0 || result == -1;
        break;
    case OP_FETCH_BLK:
        ok = result >= -1 && result <= WNSK_BLOCK_SIZE - 4;
        break;
    case OP_BAD_HANDLE:
        ok = result == 0;
        break;
    default:
        break;
    }
    if (!ok) {
        fprintf(stderr, "call %d returned %d\n", op, result);
        abort();
    }
}

// ------------------------------------------------------------------ calls

int buffer_size(uint16_t raw) {
    if (raw >= 0xFFF0) return static_cast<int16_t>(raw); // -16 to -1
    return raw % 2100;
}

// A caller's buffer of exactly `size` bytes (none for a negative size), so the
// sanitizer sees every byte written beyond it.
struct CallerBuffer {
    explicit CallerBuffer(int size, bool null)
        : bytes(null ? nullptr : static_cast<char*>(malloc(size > 0 ? size : 0))) {}
    ~CallerBuffer() { free(bytes); }
    char* bytes;
};

// A caller's text in a writable heap copy of exactly its length.
struct CallerText {
    explicit CallerText(const std::string& text)
        : bytes(static_cast<char*>(malloc(text.size() + 1))) {
        memcpy(bytes, text.data(), text.size());
        bytes[text.size()] = '\0';
    }
    ~CallerText() { free(bytes); }
    char* bytes;
};

const int explain_codes[] = {0, 1, 5, 999, 1000, 1005, 1999, 2000, 2001, 3000, -1, -1000, -2000};

int field(char* buffer, int size, bool drop_type) {
    Progress before;
    int result = field_call(connection, buffer, size, drop_type);
    before.check_moved_on(result);
    return result;
}

int text_call(int op, bool null_buffer, InputReader& in) {
    std::string t = in.bytes(in.u16() % 2100);
    CallerText text(t);
    const char* given = null_buffer ? nullptr : text.bytes;
    if (op == OP_ECHO) return echo_call(connection, given);
    if (op == OP_UXCMD) return host_command_call(connection, given);
    int result = exec_call(connection, given);
    // The caller's text is its own: a VBA string or a literal.
    if (!null_buffer && strcmp(text.bytes, t.c_str()) != 0)
        finding("hl_dorv_exec changed the caller's text");
    return result;
}

int buffer_call(int op, bool null_buffer, InputReader& in) {
    int size = buffer_size(in.u16());
    CallerBuffer buffer(size, null_buffer);
    switch (op) {
    case OP_NEXT_ROW:
        return line_call(connection, 'R', 0, buffer.bytes, size, "hl_dorv_next_row");
    case OP_TFIELD:
        return field(buffer.bytes, size, false);
    case OP_FIELD:
        return field(buffer.bytes, size, true);
    case OP_FETCH_BLK:
        return fetch_block_call(connection, buffer.bytes, size);
    case OP_FETCH_LN:
        return fetch_line_call(connection, buffer.bytes, size);
    default:
        return 0;
    }
}

// As a caller reads a record: until -9 or a failure, bounded here because a
// call that never advances must not hang the fuzzer.
int read_record(bool null_buffer, InputReader& in) {
    int size = buffer_size(in.u16());
    int result = record_call(connection, (in.byte() & 1) != 0 ? 'F' : 'V');
    show_report(&connection.report);
    CallerBuffer buffer(size, null_buffer);
    for (int i = 0; i < 64 && result == 0; ++i) {
        result = field(buffer.bytes, size, false);
        show_report(&connection.report);
        check_record();
    }
    return result;
}

int read_output(bool null_buffer, InputReader& in) {
    int size = buffer_size(in.u16());
    CallerBuffer buffer(size, null_buffer);
    int result = 1;
    for (int i = 0; i < 64 && result > 0; ++i) {
        result = fetch_line_call(connection, buffer.bytes, size);
        show_report(&connection.report);
        check_record();
    }
    return result;
}

int run_call(int op, bool null_buffer, InputReader& in) {
    switch (op) {
    case OP_VERSION: {
        CallerBuffer text(1019, null_buffer); // the room the call documents
        return version_call(connection, text.bytes);
    }
    case OP_EXEC:
    case OP_ECHO:
    case OP_UXCMD:
        return text_call(op, null_buffer, in);
    case OP_EXPLAIN: {
        int code = explain_codes[in.byte() % (sizeof explain_codes / sizeof explain_codes[0])];
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        return explain_call(connection, buffer.bytes, size, code);
    }
    case OP_HDR_LN: {
        char code = static_cast<char>(in.byte());
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        return line_call(connection, 'H', code, buffer.bytes, size, "hl_dorv_hdr_ln");
    }
    case OP_HDR_VAL:
        return record_call(connection, 'V');
    case OP_NEXT_VAL:
        return record_call(connection, 'F');
    case OP_READ_RECORD:
        return read_record(null_buffer, in);
    case OP_READ_OUTPUT:
        return read_output(null_buffer, in);
    case OP_BAD_HANDLE: {
        // The exported call: no connection is open, so none has this handle.
        char text[1019];
        return hl_dorv_version(HANDLE + 1, text) == DORV_NO_STATUS ? 0 : -2;
    }
    default:
        return buffer_call(op, null_buffer, in);
    }
}

struct Call {
    int op;
    int repeats;
    bool null_buffer;
    std::string arguments; // the bytes its parameters are read from
};

size_t argument_bytes(int op) {
    switch (op) {
    case OP_EXPLAIN:
    case OP_HDR_LN:
    case OP_READ_RECORD:
        return 3;
    case OP_EXEC: // the text's length; the text follows
    case OP_ECHO:
    case OP_UXCMD:
    case OP_NEXT_ROW:
    case OP_TFIELD:
    case OP_FIELD:
    case OP_FETCH_BLK:
    case OP_FETCH_LN:
    case OP_READ_OUTPUT:
        return 2;
    default:
        return 0;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    set_up();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    uint8_t flags = in.byte();
    int warnings = flags & 1;
    debug_enabled = (flags & 0x10) != 0 ? 1 : 0;

    ServerBytes next;
    int pattern_length = ((flags >> 1) & 7) + 1;
    for (int i = 0; i < pattern_length; ++i) {
        uint8_t b = in.byte();
        next.pattern.push_back(b < 200 ? b + 1u : (b - 199u) * 64u);
    }

    // The calls are parsed before the reply bytes, which are the rest.
    std::vector<Call> calls;
    int call_count = in.byte() % 33;
    for (int i = 0; i < call_count && !in.empty(); ++i) {
        uint8_t op_byte = in.byte();
        Call call{(op_byte & 15) % OP_COUNT, ((op_byte >> 4) & 7) + 1, (op_byte & 0x80) != 0, {}};
        size_t n = argument_bytes(call.op);
        call.arguments = in.bytes(n);
        if (call.op == OP_EXEC || call.op == OP_ECHO || call.op == OP_UXCMD) {
            InputReader length(reinterpret_cast<const uint8_t*>(call.arguments.data()),
                               call.arguments.size());
            call.arguments += in.bytes(length.u16() % 2100);
        }
        calls.push_back(std::move(call));
    }
    next.stream = in.rest();

    check_codec(next.stream, next.pattern);

    // A fresh connection, as hl_connect leaves it, on the server's bytes.
    server = std::move(next);
    memset(&connection, 0, sizeof connection);
    connection.socket = HANDLE;
    connection.warnings = warnings;
    connection.link = &memory_link;
    for (const Call& call : calls) {
        for (int r = 0; r < call.repeats; ++r) {
            InputReader arguments(reinterpret_cast<const uint8_t*>(call.arguments.data()),
                                  call.arguments.size());
            int result = run_call(call.op, call.null_buffer, arguments);
            show_report(&connection.report);
            if (trace) fprintf(stderr, "call %d -> %d\n", call.op, result);
            check_result(call.op, result);
            check_record();
        }
    }
    return 0;
}
