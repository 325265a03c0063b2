// Serves one client connection: reads request blocks and answers each.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "server/protocol/auth_guard.h"
#include "server/session/session.h"

namespace dorvd {

struct ConnectionConfig {
    size_t max_block = 1024;
    bool allow_host_commands = false;
    int auth_delay_ms = 500;   // before answering the first wrong password; doubles after
    int max_auth_failures = 5; // the connection is closed after this many
    // Time limits in seconds; 0: none.
    int read_timeout_s = 30;               // for the rest of a request block once it has begun
    int idle_timeout_s = 0;                // between requests
    int idle_in_transaction_timeout_s = 0; // between requests while a transaction is open
    int send_timeout_s = 60;               // for the client to take a reply
    // Wrong passwords across connections; a connection without one counts its own.
    AuthGuard* auth_guard = nullptr;
    SessionConfig session;
};

// The version text the server answers with, naming the database engine.
std::string version_text(const std::string& engine);

class RequestHandler;
class RequestReader;
struct Block;

// One client connection. It is served by calls of serve(); between them, while
// a password attempt waits for its delay, it holds no thread.
class Connection {
  public:
    using Clock = std::chrono::steady_clock;

    // address: the client's address (without port), for counting wrong passwords.
    Connection(int fd, std::string name, std::string address, const ConnectionConfig& config,
               const std::atomic<bool>& stopping);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Reads and answers requests until the connection ends (no value), or
    // until it must wait: then it returns when to call serve() again.
    std::optional<Clock::time_point> serve();
    // The client closed the connection while it waited.
    void client_left();

    int fd() const { return fd_; }
    const std::string& name() const { return name_; }

  private:
    // Lets go of the session (rolling back what it left open) on the serving thread.
    std::nullopt_t ended();
    // Reads the next block and answers it: wait (no value), go on (true) or end (false).
    std::optional<bool> read_and_handle(Block& block, unsigned& declared);

    int fd_;
    std::string name_;
    std::unique_ptr<AuthGuard> own_guard_;
    std::unique_ptr<RequestHandler> handler_;
    std::unique_ptr<RequestReader> reader_;
    const ConnectionConfig& config_;
    const std::atomic<bool>& stopping_;
    bool resume_pending_ = false; // serve() continues what waited
};

// Serves a connection to its end on the calling thread, waiting in place
// when it must wait. Returns when the client closes the connection, the
// connection fails or times out, a block makes the stream untrustworthy, or
// stopping becomes true and the socket is shut down. Does not close fd.
void serve_connection(int fd, const std::string& name, const ConnectionConfig& config,
                      const std::atomic<bool>& stopping);

} // namespace dorvd
