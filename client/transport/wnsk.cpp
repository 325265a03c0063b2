// WinSock stream transport: bytes only, failures recorded.
#include "client/transport/wnsk.h"

#include "common/trace.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>

namespace {

PlatInstance error_text_module = nullptr;

enum : int {
    WINSOCK_VERSION_1_1 = 0x0101, // the version asked of the stack: 1.1
    FIRST_SOCKET_ERROR = 10000,   // WinSock error numbers; 0 is looked up as this one, "No Error"
};

// Network byte order of a 16-bit value.
unsigned short to_network16(unsigned v) {
    char bytes[2];
    length_to_wire(bytes, v);
    unsigned short n;
    __builtin_memcpy(&n, bytes, 2);
    return n;
}

unsigned from_network16(unsigned short v) {
    char bytes[2];
    __builtin_memcpy(bytes, &v, 2);
    return length_from_wire(bytes);
}

// Records a failed socket call: the lines of `format`, then "<label> <number>:"
// and the text of WinSock error `number`.
void socket_error(Report& report, int number, const char* label, const char* format, ...)
    DORV_PRINTF(4, 5);
void socket_error(Report& report, int number, const char* label, const char* format, ...) {
    char head[WNSK_BLOCK_SIZE];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(head, sizeof head, format, arguments);
    va_end(arguments);
    char text[WNSK_ERROR_TEXT_SIZE];
    wnsk_error_text(number, text, WNSK_ERROR_TEXT_SIZE);
    report_error(&report, "%s\n %s %d: %s", head, label, number, text);
}

// Closes a socket whose connect failed; records a failing close too.
void close_failed_socket(int s, Report& report) {
    if (plat_closesocket(s) != 0)
        socket_error(report, plat_wsa_last_error(), "errno", "Unable to close socket.\n nSd = %d",
                     s);
}

// The port of a service text, in network order; false when there is none (recorded).
bool service_port(const char* service, unsigned short* port, Report& report) {
    if (isdigit(static_cast<unsigned char>(service[0]))) {
        unsigned value = 0;
        for (const char* p = service; isdigit(static_cast<unsigned char>(*p)); ++p)
            value = value * 10u + static_cast<unsigned>(*p - '0');
        *port = to_network16(value); // its low 16 bits
        if (*port != 0) return true;
        report_error(&report, "%s: Invalid port number.", service);
        return false;
    }
    if (plat_getservbyname(service, "tcp", port) == 0) return true;
    report_error(&report, "Service %s (tcp) not found in your SERVICES file.\n", service);
    return false;
}

// The address of a host text in network order; false when there is none (recorded).
bool host_address(const char* host, uint32_t* address, Report& report) {
    if (isdigit(static_cast<unsigned char>(host[0]))) {
        *address = plat_inet_addr(host);
        if (*address != PLAT_INADDR_NONE) return true;
        report_error(&report, "%s: Invalid host address.", host);
        return false;
    }
    if (plat_gethostbyname(host, address) == 0) return true;
    report_error(&report, "Host %s is not found in your HOSTS file", host);
    return false;
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

int wnsk_setup(Report& report) {
    PlatWsaInfo info;
    int rc = plat_wsa_startup(WINSOCK_VERSION_1_1, &info);
    if (rc != 0) {
        // A failed start-up returns its error itself; the stack's "last error"
        // is not available before a successful start.
        socket_error(report, rc, "error", "Unable to setup network software.");
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

int wnsk_connect(const char* host, const char* service, int timeout_seconds, Report& report) {
    int s = plat_socket_stream();
    if (s == -1) {
        socket_error(report, plat_wsa_last_error(), "err",
                     "Unable to create communication socket.");
        return -1;
    }
    // The service is resolved before the host: a bad service is reported even
    // when the host is bad too.
    PlatSockaddrIn address = {};
    address.family = PLAT_AF_INET;
    if (!service_port(service, &address.port, report) ||
        !host_address(host, &address.address, report)) {
        close_failed_socket(s, report);
        return -1;
    }
    if (plat_connect_within(s, &address, timeout_seconds * 1000) != 0) {
        socket_error(report, plat_wsa_last_error(), "errno",
                     "Unable to connect host.\n Host = %s, Service = %s", host, service);
        close_failed_socket(s, report);
        return -1;
    }
    PlatSockaddrIn local = {};
    if (plat_getsockname(s, &local) != 0) {
        socket_error(report, plat_wsa_last_error(), "errno", "Unable to read socket address.");
        close_failed_socket(s, report);
        return -1;
    }
    debug_print("\nwnsk_connect: Connected to %s on port %u", host, from_network16(local.port));
    return s;
}

void wnsk_no_delay(int socket) {
    if (plat_tcp_nodelay(socket) != 0)
        debug_print("\nwnsk_no_delay: TCP_NODELAY refused (%d)", plat_wsa_last_error());
}

int wnsk_disconnect(int socket, Report& report) {
    if (socket == -1) return 0;
    if (plat_closesocket(socket) != 0) {
        socket_error(report, plat_wsa_last_error(), "errno", "Unable to close socket.\n nSd = %d",
                     socket);
        return -1;
    }
    debug_print("\nwnsk_disconnect successfull");
    return 0;
}

ReceiveClock start_receive_clock(int seconds) {
    return {seconds, std::chrono::steady_clock::now() + std::chrono::seconds(seconds)};
}

int wnsk_receive(int socket, char* buffer, int length, const ReceiveClock& clock, Report& report) {
    if (clock.seconds > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        clock.deadline - std::chrono::steady_clock::now())
                        .count();
        int ready = plat_wait_readable(socket, left > 0 ? static_cast<int>(left) : 0);
        if (ready == 0) {
            report_error(&report, "Timed out waiting for the server:\n handle = %d, %d seconds",
                         socket, clock.seconds);
            return RECEIVE_TIMED_OUT;
        }
        if (ready < 0) {
            socket_error(report, plat_wsa_last_error(), "errno", "Receive failed.\n nSd = %d",
                         socket);
            return RECEIVE_FAILED;
        }
    }
    int n = plat_recv(socket, buffer, length);
    if (n < 0) {
        socket_error(report, plat_wsa_last_error(), "errno", "Receive failed.\n nSd = %d", socket);
        return RECEIVE_FAILED;
    }
    return n;
}

int wnsk_send(int socket, const char* bytes, int length, Report& report) {
    int sent = 0;
    while (sent < length) {
        int n = plat_send(socket, bytes + sent, length - sent);
        if (n < 0) {
            socket_error(report, plat_wsa_last_error(), "errno", "Send failed.\n nSd = %d", socket);
            return -1;
        }
        if (n == 0) break;
        sent += n;
    }
    return sent;
}
