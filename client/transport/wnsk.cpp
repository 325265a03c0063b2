// WinSock stream transport.
#include "client/transport/wnsk.h"

#include "common/diagnostics.h"

#include <chrono>
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>

char wnsk_error_buffer[WNSK_ERROR_TEXT_SIZE];

namespace {

PlatInstance error_text_module = nullptr;

enum : int {
    WINSOCK_VERSION_1_1 = 0x0101, // the version asked of the stack: 1.1
    FIRST_SOCKET_ERROR = 10000,   // WinSock error numbers; 0 is looked up as this one, "No Error"
};

unsigned short swap16(unsigned short v) {
    return static_cast<unsigned short>((v >> 8) | (v << 8));
}

// Network byte order of a 16-bit value on this (little-endian) machine.
unsigned short to_network16(unsigned v) {
    unsigned short h = static_cast<unsigned short>(v);
    return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? swap16(h) : h;
}

// Reports a failed socket call: the lines of `format`, then "<label> <number>:"
// and the text of WinSock error `number`.
void socket_error_box(int number, const char* label, const char* format, ...) DORV_PRINTF(3, 4);
void socket_error_box(int number, const char* label, const char* format, ...) {
    char head[WNSK_BLOCK_SIZE];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(head, sizeof head, format, arguments);
    va_end(arguments);
    wnsk_error_text(number, wnsk_error_buffer, WNSK_ERROR_TEXT_SIZE);
    error_box("%s\n %s %d: %s", head, label, number, wnsk_error_buffer);
}

// Closes a socket whose connect failed; reports a failing close too.
void close_failed_socket(int s) {
    if (plat_closesocket(s) != 0)
        socket_error_box(plat_wsa_last_error(), "errno", "Unable to close socket.\n nSd = %d", s);
}

// A receive that may be bounded in time: every receive of one block waits at
// most until the block's deadline.
struct ReadClock {
    int socket;
    int seconds; // 0: no limit
    std::chrono::steady_clock::time_point deadline;
};

ReadClock start_clock(int socket, int seconds) {
    return {socket, seconds, std::chrono::steady_clock::now() + std::chrono::seconds(seconds)};
}

enum : int { RECEIVE_FAILED = -1, RECEIVE_TIMED_OUT = -2 };

// Bytes received (0: the peer closed), or a reported failure or time-out.
int receive(const ReadClock& clock, char* buffer, int length) {
    if (clock.seconds > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        clock.deadline - std::chrono::steady_clock::now())
                        .count();
        int ready = plat_wait_readable(clock.socket, left > 0 ? static_cast<int>(left) : 0);
        if (ready == 0) {
            error_box("Timed out waiting for the server:\n handle = %d, %d seconds", clock.socket,
                      clock.seconds);
            return RECEIVE_TIMED_OUT;
        }
        if (ready < 0) {
            socket_error_box(plat_wsa_last_error(), "errno", "Receive failed.\n nSd = %d",
                             clock.socket);
            return RECEIVE_FAILED;
        }
    }
    int n = plat_recv(clock.socket, buffer, length);
    if (n < 0) {
        socket_error_box(plat_wsa_last_error(), "errno", "Receive failed.\n nSd = %d",
                         clock.socket);
        return RECEIVE_FAILED;
    }
    return n;
}

// Reads and drops the bytes of a block beyond what the buffer holds, so that
// the next block starts where it should. False when they did not all come.
bool drop_excess(int socket, int seconds, unsigned excess) {
    ReadClock clock = start_clock(socket, seconds);
    char scratch[512];
    while (excess > 0) {
        int want = excess < sizeof scratch ? static_cast<int>(excess) : int{sizeof scratch};
        int n = receive(clock, scratch, want);
        if (n <= 0) return false;
        excess -= static_cast<unsigned>(n);
    }
    return true;
}

} // namespace

int wnsk_error_text(int number, char* buffer, int size) {
    if (size < 1) return 0;
    buffer[0] = '\0';
    if (number == 0) number = FIRST_SOCKET_ERROR;
    if (number < FIRST_SOCKET_ERROR) return 0;
    return plat_load_string(error_text_module, static_cast<unsigned>(number), buffer, size);
}

void wnsk_set_error_texts(PlatInstance module) {
    error_text_module = module;
}

int wnsk_setup() {
    PlatWsaInfo info;
    int rc = plat_wsa_startup(WINSOCK_VERSION_1_1, &info);
    if (rc != 0) {
        // A failed start-up returns its error itself; the stack's "last error"
        // is not available before a successful start.
        socket_error_box(rc, "error", "Unable to setup network software.");
        return -1;
    }
    debug_print("\nwnsk_setup: WSAStartup succeeded.");
    debug_print("\nwnsk_setup: Version      : %d.%d", info.version & 0xFF, info.version >> 8);
    debug_print("\nwnsk_setup:  High version : %d.%d", info.high_version & 0xFF,
                info.high_version >> 8);
    debug_print("\nwnsk_setup:  Description  : %s", info.description);
    debug_print("\nwnsk_setup:  System status: %s", info.system_status);
    debug_print("\nwnsk_setup:  Max sockets  : %d\n", info.max_sockets);
    return 0;
}

int wnsk_cleanup() {
    plat_wsa_cleanup();
    debug_print("\nwnsk_cleanup: call WSACleanup");
    return 0;
}

int wnsk_connect(const char* host, const char* service) {
    return wnsk_connect_within(host, service, 0);
}

