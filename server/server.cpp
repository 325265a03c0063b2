#include "server/server.h"

#include <algorithm>
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

#include "server/base/client_watch.h"
#include "server/base/log.h"
#ifdef DORVD_WITH_POSTGRESQL
#include "server/backends/postgresql/pg_backend.h"
#endif
#include "server/backends/sqlite/sample_data.h"
#include "server/backends/sqlite/sqlite_engine.h"
#include "server/backends/sqlite/sqlite_allocator.h"
#include "server/protocol/wire.h"

namespace dorvd {
namespace {

constexpr int kRefusalDrainMs = 100;
// At the limit of connections, how long a new one may wait for connections
// whose clients have gone to finish (their threads notice within moments).
constexpr int kSlotGraceMs = 1000;

std::string peer_address(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

// Rounded up: a connection waiting for a delay is never served early.
int ms_until(std::chrono::steady_clock::time_point when) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                          when - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<long long>((left + 999) / 1000, 0, 24LL * 60 * 60 * 1000));
}

void close_fd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

} // namespace

// What SQLite may take for all connections together: each connection's
// scratch database, twice a result bound's worth of values and its caches,
// and the results all connections keep; never below 256 MB. A statement
// that computes more (many long values in one row, say) fails with status 7
// instead of taking the machine's memory.
size_t sqlite_memory_bound(const ServerOptions& options) {
    constexpr size_t kPerConnection = 8 * 1024 * 1024;
    constexpr size_t kFloor = 256 * 1024 * 1024;
    // Options may be as large as the machine's numbers go: the sums saturate.
    const auto add = [](size_t a, size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; };
    const auto times = [](size_t a, size_t n) {
        return n != 0 && a > SIZE_MAX / n ? SIZE_MAX : a * n;
    };
    const size_t per_connection =
        add(add(options.max_scratch_bytes, times(options.max_result_bytes, 2)), kPerConnection);
    const size_t all = add(options.max_total_result_bytes,
                           times(per_connection, static_cast<size_t>(options.max_connections)));
    return std::max(kFloor, all);
}

