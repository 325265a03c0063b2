// Whether a client is still there while its statement runs.
#pragma once

#include <chrono>
#include <poll.h>

namespace dorvd {

// How often a running statement looks whether its client is still there.
constexpr auto kClientCheckInterval = std::chrono::milliseconds(200);

// True once the peer has closed the connection (or it failed).
inline bool client_gone(int fd) {
    pollfd watch{fd, POLLRDHUP, 0};
    return poll(&watch, 1, 0) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

} // namespace dorvd
