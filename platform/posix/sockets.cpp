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

namespace {

thread_local int last_error = 0;
int startup_count = 0;

int winsock_number(int e) {
    switch (e) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
    case EPIPE:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return 10000 + e;
    }
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
    if (startup_count == 0) {
        last_error = 10093;
        return -1;
    }
    --startup_count;
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
