#include "bench/delay_relay.h"

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Follows the block framing of a byte stream (16-bit length, type, last-block
// flag, payload) across chunk boundaries and counts the blocks that end a
// message (flag not zero).
struct BlockCounter {
    unsigned char head[4] = {};
    int head_got = 0;
    size_t skip = 0;

    long feed(const char* data, size_t n) {
        long ended = 0;
        while (n > 0) {
            if (skip > 0) {
                size_t step = skip < n ? skip : n;
                skip -= step;
                data += step;
                n -= step;
                continue;
            }
            head[head_got++] = static_cast<unsigned char>(*data++);
            --n;
            if (head_got < 4) continue;
            size_t length = (size_t{head[0]} << 8) | head[1];
            skip = length > 4 ? length - 4 : 0;
            if (head[3] != 0) ++ended;
            head_got = 0;
        }
        return ended;
    }
};

struct Chunk {
    Clock::time_point due;
    std::string bytes;
    bool end = false;
};

struct Direction {
    int from = -1;
    int to = -1;
    bool upward = false; // client to server
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Chunk> queue;
    BlockCounter counter;
    std::thread reader, writer;
};

bool send_all(int fd, const char* data, size_t n) {
    while (n > 0) {
        ssize_t sent = send(fd, data, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

void no_delay(int fd) {
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

} // namespace

struct DelayRelay::Connection {
    DelayRelay* relay = nullptr;
    int client_fd = -1;
    int server_fd = -1;
    Direction up, down;
    std::atomic<long> requests{0};
    std::atomic<long> replies{0};
    std::atomic<int> threads_done{0};

    void read_loop(Direction& d) {
        char buffer[65536];
        for (;;) {
            ssize_t n = recv(d.from, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            Chunk chunk;
            chunk.due = Clock::now() + std::chrono::microseconds(relay->delay_us_.load());
            chunk.end = n <= 0;
            if (n > 0) {
                chunk.bytes.assign(buffer, static_cast<size_t>(n));
                if (d.upward) {
                    long sent = requests += d.counter.feed(buffer, static_cast<size_t>(n));
                    long in_flight = sent - replies.load();
                    long seen = relay->max_in_flight_.load();
                    while (in_flight > seen &&
                           !relay->max_in_flight_.compare_exchange_weak(seen, in_flight)) {
                    }
                }
            }
            {
                std::lock_guard<std::mutex> lock(d.mutex);
                d.queue.push_back(std::move(chunk));
            }
            d.ready.notify_one();
            if (n <= 0) break;
        }
        ++threads_done;
    }

    void write_loop(Direction& d) {
        // The default 50 us timer slack would add to every delay.
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        bool broken = false;
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> lock(d.mutex);
                d.ready.wait(lock, [&] { return !d.queue.empty(); });
                chunk = std::move(d.queue.front());
                d.queue.pop_front();
            }
            if (chunk.end) break;
            // Every chunk waits the same time, so the queue stays in order.
            std::this_thread::sleep_until(chunk.due);
            if (broken) continue;
            // Counted before the client can see them and answer with new requests.
            if (!d.upward) replies += d.counter.feed(chunk.bytes.data(), chunk.bytes.size());
            if (!send_all(d.to, chunk.bytes.data(), chunk.bytes.size())) {
                broken = true;
                shutdown(d.from, SHUT_RD); // ends the reader, which ends this loop
            }
        }
        shutdown(d.to, SHUT_WR);
        ++threads_done;
    }

    void start() {
        up.from = client_fd;
        up.to = server_fd;
        up.upward = true;
        down.from = server_fd;
        down.to = client_fd;
        for (Direction* d : {&up, &down}) {
            d->reader = std::thread([this, d] { read_loop(*d); });
            d->writer = std::thread([this, d] { write_loop(*d); });
        }
    }

    void join() {
        for (Direction* d : {&up, &down}) {
            if (d->reader.joinable()) d->reader.join();
            if (d->writer.joinable()) d->writer.join();
        }
        close(client_fd);
        close(server_fd);
    }
};

bool DelayRelay::start(int target_port, std::string* error) {
    target_port_ = target_port;
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listen_fd_, 128) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = std::string("relay: cannot listen: ") + strerror(errno);
        if (listen_fd_ >= 0) close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
    return true;
}

void DelayRelay::accept_loop() {
    while (!stopping_.load()) {
        int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break; // the listening socket was shut down
        }
        int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<unsigned short>(target_port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (server < 0 ||
            connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            if (server >= 0) close(server);
            close(client);
            continue;
        }
        no_delay(client);
        no_delay(server);
        auto connection = std::make_unique<Connection>();
        connection->relay = this;
        connection->client_fd = client;
        connection->server_fd = server;
        connection->start();
        std::lock_guard<std::mutex> lock(connections_mutex_);
        connections_.push_back(std::move(connection));
        reap(false);
    }
}

// Joins connections whose four threads have ended (all of them when stopping).
void DelayRelay::reap(bool all) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (all || (*it)->threads_done.load() == 4) {
            (*it)->join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void DelayRelay::stop() {
    if (listen_fd_ < 0) return;
    stopping_.store(true);
    shutdown(listen_fd_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    close(listen_fd_);
    listen_fd_ = -1;
    std::lock_guard<std::mutex> lock(connections_mutex_);
    for (auto& c : connections_) {
        shutdown(c->client_fd, SHUT_RDWR);
        shutdown(c->server_fd, SHUT_RDWR);
    }
    reap(true);
}

DelayRelay::~DelayRelay() {
    stop();
}

DelayRelay::DelayRelay() = default;
