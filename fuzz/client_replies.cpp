// Fuzzes the client library's reply paths over a real loopback TCP connection.
//
// Input: a flags byte, a pattern of segment sizes, a list of library calls
// (each with its buffer size, code or text), and then the bytes the server
// answers, which the peer sends in segments cut after the pattern (see Peer).
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

#include "client/connection/connection_table.h"
#include "client/connection/library.h"
#include "client/include/dorv32.h"
#include "common/diagnostics.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
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
    OP_BAD_HANDLE,  // a call on a handle that is not open
    OP_COUNT
};

// ------------------------------------------------------------------ the peer

// The server's end of the connection, fed from the input. Every receive call
// of the library passes through the wrapper below (the link wraps plat_recv):
// when the library has read all it was sent, the peer sends the next segment
// first, or ends its output once the input is used up. So each receive sees
// the stream end at a segment boundary, and no call can wait for ever.
struct Peer {
    int fd = -1;        // the peer's end
    int client_fd = -1; // the library's end
    std::string stream;
    std::vector<size_t> pattern;
    size_t pos = 0;
    size_t segments = 0;
    size_t unread = 0; // bytes sent that the library has not received yet
    bool ended = false;
};

Peer peer;
unsigned long peer_receives = 0; // receive calls of the library on the peer's connection

void send_segment() {
    size_t n = peer.pattern[peer.segments++ % peer.pattern.size()];
    if (n > peer.stream.size() - peer.pos) n = peer.stream.size() - peer.pos;
    const char* bytes = peer.stream.data() + peer.pos;
    for (size_t left = n; left > 0;) {
        ssize_t sent = send(peer.fd, bytes, left, MSG_NOSIGNAL);
        if (sent <= 0) break;
        bytes += sent;
        left -= static_cast<size_t>(sent);
    }
    peer.pos += n;
    peer.unread += n;
}

} // namespace

extern "C" int __real__Z9plat_recviPci(int socket, char* buffer, int length);

// plat_recv(int, char*, int), wrapped at link time.
extern "C" int __wrap__Z9plat_recviPci(int socket, char* buffer, int length) {
    bool ours = peer.fd >= 0 && socket == peer.client_fd;
    if (ours && peer.unread == 0) {
        if (peer.pos < peer.stream.size()) {
            send_segment();
        } else if (!peer.ended) {
            shutdown(peer.fd, SHUT_WR);
            peer.ended = true;
        }
    }
    int received = __real__Z9plat_recviPci(socket, buffer, length);
    if (ours) ++peer_receives;
    if (ours && received > 0)
        peer.unread -= static_cast<size_t>(received) < peer.unread ? received : peer.unread;
    return received;
}

namespace {

// ------------------------------------------------------------------ set-up

int listener = -1;
bool trace = false; // DORV_FUZZ_TRACE set: each call's result and box on standard error
char service[16];

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
    signal(SIGPIPE, SIG_IGN);

    listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) fail_setup("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // Accepted connections inherit these. No delay: the next segment must not
    // wait for the acknowledgement of the last. Room for every request an
    // input can make, as the peer never reads them. A reset at close leaves no
    // TIME_WAIT behind, so millions of connections do not run out of ports.
    int one = 1;
    int room = 8 << 20;
    linger abort_on_close{1, 0};
    if (setsockopt(listener, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0 ||
        (setsockopt(listener, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) != 0 &&
         setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &room, sizeof room) != 0) ||
        setsockopt(listener, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close) != 0)
        fail_setup("setsockopt");
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        fail_setup("listen");
    snprintf(service, sizeof service, "%u", ntohs(address.sin_port));
}

// ------------------------------------------------------------------ checks

// The record's transfer state must stay within its block whatever the server
// sends; the sanitizer cannot see overruns inside the record itself.
void check_record(int handle) {
    for (int i = 0; i < connection_count; ++i) {
        const ConnectionRecord& r = connection_table[i];
        if (r.socket != handle) continue;
        bool ok = r.block_avail >= 0 && r.block_avail <= WNSK_BLOCK_SIZE - 4 && r.block_pos >= 0 &&
                  r.block_pos <= r.block_avail && (r.more == 0 || r.more == 1) &&
                  (r.transfer_kind == 0 || r.transfer_kind == ' ' || r.transfer_kind == 'S' ||
                   r.transfer_kind == 'U') &&
                  memchr(r.ini_file, 0, sizeof r.ini_file) != nullptr &&
                  memchr(r.ini_section, 0, sizeof r.ini_section) != nullptr;
        if (!ok) {
            fprintf(stderr,
                    "connection record out of bounds: block_avail=%d block_pos=%d more=%d "
                    "transfer_kind=%d\n",
                    r.block_avail, r.block_pos, r.more, r.transfer_kind);
            abort();
        }
    }
}

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "fuzz_client_replies: %s\n", what);
    abort();
}

const ConnectionRecord* record_of(int handle) {
    for (int i = 0; i < connection_count; ++i)
        if (connection_table[i].socket == handle) return &connection_table[i];
    return nullptr;
}

