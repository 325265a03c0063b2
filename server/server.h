// The listening server: accepts connections and serves each on its own
// thread, at most max_connections at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "server/connection.h"
#include "server/options.h"

namespace dorvd {

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
    struct Slot {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void accept_one();
    void reap_finished();
    size_t active_count() const;
    void close_all();

    ServerOptions options_;
    ResultBudget result_budget_;
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
