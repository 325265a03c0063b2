// BSD sockets with the WinSock 1.1 behaviour the transport relies on: error
// numbers are WinSock's, and nothing works before a successful start-up.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace {

thread_local int last_error = 0;
// Threads start and clean up the stack each for their own connections.
std::atomic<int> startup_count{0};

// errno values and the WinSock numbers that stand for them (WSAEINTR ...).
struct ErrnoNumber {
    int errno_value;
    int winsock;
};
constexpr ErrnoNumber kWinsockNumbers[] = {
    {EINTR, 10004},           // WSAEINTR
    {EBADF, 10009},           // WSAEBADF
    {EACCES, 10013},          // WSAEACCES
    {EFAULT, 10014},          // WSAEFAULT
    {EINVAL, 10022},          // WSAEINVAL
    {EMFILE, 10024},          // WSAEMFILE
    {ENFILE, 10024},          // WSAEMFILE
    {EWOULDBLOCK, 10035},     // WSAEWOULDBLOCK
    {EINPROGRESS, 10036},     // WSAEINPROGRESS
    {EALREADY, 10037},        // WSAEALREADY
    {ENOTSOCK, 10038},        // WSAENOTSOCK
    {EDESTADDRREQ, 10039},    // WSAEDESTADDRREQ
    {EMSGSIZE, 10040},        // WSAEMSGSIZE
    {EPROTOTYPE, 10041},      // WSAEPROTOTYPE
    {ENOPROTOOPT, 10042},     // WSAENOPROTOOPT
    {EPROTONOSUPPORT, 10043}, // WSAEPROTONOSUPPORT
    {ESOCKTNOSUPPORT, 10044}, // WSAESOCKTNOSUPPORT
    {EOPNOTSUPP, 10045},      // WSAEOPNOTSUPP
    {EPFNOSUPPORT, 10046},    // WSAEPFNOSUPPORT
    {EAFNOSUPPORT, 10047},    // WSAEAFNOSUPPORT
    {EADDRINUSE, 10048},      // WSAEADDRINUSE
    {EADDRNOTAVAIL, 10049},   // WSAEADDRNOTAVAIL
    {ENETDOWN, 10050},        // WSAENETDOWN
    {ENETUNREACH, 10051},     // WSAENETUNREACH
    {ENETRESET, 10052},       // WSAENETRESET
    {ECONNABORTED, 10053},    // WSAECONNABORTED
    {ECONNRESET, 10054},      // WSAECONNRESET
    {ENOBUFS, 10055},         // WSAENOBUFS
    {EISCONN, 10056},         // WSAEISCONN
    {ENOTCONN, 10057},        // WSAENOTCONN
    {ESHUTDOWN, 10058},       // WSAESHUTDOWN
    {EPIPE, 10058},           // WSAESHUTDOWN
    {ETOOMANYREFS, 10059},    // WSAETOOMANYREFS
    {ETIMEDOUT, 10060},       // WSAETIMEDOUT
    {ECONNREFUSED, 10061},    // WSAECONNREFUSED
    {ELOOP, 10062},           // WSAELOOP
    {ENAMETOOLONG, 10063},    // WSAENAMETOOLONG
    {EHOSTDOWN, 10064},       // WSAEHOSTDOWN
    {EHOSTUNREACH, 10065},    // WSAEHOSTUNREACH
    {ENOTEMPTY, 10066},       // WSAENOTEMPTY
    {EUSERS, 10068},          // WSAEUSERS
    {EDQUOT, 10069},          // WSAEDQUOT
    {ESTALE, 10070},          // WSAESTALE
    {EREMOTE, 10071},         // WSAEREMOTE
};

// Any other errno keeps its value above WSABASEERR, so that it still shows.
int winsock_number(int e) {
    if (e == 0) return 0;
    for (const ErrnoNumber& entry : kWinsockNumbers)
        if (entry.errno_value == e) return entry.winsock;
    return 10000 + e;
}

bool started() {
    if (startup_count > 0) return true;
    last_error = 10093; // WSANOTINITIALISED
    return false;
}

int fail() {
    last_error = winsock_number(errno);
    return -1;
}

} // namespace

int plat_wsa_startup(unsigned short version, PlatWsaInfo* info) {
    if ((version & 0xFF) < 1) return 10092; // WSAVERNOTSUPPORTED
    ++startup_count;
    info->version = 0x0101;
    info->high_version = 0x0101;
    snprintf(info->description, sizeof info->description, "POSIX sockets (WinSock 1.1 semantics)");
    snprintf(info->system_status, sizeof info->system_status, "Running");
    info->max_sockets = 1024;
    return 0;
}