int wnsk_connect_within(const char* host, const char* service, int timeout_seconds) {
    int s = plat_socket_stream();
    if (s == -1) {
        socket_error_box(plat_wsa_last_error(), "err", "Unable to create communication socket.");
        return -1;
    }

    PlatSockaddrIn address = {};
    address.family = PLAT_AF_INET;
    if (isdigit(static_cast<unsigned char>(service[0]))) {
        unsigned value = 0;
        for (const char* p = service; isdigit(static_cast<unsigned char>(*p)); ++p)
            value = value * 10u + static_cast<unsigned>(*p - '0');
        address.port = to_network16(value); // its low 16 bits
        if (address.port == 0) {
            error_box("%s: Invalid port number.", service);
            close_failed_socket(s);
            return -1;
        }
    } else if (plat_getservbyname(service, "tcp", &address.port) != 0) {
        error_box("Service %s (tcp) not found in your SERVICES file.\n", service);
        close_failed_socket(s);
        return -1;
    }

    if (isdigit(static_cast<unsigned char>(host[0]))) {
        address.address = plat_inet_addr(host);
        if (address.address == PLAT_INADDR_NONE) {
            error_box("%s: Invalid host address.", host);
            close_failed_socket(s);
            return -1;
        }
    } else if (plat_gethostbyname(host, &address.address) != 0) {
        error_box("Host %s is not found in your HOSTS file", host);
        close_failed_socket(s);
        return -1;
    }

    if (plat_connect_within(s, &address, timeout_seconds * 1000) != 0) {
        socket_error_box(plat_wsa_last_error(), "errno",
                         "Unable to connect host.\n Host = %s, Service = %s", host, service);
        close_failed_socket(s);
        return -1;
    }

    PlatSockaddrIn local = {};
    if (plat_getsockname(s, &local) != 0) {
        socket_error_box(plat_wsa_last_error(), "errno", "Unable to read socket address.");
        close_failed_socket(s);
        return -1;
    }
    debug_print("\nwnsk_connect: Connected to %s on port %u", host,
                static_cast<unsigned>(to_network16(local.port)));
    return s;
}

void wnsk_no_delay(int socket) {
    if (plat_tcp_nodelay(socket) != 0)
        debug_print("\nwnsk_no_delay: TCP_NODELAY refused (%d)", plat_wsa_last_error());
}

int wnsk_disconnect(int socket) {
    if (socket == -1) return 0;
    if (plat_closesocket(socket) != 0) {
        socket_error_box(plat_wsa_last_error(), "errno", "Unable to close socket.\n nSd = %d",
                         socket);
        return -1;
    }
    debug_print("\nwnsk_disconnect successfull");
    return 0;
}

int wnsk_read(int socket, char* block) {
    return wnsk_read_within(socket, block, 0, nullptr);
}

int wnsk_read_within(int socket, char* block, int timeout_seconds, bool* stream_lost) {
    bool lost_here = false;
    bool& lost = stream_lost != nullptr ? *stream_lost : lost_here;
    lost = true; // until the block has been read to its declared end
    set_block_length(block, 0);
    ReadClock clock = start_clock(socket, timeout_seconds);

    // The length may come in pieces like the rest of the block.
    int received = 0;
    while (received < 2) {
        int n = receive(clock, block + received, 2 - received);
        if (n < 0) return -1;
        if (n == 0) {
            error_box("Inconsistent message:\n read = %d, size = %d", received, 0);
            return -1;
        }
        received += n;
    }
    unsigned short wire;
    __builtin_memcpy(&wire, block, 2);
    unsigned length = to_network16(wire);
    set_block_length(block, length);

    int wanted =
        static_cast<int>(length < unsigned{WNSK_BLOCK_SIZE} ? length : unsigned{WNSK_BLOCK_SIZE}) -
        2;
    bool closed = false;
    while (wanted > 0) {
        int n = receive(clock, block + received, wanted);
        if (n < 0) return -1;
        if (n == 0) {
            closed = true;
            break;
        }
        received += n;
        wanted -= n;
    }
    if (received >= 4 && received == static_cast<int>(length)) {
        lost = false;
        debug_print("\nwnsk_read successfull");
        return 0;
    }
    error_box("Inconsistent message:\n read = %d, size = %d", received, static_cast<int>(length));
    // A length below 2 cannot even cover itself: where the next block starts is unknown.
    if (closed || length < 2) return -1;
    if (length > unsigned{WNSK_BLOCK_SIZE} &&
        !drop_excess(socket, timeout_seconds, length - unsigned{WNSK_BLOCK_SIZE}))
        return -1;
    lost = false;
    return -1;
}

int wnsk_write(int socket, char* block) {
    unsigned length = block_length(block);
    unsigned short wire = to_network16(length);
    __builtin_memcpy(block, &wire, 2);
    int sent = 0;
    int n = 0;
    while (sent < static_cast<int>(length)) {
        n = plat_send(socket, block + sent, static_cast<int>(length) - sent);
        if (n <= 0) break;
        sent += n;
    }
    set_block_length(block, length);
    if (n < 0) {
        socket_error_box(plat_wsa_last_error(), "errno", "Send failed.\n nSd = %d", socket);
        return -1;
    }
    if (sent < static_cast<int>(length)) {
        error_box("partial write:\n write = %d\n size = %d", sent, static_cast<int>(length));
        return -1;
    }
    debug_print("\nwnsk_write successfull");
    return 0;
}