// A field call that returns 0 has taken something of the record: its read
// position moved or a further block came. Otherwise a caller's loop until -9
// never ends.
struct Progress {
    explicit Progress(int handle) {
        const ConnectionRecord* r = record_of(handle);
        pending = r != nullptr && r->transfer_kind == 'S';
        position = r != nullptr ? r->block_pos : 0;
        receives = peer_receives;
    }
    void check_moved_on(int handle, int result) const {
        const ConnectionRecord* r = record_of(handle);
        if (pending && result == 0 && r != nullptr && r->block_pos == position &&
            receives == peer_receives)
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

int run_call(int handle, int op, bool null_buffer, InputReader& in) {
    switch (op) {
    case OP_VERSION: {
        CallerBuffer text(1019, null_buffer); // the room the call documents
        return hl_dorv_version(handle, text.bytes);
    }
    case OP_EXEC: {
        std::string t = in.bytes(in.u16() % 2100);
        if (null_buffer) return hl_dorv_exec(handle, nullptr);
        CallerText text(t);
        int result = hl_dorv_exec(handle, text.bytes);
        // The caller's text is its own: a VBA string or a literal.
        if (strcmp(text.bytes, t.c_str()) != 0) finding("hl_dorv_exec changed the caller's text");
        return result;
    }
    case OP_EXPLAIN: {
        int code = explain_codes[in.byte() % (sizeof explain_codes / sizeof explain_codes[0])];
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        return hl_dorv_explain(handle, buffer.bytes, size, code);
    }
    case OP_HDR_LN: {
        int code = static_cast<int8_t>(in.byte());
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        return hl_dorv_hdr_ln(handle, code, buffer.bytes, size);
    }
    case OP_NEXT_ROW: {
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        return hl_dorv_next_row(handle, buffer.bytes, size);
    }
    case OP_HDR_VAL:
        return hl_dorv_hdr_val(handle);
    case OP_NEXT_VAL:
        return hl_dorv_next_val(handle);
    case OP_TFIELD: {
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        Progress before(handle);
        int result = hl_dorv_tfield(handle, buffer.bytes, size);
        before.check_moved_on(handle, result);
        return result;
    }
    case OP_FIELD: {
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        Progress before(handle);
        int result = hl_dorv_field(handle, buffer.bytes, size);
        before.check_moved_on(handle, result);
        return result;
    }
    case OP_ECHO: {
        std::string t = in.bytes(in.u16() % 2100);
        if (null_buffer) return hl_echo(handle, nullptr);
        CallerText text(t);
        return hl_echo(handle, text.bytes);
    }
    case OP_UXCMD: {
        std::string t = in.bytes(in.u16() % 2100);
        if (null_buffer) return hl_uxcmd(handle, nullptr);
        CallerText text(t);
        return hl_uxcmd(handle, text.bytes);
    }
    case OP_FETCH_BLK: {
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        return hl_fetch_blk(handle, buffer.bytes, size);
    }
    case OP_FETCH_LN: {
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        return hl_fetch_ln(handle, buffer.bytes, size);
    }
    case OP_READ_RECORD: {
        // As a caller reads a record: until -9 or a failure, bounded here because
        // a call that never advances must not hang the fuzzer.
        int size = buffer_size(in.u16());
        int result = (in.byte() & 1) != 0 ? hl_dorv_next_val(handle) : hl_dorv_hdr_val(handle);
        CallerBuffer buffer(size, null_buffer);
        for (int i = 0; i < 64 && result == 0; ++i) {
            Progress before(handle);
            result = hl_dorv_tfield(handle, buffer.bytes, size);
            before.check_moved_on(handle, result);
            check_record(handle);
        }
        return result;
    }
    case OP_READ_OUTPUT: {
        int size = buffer_size(in.u16());
        CallerBuffer buffer(size, null_buffer);
        int result = 1;
        for (int i = 0; i < 64 && result > 0; ++i) {
            result = hl_fetch_ln(handle, buffer.bytes, size);
            check_record(handle);
        }
        return result;
    }
    case OP_BAD_HANDLE: {
        char text[1019];
        return hl_dorv_version(handle + 1000, text) == 100 ? 0 : -2;
    }
    default:
        return 0;
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

    Peer next;
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

    char transport[] = "WINSOCK";
    int handle = hl_connect(transport, "127.0.0.1", service, warnings);
    if (handle < 0) {
        fprintf(stderr, "fuzz_client_replies: hl_connect failed\n");
        abort();
    }
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) fail_setup("accept");

    next.fd = fd;
    next.client_fd = handle;
    peer = std::move(next);

    for (const Call& call : calls) {
        for (int r = 0; r < call.repeats; ++r) {
            InputReader arguments(reinterpret_cast<const uint8_t*>(call.arguments.data()),
                                  call.arguments.size());
            int result = run_call(handle, call.op, call.null_buffer, arguments);
            if (trace) fprintf(stderr, "call %d -> %d\n", call.op, result);
            check_result(call.op, result);
            check_record(handle);
        }
    }

    close(fd);
    peer.fd = -1;
    hl_disconnect(handle);
    return 0;
}