Server::Server(ServerOptions options)
    : options_(std::move(options)), result_budget_(options_.max_total_result_bytes),
      auth_guard_(options_.auth_delay_ms) {
    connection_config_.max_block = options_.max_block;
    connection_config_.allow_host_commands = options_.allow_host_commands;
    connection_config_.auth_delay_ms = options_.auth_delay_ms;
    connection_config_.max_auth_failures = options_.max_auth_failures;
    connection_config_.read_timeout_s = options_.read_timeout_s;
    connection_config_.idle_timeout_s = options_.idle_timeout_s;
    connection_config_.idle_in_transaction_timeout_s = options_.idle_in_transaction_timeout_s;
    connection_config_.send_timeout_s = options_.send_timeout_s;
    connection_config_.auth_guard = &auth_guard_;
    connection_config_.session.max_scratch_bytes = options_.max_scratch_bytes;
    connection_config_.session.max_database_bytes = options_.max_database_bytes;
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
    // Before SQLite's first use (a test that started SQLite earlier keeps SQLite's own).
    install_sqlite_allocator();
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
    } else {
        bound_sqlite_memory(sqlite_memory_bound(options_));
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
    std::vector<pollfd> watched;
    while (!stopping_.load()) {
        const int wait_ms = tend_waiting(1000);
        watched.assign({{listen_fd_, POLLIN, 0}, {wake_read_, POLLIN, 0}});
        // A waiting connection's client that leaves wakes the loop too.
        for (const auto& slot : slots_) {
            if (slot->state.load() == SlotState::waiting)
                watched.push_back({slot->fd, POLLRDHUP, 0});
        }
        const int ready = poll(watched.data(), watched.size(), wait_ms);
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
    const std::string address = peer_address(peer);
    const std::string from = address + ":" + std::to_string(ntohs(peer.sin_port));
    // A client that has already gone needs no thread (a burst of short
    // connections is let go quickly, and the next client waits less).
    if (client_gone(fd)) {
        log_line("connection from " + from + " closed by the client before it was served");
        close(fd);
        return;
    }
    if (active_count() >= static_cast<size_t>(options_.max_connections) && !free_slot_soon()) {
        log_line("connection from " + from +
                 " refused: " + std::to_string(options_.max_connections) + " connections are open");
        ReplyWriter writer(fd, kMaxBlock, kRefusalDrainMs);
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
    slot->name = name;
    slot->address = address;
    if (!start_thread(*slot)) {
        close(fd);
        return;
    }
    slots_.push_back(std::move(slot));
}

// The connection (and its session) is made on its own thread: opening a
// session may take a while, and the loop must go on accepting meanwhile.
bool Server::start_thread(Slot& slot) {
    Slot* raw = &slot;
    try {
        slot.thread = std::thread([this, raw] {
            if (!raw->connection) {
                raw->connection = std::make_unique<Connection>(raw->fd, raw->name, raw->address,
                                                               connection_config_, stopping_);
            }
            const auto resume_at = raw->connection->serve();
            if (resume_at) {
                raw->resume_at = *resume_at;
                raw->state.store(SlotState::waiting);
            } else {
                raw->state.store(SlotState::finished);
            }
            // Wakes run() so the slot is free (or watched) at once.
            const char byte = 0;
            [[maybe_unused]] const ssize_t n = write(wake_write_, &byte, 1);
        });
    } catch (const std::system_error& e) {
        log_line(slot.name + ": cannot start a thread: " + e.what());
        return false;
    }
    return true;
}

void Server::reap_finished() {
    char drain[64];
    while (read(wake_read_, drain, sizeof drain) > 0) {
    }
    for (auto it = slots_.begin(); it != slots_.end();) {
        if ((*it)->state.load() == SlotState::finished) {
            it = drop(it);
        } else {
            ++it;
        }
    }
}

std::list<std::unique_ptr<Server::Slot>>::iterator
Server::drop(std::list<std::unique_ptr<Slot>>::iterator slot) {
    if ((*slot)->thread.joinable()) (*slot)->thread.join();
    (*slot)->connection.reset();
    close((*slot)->fd);
    return slots_.erase(slot);
}

int Server::tend_waiting(int max_ms) {
    int next = max_ms;
    for (auto it = slots_.begin(); it != slots_.end();) {
        Slot& slot = **it;
        if (slot.state.load() != SlotState::waiting) {
            ++it;
            continue;
        }
        if (slot.thread.joinable()) slot.thread.join();
        if (client_gone(slot.fd)) {
            slot.connection->client_left();
            it = drop(it);
            continue;
        }
        const int due = ms_until(slot.resume_at);
        if (due > 0) {
            next = std::min(next, due);
        } else {
            slot.state.store(SlotState::running);
            if (!start_thread(slot)) {
                it = drop(it);
                continue;
            }
        }
        ++it;
    }
    return next;
}

// A connection counts until its thread has finished (one that waits counts
// too), so that clients that hang up cannot leave more threads working than
// the limit allows.
size_t Server::active_count() const {
    size_t count = 0;
    for (const auto& slot : slots_)
        count += slot->state.load() == SlotState::finished ? 0 : 1;
    return count;
}

bool Server::free_slot_soon() {
    tend_waiting(0);
    reap_finished();
    bool leaving = false;
    for (const auto& slot : slots_) {
        if (slot->state.load() == SlotState::running && client_gone(slot->fd)) leaving = true;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kSlotGraceMs);
    while (active_count() >= static_cast<size_t>(options_.max_connections)) {
        const int left = ms_until(deadline);
        if (!leaving || left <= 0 || stopping_.load()) return false;
        pollfd wake{wake_read_, POLLIN, 0};
        poll(&wake, 1, left);
        reap_finished();
    }
    return true;
}

void Server::close_all() {
    stopping_.store(true);
    // Shutting the sockets down wakes threads blocked in receive or send.
    for (const auto& slot : slots_)
        shutdown(slot->fd, SHUT_RDWR);
    for (const auto& slot : slots_) {
        if (slot->thread.joinable()) slot->thread.join();
        if (slot->state.load() == SlotState::waiting) log_line(slot->name + ": closed at shutdown");
        slot->connection.reset();
        close(slot->fd);
    }
    slots_.clear();
}

} // namespace dorvd