int plat_wsa_cleanup() {
    int count = startup_count.load();
    do {
        if (count == 0) {
            last_error = 10093;
            return -1;
        }
    } while (!startup_count.compare_exchange_weak(count, count - 1));
    return 0;
}

int plat_wsa_last_error() {
    return last_error;
}

int plat_socket_stream() {
    if (!started()) return -1;
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return s < 0 ? fail() : s;
}

int plat_closesocket(int socket) {
    if (!started()) return -1;
    return close(socket) != 0 ? fail() : 0;
}

int plat_connect(int socket, const PlatSockaddrIn* address) {
    if (!started()) return -1;
    sockaddr_in in;
    static_assert(sizeof in == sizeof *address);
    memset(&in, 0, sizeof in);
    in.sin_family = address->family;
    in.sin_port = address->port;
    in.sin_addr.s_addr = address->address;
    int rc;
    do
        rc = connect(socket, reinterpret_cast<sockaddr*>(&in), sizeof in);
    while (rc != 0 && errno == EINTR);
    return rc != 0 ? fail() : 0;
}

int plat_connect_within(int socket, const PlatSockaddrIn* address, int timeout_ms) {
    if (timeout_ms <= 0) return plat_connect(socket, address);
    if (!started()) return -1;
    sockaddr_in in;
    memset(&in, 0, sizeof in);
    in.sin_family = address->family;
    in.sin_port = address->port;
    in.sin_addr.s_addr = address->address;
    int flags = fcntl(socket, F_GETFL);
    if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) return fail();
    int rc = connect(socket, reinterpret_cast<sockaddr*>(&in), sizeof in);
    int error = rc == 0 ? 0 : errno;
    if (rc != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        pollfd p = {socket, POLLOUT, 0};
        int ready;
        do
            ready = poll(&p, 1, timeout_ms);
        while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            error = ETIMEDOUT;
        } else if (ready < 0) {
            error = errno;
        } else {
            socklen_t length = sizeof error;
            if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        }
    }
    fcntl(socket, F_SETFL, flags);
    if (error == 0) return 0;
    last_error = winsock_number(error);
    return -1;
}

int plat_wait_readable(int socket, int timeout_ms) {
    if (!started()) return -1;
    pollfd p = {socket, POLLIN, 0};
    int ready;
    do
        ready = poll(&p, 1, timeout_ms > 0 ? timeout_ms : 0);
    while (ready < 0 && errno == EINTR);
    if (ready < 0) return fail();
    return ready > 0 ? 1 : 0;
}

int plat_getsockname(int socket, PlatSockaddrIn* address) {
    if (!started()) return -1;
    sockaddr_in in;
    socklen_t length = sizeof in;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&in), &length) != 0) return fail();
    memset(address, 0, sizeof *address);
    address->family = in.sin_family;
    address->port = in.sin_port;
    address->address = in.sin_addr.s_addr;
    return 0;
}

int plat_recv(int socket, char* buffer, int length) {
    if (!started()) return -1;
    ssize_t n;
    do
        n = recv(socket, buffer, static_cast<size_t>(length), 0);
    while (n < 0 && errno == EINTR);
    return n < 0 ? fail() : static_cast<int>(n);
}

int plat_send(int socket, const char* buffer, int length) {
    if (!started()) return -1;
    ssize_t n;
    do
        n = send(socket, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n < 0 ? fail() : static_cast<int>(n);
}

int plat_tcp_nodelay(int socket) {
    int on = 1;
    return setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 0 : fail();
}

uint32_t plat_inet_addr(const char* text) {
    return inet_addr(text);
}

int plat_gethostbyname(const char* name, uint32_t* address) {
    if (!started()) return -1;
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    int rc = getaddrinfo(name, nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        last_error = rc == EAI_AGAIN    ? 11002
                     : rc == EAI_FAIL   ? 11003
                     : rc == EAI_NODATA ? 11004
                                        : 11001;
        return -1;
    }
    *address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(result);
    return 0;
}

int plat_getservbyname(const char* name, const char* protocol, unsigned short* port) {
    if (!started()) return -1;
    servent entry;
    servent* found = nullptr;
    char buffer[1024];
    if (getservbyname_r(name, protocol, &entry, buffer, sizeof buffer, &found) != 0 ||
        found == nullptr) {
        last_error = 11001;
        return -1;
    }
    *port = static_cast<unsigned short>(found->s_port);
    return 0;
}
