// Answers the requests of one connection. A password attempt can make the
// connection wait (before the password is checked, or before a wrong one is
// answered); the handler then keeps what is left to do until resume().
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "server/protocol/auth_guard.h"
#include "server/protocol/connection.h"
#include "server/protocol/line_layout.h"
#include "server/session/session.h"
#include "server/protocol/wire.h"

namespace dorvd {

class RequestHandler {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Step {
        next, // read the next request
        wait, // call resume() at wait_until(); nothing was sent yet
        end,  // sending failed: the connection is to be ended
    };

    RequestHandler(int fd, const std::string& name, std::string address,
                   const ConnectionConfig& config, AuthGuard& guard,
                   const std::atomic<bool>& stopping);

    // With more_waiting, the reply may stay collected to go out with the next one.
    Step handle(const Block& block, bool more_waiting);
    // Does what waited: checks the password, or sends the wrong password's answer.
    Step resume();
    Clock::time_point wait_until() const { return wait_until_; }
    // What the connection waits for, for the log.
    std::string waiting_for() const;

    // True after a reply that ends the connection (too many wrong passwords).
    bool ending() const { return ending_; }
    // The session holds a transaction or a result half read.
    bool holds_transaction() const { return session_.holds_transaction(); }
    ReplyWriter& writer() { return writer_; }

  private:
    enum class Pending { none, check, answer };

    Step finish(bool more_waiting);
    void refuse(const std::string& text);
    Step statement_request(const std::string& payload);
    void result_request(char code);
    Step execute(const std::string& statement);
    Clock::time_point count_wrong_password(Outcome& outcome);
    void host_command(const std::string& payload);

    const std::string& name_;
    std::string address_;
    const ConnectionConfig& config_;
    AuthGuard& guard_;
    const std::atomic<bool>& stopping_;
    int fd_;
    ReplyWriter writer_;
    Session session_;
    std::string data_; // a reply's data; its memory is kept for the next one unless large
    // The column widths of the kept result's lines.
    LineLayout layout_;
    int auth_failures_ = 0;
    bool ending_ = false;
    Pending pending_ = Pending::none;
    std::string pending_statement_;
    Clock::time_point wait_until_;
};

} // namespace dorvd
