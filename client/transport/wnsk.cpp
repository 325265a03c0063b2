// WinSock stream transport.
#include "client/transport/wnsk.h"

#include "common/diagnostics.h"

#include <ctype.h>

PlatInstance library_instance = nullptr;
char wnsk_error_buffer[WNSK_ERROR_TEXT_SIZE];

namespace {

unsigned short swap16(unsigned short v) {
    return static_cast<unsigned short>((v >> 8) | (v << 8));
}

// Network byte order of a 16-bit value on this (little-endian) machine.
unsigned short to_network16(unsigned v) {
    unsigned short h = static_cast<unsigned short>(v);
    return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? swap16(h) : h;
}

const char* last_error_text(int number) {
    wnsk_error_text(number, wnsk_error_buffer, WNSK_ERROR_TEXT_SIZE);
    return wnsk_error_buffer;
}

// Closes a socket whose connect failed; reports a failing close too.
void close_failed_socket(int s) {
    if (plat_closesocket(s) != 0) {
        int e = plat_wsa_last_error();
        error_box("Unable to close socket.\n nSd = %d\n errno %d: %s", s, e, last_error_text(e));
    }
}

} // namespace

int wnsk_error_text(int number, char* buffer, int size) {
    if (size < 1) return 0;
    buffer[0] = '\0';
    if (number == 0) number = 10000;
    if (number < 10000) return 0;
    return plat_load_string(library_instance, static_cast<unsigned>(number), buffer, size);
}

int wnsk_setup() {
    PlatWsaInfo info;
    int rc = plat_wsa_startup(0x0101, &info);
    if (rc != 0) {
        // A failed start-up returns its error itself; the stack's "last error"
        // is not available before a successful start.
        int e = rc;
        error_box("Unable to setup network software.\n error %d: %s", e, last_error_text(e));
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
    int s = plat_socket_stream();
    if (s == -1) {
        int e = plat_wsa_last_error();
        error_box("Unable to create communication socket.\n err %d: %s", e, last_error_text(e));
        return -1;
    }

    PlatSockaddrIn address = {};
    address.family = PLAT_AF_INET;
    if (isdigit(static_cast<unsigned char>(service[0]))) {
        unsigned value = 0;
        for (const char* p = service; isdigit(static_cast<unsigned char>(*p)); ++p)
            value = value * 10u + static_cast<unsigned>(*p - '0');
        address.port = to_network16(value & 0xFFFFu);
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

    if (plat_connect(s, &address) != 0) {
        int e = plat_wsa_last_error();
        error_box("Unable to connect host.\n Host = %s, Service = %s\n errno %d: %s", host, service,
                  e, last_error_text(e));
        close_failed_socket(s);
        return -1;
    }

    PlatSockaddrIn local = {};
    if (plat_getsockname(s, &local) != 0) {
        int e = plat_wsa_last_error();
        error_box("Unable to read socket address.\n errno %d: %s", e, last_error_text(e));
        close_failed_socket(s);
        return -1;
    }
    debug_print("\nwnsk_connect: Connected to %s on port %u", host,
                static_cast<unsigned>(to_network16(local.port)));
    return s;
}

int wnsk_disconnect(int socket) {
    if (socket == -1) return 0;
    if (plat_closesocket(socket) != 0) {
        int e = plat_wsa_last_error();
        error_box("Unable to close socket.\n nSd = %d\n errno %d: %s", socket, e,
                  last_error_text(e));
        return -1;
    }
    debug_print("\nwnsk_disconnect successfull");
    return 0;
}

int wnsk_read(int socket, char* block) {
    set_block_length(block, 0);
    int n = plat_recv(socket, block, 2);
    if (n < 0) {
        int e = plat_wsa_last_error();
        error_box("Receive failed.\n nSd = %d\n errno %d: %s", socket, e, last_error_text(e));
        return -1;
    }
    if (n < 2) {
        error_box("Inconsistent message:\n read = %d, size = %d", 0, block_length(block));
        return -1;
    }
    unsigned short wire;
    __builtin_memcpy(&wire, block, 2);
    unsigned length = to_network16(wire);
    set_block_length(block, length);

    int wanted =
        static_cast<int>(length < unsigned{WNSK_BLOCK_SIZE} ? length : unsigned{WNSK_BLOCK_SIZE}) -
        2;
    int received = 2;
    while (wanted > 0) {
        n = plat_recv(socket, block + received, wanted);
        if (n < 0) {
            int e = plat_wsa_last_error();
            error_box("Receive failed.\n nSd = %d\n errno %d: %s", socket, e, last_error_text(e));
            return -1;
        }
        if (n == 0) break;
        received += n;
        wanted -= n;
    }
    if (received >= 4 && received == static_cast<int>(length)) {
        debug_print("\nwnsk_read successfull");
        return 0;
    }
    error_box("Inconsistent message:\n read = %d, size = %d", received, static_cast<int>(length));
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
        int e = plat_wsa_last_error();
        error_box("Send failed.\n nSd = %d\n errno %d: %s", socket, e, last_error_text(e));
        return -1;
    }
    if (sent < static_cast<int>(length)) {
        error_box("partial write:\n write = %d\n size = %d", sent, static_cast<int>(length));
        return -1;
    }
    debug_print("\nwnsk_write successfull");
    return 0;
}
