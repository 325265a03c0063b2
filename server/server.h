// The listening server: accepts connections and serves each on its own
// thread, at most max_connections at once. A connection counts until its
// thread has finished; one that waits for a password's delay counts too but
// holds no thread: the server's own loop watches it and hands it a thread
// again when the delay is over, or lets it go when its client leaves.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "server/protocol/auth_guard.h"
#include "server/protocol/connection.h"
#include "server/options.h"

namespace dorvd {

// The memory SQLite may take for all connections together under these options.
size_t sqlite_memory_bound(const ServerOptions& options);

class Server {
  public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Prepares the data folder and starts listening; false with error set
    // when either fails.
    bool start(std::string& error);
    uint16_t port() const { return port_; }
    const std::string& address() const { return options_.listen_address; }

    // Accepts and serves connections until stop(); then closes every
    // connection and waits for their threads.
    void run();

    // Ends run() soon. Safe from any thread and from a signal handler.
    void stop();

  private:
    enum class SlotState { running, waiting, finished };
    struct Slot {
        int fd = -1;
        std::string name;                       // "connection N from ADDRESS:PORT"
        std::string address;                    // the client's address
        std::unique_ptr<Connection> connection; // made by its first thread
        std::thread thread;
        std::atomic<SlotState> state{SlotState::running};
        // When a waiting connection is served again; set before state becomes waiting.
        std::chrono::steady_clock::time_point resume_at;
    };

    void accept_one();
    bool start_thread(Slot& slot);
    void reap_finished();
    // Lets go of waiting connections whose clients have left, and serves
    // again those whose delay is over; returns the milliseconds until the
    // next one is due (at most max_ms).
    int tend_waiting(int max_ms);
    // Lets go of a slot whose thread is not running; returns the next one.
    std::list<std::unique_ptr<Slot>>::iterator
    drop(std::list<std::unique_ptr<Slot>>::iterator slot);
    size_t active_count() const;
    // At the limit of connections, waits briefly for those whose clients
    // have gone to finish; true when a slot is free.
    bool free_slot_soon();
    void close_all();

    ServerOptions options_;
    ResultBudget result_budget_;
    AuthGuard auth_guard_;
    ConnectionConfig connection_config_;
    std::atomic<bool> stopping_{false};
    int listen_fd_ = -1;
    int wake_read_ = -1;
    int wake_write_ = -1;
    uint16_t port_ = 0;
    unsigned next_id_ = 1;
    std::list<std::unique_ptr<Slot>> slots_;
};

} // namespace dorvd
