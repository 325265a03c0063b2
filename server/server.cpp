#include "server/server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "server/log.h"
#ifdef DORVD_WITH_POSTGRESQL
#include "server/pg_backend.h"
#endif
#include "server/sample_data.h"
#include "server/wire.h"

namespace dorvd {
namespace {

constexpr int kRefusalDrainMs = 100;

std::string peer_name(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

void close_fd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

} // namespace

Server::Server(ServerOptions options)
    : options_(std::move(options)), result_budget_(options_.max_total_result_bytes) {
    connection_config_.max_block = options_.max_block;
    connection_config_.allow_host_commands = options_.allow_host_commands;
    connection_config_.auth_delay_ms = options_.auth_delay_ms;
    connection_config_.max_auth_failures = options_.max_auth_failures;
    connection_config_.session.max_scratch_bytes = options_.max_scratch_bytes;
    connection_config_.session.statement_timeout_s = options_.statement_timeout_s;
    connection_config_.session.data_dir = options_.data_dir;
    connection_config_.session.max_result_bytes = options_.max_result_bytes;
    connection_config_.session.stopping = &stopping_;
    connection_config_.session.result_budget = &result_budget_;
    connection_config_.session.backend = options_.backend;
    connection_config_.session.pg_conninfo = options_.pg_conninfo;
}

Server::~Server() {
    close_all();
    close_fd(listen_fd_);
    close_fd(wake_read_);
    close_fd(wake_write_);
}

bool Server::start(std::string& error) {
    if (options_.backend == BackendKind::postgresql) {
#ifdef DORVD_WITH_POSTGRESQL
        if (!prepare_password_folder(options_.data_dir, error) ||
            !prepare_postgresql(connection_config_.session, options_.sample, error)) {
            return false;
        }
#else
        error = "this dorvd was built without PostgreSQL (libpq)";
        return false;
#endif
    } else if (!prepare_data_folder(options_.data_dir, error, options_.sample)) {
        return false;
    }

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    wake_read_ = wake[0];
    wake_write_ = wake[1];

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(options_.port);
    const int rc = getaddrinfo(options_.listen_address.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || found == nullptr) {
        error = "cannot listen on " + options_.listen_address + ": " + gai_strerror(rc);
        return false;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);

    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    if (listen_fd_ < 0 || setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_fd_, SOMAXCONN) != 0) {
        error = "cannot listen on " + options_.listen_address + ":" + service + ": " +
                std::strerror(errno);
        close_fd(listen_fd_);
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return true;
}

void Server::stop() {
    stopping_.store(true);
    if (wake_write_ >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(wake_write_, &byte, 1);
    }
}

void Server::run() {
    pollfd watched[2] = {{listen_fd_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
    while (!stopping_.load()) {
        const int ready = poll(watched, 2, 1000);
        if (ready < 0 && errno != EINTR) {
            log_line(std::string("waiting for connections failed: ") + std::strerror(errno));
            break;
        }
        reap_finished();
        if (ready > 0 && (watched[0].revents & POLLIN) != 0 && !stopping_.load()) accept_one();
    }
    close_fd(listen_fd_);
    close_all();
    log_line("shut down");
}

void Server::accept_one() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
            log_line(std::string("accepting a connection failed: ") + std::strerror(errno));
            // Out of descriptors and the like: give running connections a moment.
            poll(nullptr, 0, 100);
        }
        return;
    }
    const std::string from = peer_name(peer);
    // A client that has already gone needs no thread (a burst of short
    // connections is let go quickly, and the next client waits less).
    pollfd watch{fd, POLLRDHUP, 0};
    if (poll(&watch, 1, 0) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
        log_line("connection from " + from + " closed by the client before it was served");
        close(fd);
        return;
    }
    if (active_count() >= static_cast<size_t>(options_.max_connections)) {
        log_line("connection from " + from +
                 " refused: " + std::to_string(options_.max_connections) + " connections are open");
        ReplyWriter writer(fd, kMaxBlock);
        writer.message("The server is busy: it serves at most " +
                       std::to_string(options_.max_connections) +
                       " connections at once. Try again later.");
        // Briefly, as this holds up the accepting of further connections.
        if (writer.flush()) end_output_and_drain(fd, kRefusalDrainMs);
        close(fd);
        return;
    }
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const std::string name = "connection " + std::to_string(next_id_++) + " from " + from;
    log_line(name + ": opened");
    auto slot = std::make_unique<Slot>();
    slot->fd = fd;
    Slot* raw = slot.get();
    try {
        slot->thread = std::thread([this, raw, name] {
            serve_connection(raw->fd, name, connection_config_, stopping_);
            raw->finished.store(true);
            // Wakes run() so the slot is free for the next connection at once.
            const char byte = 0;
            [[maybe_unused]] const ssize_t n = write(wake_write_, &byte, 1);
        });
    } catch (const std::system_error& e) {
        log_line(name + ": cannot start a thread: " + e.what());
        close(fd);
        return;
    }
    slots_.push_back(std::move(slot));
}

void Server::reap_finished() {
    char drain[64];
    while (read(wake_read_, drain, sizeof drain) > 0) {
    }
    for (auto it = slots_.begin(); it != slots_.end();) {
        if ((*it)->finished.load()) {
            (*it)->thread.join();
            close((*it)->fd);
            it = slots_.erase(it);
        } else {
            ++it;
        }
    }
}

// A connection counts until its client has closed it, not until its thread
// has noticed and ended: a burst of short connections must not lock out the
// next client.
size_t Server::active_count() const {
    std::vector<pollfd> watched;
    for (const auto& slot : slots_) {
        if (!slot->finished.load()) watched.push_back({slot->fd, POLLRDHUP, 0});
    }
    if (watched.empty() || poll(watched.data(), watched.size(), 0) < 0) return watched.size();
    size_t count = 0;
    for (const pollfd& watch : watched)
        count += (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0 ? 0 : 1;
    return count;
}

void Server::close_all() {
    stopping_.store(true);
    // Shutting the sockets down wakes threads blocked in receive or send.
    for (const auto& slot : slots_)
        shutdown(slot->fd, SHUT_RDWR);
    for (const auto& slot : slots_) {
        if (slot->thread.joinable()) slot->thread.join();
        close(slot->fd);
    }
    slots_.clear();
}

} // namespace dorvd
