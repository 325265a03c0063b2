// WinSock 1.1 (WSOCK32): the library's network calls.
#include "platform/platform.h"

#include <string.h>
#include <winsock.h>

int plat_wsa_startup(unsigned short version, PlatWsaInfo* info) {
    WSADATA data;
    int rc = WSAStartup(version, &data);
    if (rc != 0) return rc;
    info->version = data.wVersion;
    info->high_version = data.wHighVersion;
    // WSADATA's text fields are fixed arrays; copy them bounded.
    strncpy(info->description, data.szDescription, sizeof info->description - 1);
    info->description[sizeof info->description - 1] = '\0';
    strncpy(info->system_status, data.szSystemStatus, sizeof info->system_status - 1);
    info->system_status[sizeof info->system_status - 1] = '\0';
    info->max_sockets = data.iMaxSockets;
    return 0;
}

int plat_wsa_cleanup() {
    return WSACleanup();
}

int plat_wsa_last_error() {
    return WSAGetLastError();
}

int plat_socket_stream() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

int plat_closesocket(int socket) {
    return closesocket(static_cast<SOCKET>(socket)) == SOCKET_ERROR ? -1 : 0;
}

int plat_connect(int socket, const PlatSockaddrIn* address) {
    static_assert(sizeof(PlatSockaddrIn) == sizeof(sockaddr_in));
    return connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(address),
                   sizeof(sockaddr_in)) == SOCKET_ERROR
               ? -1
               : 0;
}

int plat_connect_within(int socket, const PlatSockaddrIn* address, int timeout_ms) {
    if (timeout_ms <= 0) return plat_connect(socket, address);
    SOCKET s = static_cast<SOCKET>(socket);
    // Non-blocking for the connect only, then select() bounds the wait (WinSock 1.1).
    u_long on = 1;
    if (ioctlsocket(s, FIONBIO, &on) == SOCKET_ERROR) return -1;
    int error = 0;
    if (connect(s, reinterpret_cast<const sockaddr*>(address), sizeof(sockaddr_in)) ==
        SOCKET_ERROR) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
            int ready = select(0, nullptr, &writable, &failed, &tv);
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready == SOCKET_ERROR) {
                error = WSAGetLastError();
            } else if (FD_ISSET(s, &failed)) {
                int length = sizeof error;
                if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) ==
                        SOCKET_ERROR ||
                    error == 0)
                    error = WSAECONNREFUSED;
            } else {
                error = 0;
            }
        }
    }
    u_long off = 0;
    ioctlsocket(s, FIONBIO, &off);
    if (error == 0) return 0;
    WSASetLastError(error);
    return -1;
}

int plat_wait_readable(int socket, int timeout_ms) {
    SOCKET s = static_cast<SOCKET>(socket);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    if (timeout_ms < 0) timeout_ms = 0;
    timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int ready = select(0, &readable, nullptr, nullptr, &tv);
    if (ready == SOCKET_ERROR) return -1;
    return ready > 0 ? 1 : 0;
}

int plat_getsockname(int socket, PlatSockaddrIn* address) {
    int length = sizeof(sockaddr_in);
    return getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(address),
                       &length) == SOCKET_ERROR
               ? -1
               : 0;
}

int plat_recv(int socket, char* buffer, int length) {
    int n = recv(static_cast<SOCKET>(socket), buffer, length, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int plat_send(int socket, const char* buffer, int length) {
    int n = send(static_cast<SOCKET>(socket), buffer, length, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int plat_tcp_nodelay(int socket) {
    BOOL on = TRUE;
    return setsockopt(static_cast<SOCKET>(socket), IPPROTO_TCP, TCP_NODELAY,
                      reinterpret_cast<const char*>(&on), sizeof on) == 0
               ? 0
               : -1;
}

uint32_t plat_inet_addr(const char* text) {
    return inet_addr(text);
}

int plat_gethostbyname(const char* name, uint32_t* address) {
    hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr)
        return -1;
    memcpy(address, host->h_addr_list[0], 4);
    return 0;
}

int plat_getservbyname(const char* name, const char* protocol, unsigned short* port) {
    servent* service = getservbyname(name, protocol);
    if (service == nullptr) return -1;
    *port = static_cast<unsigned short>(service->s_port);
    return 0;
}
