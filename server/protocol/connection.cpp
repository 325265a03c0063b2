#include "server/protocol/connection.h"

#include <thread>

#include "server/base/client_watch.h"
#include "server/base/log.h"
#include "server/protocol/request_handler.h"
#include "server/protocol/wire.h"

#ifndef DORVD_VERSION
#define DORVD_VERSION "0"
#endif

namespace dorvd {
namespace {

constexpr int kDrainBeforeCloseMs = 1000;
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

long long ms(int seconds) {
    return static_cast<long long>(seconds) * 1000;
}

// What follows a request's step: wait (no value), go on (true) or end (false).
std::optional<bool> after_step(RequestHandler::Step step, RequestHandler& handler,
                               const std::string& name, const ConnectionConfig& config, int fd) {
    using Step = RequestHandler::Step;
    if (step == Step::wait) return std::nullopt;
    if (step == Step::end) {
        log_line(name + (handler.writer().timed_out()
                             ? ": the client did not read a reply within " +
                                   std::to_string(config.send_timeout_s) + " s; connection closed"
                             : std::string(": sending a reply failed; connection ended")));
        return false;
    }
    if (handler.ending()) {
        log_line(name + ": closed after too many wrong passwords");
        end_output_and_drain(fd, kDrainBeforeCloseMs);
        return false;
    }
    return true;
}

// The time limits of reading the next block; with a transaction open the
// shorter of the idle limits holds.
ReadLimits read_limits(const ConnectionConfig& config, bool in_transaction) {
    ReadLimits limits;
    limits.block_ms = ms(config.read_timeout_s);
    limits.idle_ms = ms(config.idle_timeout_s);
    if (in_transaction &&
        (limits.idle_ms <= 0 || ms(config.idle_in_transaction_timeout_s) < limits.idle_ms)) {
        limits.idle_ms = ms(config.idle_in_transaction_timeout_s);
    }
    return limits;
}

} // namespace

std::string version_text(const std::string& engine) {
    return std::string("dorvd ") + DORVD_VERSION + " (" + engine + ")";
}

Connection::Connection(int fd, std::string name, std::string address,
                       const ConnectionConfig& config, const std::atomic<bool>& stopping)
    : fd_(fd), name_(std::move(name)), config_(config), stopping_(stopping) {
    AuthGuard* guard = config.auth_guard;
    if (guard == nullptr) {
        own_guard_ = std::make_unique<AuthGuard>(config.auth_delay_ms);
        guard = own_guard_.get();
    }
    handler_ =
        std::make_unique<RequestHandler>(fd, name_, std::move(address), config, *guard, stopping);
    reader_ = std::make_unique<RequestReader>(fd);
}

// The session goes first: its rows before its backend, its backend before the socket.
Connection::~Connection() {
    handler_.reset();
}

std::nullopt_t Connection::ended() {
    handler_.reset();
    reader_.reset();
    return std::nullopt;
}

void Connection::client_left() {
    log_line(name_ + ": closed by the client while waiting for " + handler_->waiting_for());
}

std::optional<bool> Connection::read_and_handle(Block& block, unsigned& declared) {
    RequestHandler& handler = *handler_;
    const bool in_transaction =
        config_.idle_in_transaction_timeout_s > 0 && handler.holds_transaction();
    const ReadLimits limits = read_limits(config_, in_transaction);
    switch (reader_->read(block, declared, limits)) {
    case ReadResult::block:
        return after_step(handler.handle(block, reader_->block_waiting()), handler, name_, config_,
                          fd_);
    case ReadResult::closed:
        log_line(name_ + (stopping_.load() ? ": closed at shutdown" : ": closed by the client"));
        return false;
    case ReadResult::closed_midway:
        log_line(name_ + ": closed by the client in the middle of a block");
        return false;
    case ReadResult::failed:
        if (!stopping_.load()) log_line(name_ + ": receiving failed; connection ended");
        return false;
    case ReadResult::idle_expired:
        log_line(name_ +
                 (in_transaction
                      ? ": idle in a transaction for " + std::to_string(limits.idle_ms / 1000) +
                            " s; rolled back and closed"
                      : ": idle for " + std::to_string(limits.idle_ms / 1000) + " s; closed"));
        end_output_and_drain(fd_, 0);
        return false;
    case ReadResult::block_expired:
        log_line(name_ + ": a request block did not arrive whole within " +
                 std::to_string(config_.read_timeout_s) + " s; connection closed");
        end_output_and_drain(fd_, 0);
        return false;
    case ReadResult::too_short: {
        const std::string text = "Malformed block: length " + std::to_string(declared) +
                                 " is below 4; the connection is closed.";
        log_line(name_ + ": " + text);
        handler.writer().message(text);
        if (handler.writer().flush()) end_output_and_drain(fd_, kDrainBeforeCloseMs);
        return false;
    }
    case ReadResult::too_long: {
        const std::string text = "Malformed block: length " + std::to_string(declared) +
                                 " is above 1024; the block was skipped.";
        log_line(name_ + ": " + text);
        handler.writer().message(text);
        return after_step(handler.writer().flush() ? RequestHandler::Step::next
                                                   : RequestHandler::Step::end,
                          handler, name_, config_, fd_);
    }
    }
    return std::nullopt;
}

std::optional<Connection::Clock::time_point> Connection::serve() {
    if (stopping_.load()) {
        log_line(name_ + ": closed at shutdown");
        return ended();
    }
    Block block;
    unsigned declared = 0;
    bool resuming = resume_pending_;
    resume_pending_ = false;
    while (!stopping_.load()) {
        std::optional<bool> going;
        if (resuming) {
            resuming = false;
            going = after_step(handler_->resume(), *handler_, name_, config_, fd_);
        } else {
            going = read_and_handle(block, declared);
        }
        if (!going.has_value()) {
            resume_pending_ = true;
            return handler_->wait_until();
        }
        if (!*going) return ended();
    }
    return ended();
}

void serve_connection(int fd, const std::string& name, const ConnectionConfig& config,
                      const std::atomic<bool>& stopping) {
    Connection connection(fd, name, "local", config, stopping);
    while (auto resume_at = connection.serve()) {
        while (Connection::Clock::now() < *resume_at) {
            if (stopping.load()) return;
            if (client_gone(fd)) {
                connection.client_left();
                return;
            }
            std::this_thread::sleep_for(kWaitSlice);
        }
    }
}

} // namespace dorvd
