#include "server/connection.h"

#include <thread>

#include "server/client_watch.h"
#include "server/log.h"
#include "server/request_handler.h"
#include "server/wire.h"

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

std::optional<Connection::Clock::time_point> Connection::serve() {
    using Step = RequestHandler::Step;
    RequestHandler& handler = *handler_;
    const auto after = [&](Step step) -> std::optional<bool> {
        if (step == Step::wait) return std::nullopt;
        if (step == Step::end) {
            log_line(name_ +
                     (handler.writer().timed_out()
                          ? ": the client did not read a reply within " +
                                std::to_string(config_.send_timeout_s) + " s; connection closed"
                          : std::string(": sending a reply failed; connection ended")));
            return false;
        }
        if (handler.ending()) {
            log_line(name_ + ": closed after too many wrong passwords");
            end_output_and_drain(fd_, kDrainBeforeCloseMs);
            return false;
        }
        return true;
    };
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
            going = after(handler.resume());
        } else {
            ReadLimits limits;
            limits.block_ms = ms(config_.read_timeout_s);
            limits.idle_ms = ms(config_.idle_timeout_s);
            const bool in_transaction =
                config_.idle_in_transaction_timeout_s > 0 && handler.holds_transaction();
            if (in_transaction && (limits.idle_ms <= 0 ||
                                   ms(config_.idle_in_transaction_timeout_s) < limits.idle_ms)) {
                limits.idle_ms = ms(config_.idle_in_transaction_timeout_s);
            }
            const ReadResult read = reader_->read(block, declared, limits);
            switch (read) {
            case ReadResult::block:
                going = after(handler.handle(block, reader_->block_waiting()));
                break;
            case ReadResult::closed:
                log_line(name_ +
                         (stopping_.load() ? ": closed at shutdown" : ": closed by the client"));
                return ended();
            case ReadResult::closed_midway:
                log_line(name_ + ": closed by the client in the middle of a block");
                return ended();
            case ReadResult::failed:
                if (!stopping_.load()) log_line(name_ + ": receiving failed; connection ended");
                return ended();
            case ReadResult::idle_expired:
                log_line(
                    name_ +
                    (in_transaction
                         ? ": idle in a transaction for " + std::to_string(limits.idle_ms / 1000) +
                               " s; rolled back and closed"
                         : ": idle for " + std::to_string(limits.idle_ms / 1000) + " s; closed"));
                end_output_and_drain(fd_, 0);
                return ended();
            case ReadResult::block_expired:
                log_line(name_ + ": a request block did not arrive whole within " +
                         std::to_string(config_.read_timeout_s) + " s; connection closed");
                end_output_and_drain(fd_, 0);
                return ended();
            case ReadResult::too_short: {
                const std::string text = "Malformed block: length " + std::to_string(declared) +
                                         " is below 4; the connection is closed.";
                log_line(name_ + ": " + text);
                handler.writer().message(text);
                if (handler.writer().flush()) end_output_and_drain(fd_, kDrainBeforeCloseMs);
                return ended();
            }
            case ReadResult::too_long: {
                const std::string text = "Malformed block: length " + std::to_string(declared) +
                                         " is above 1024; the block was skipped.";
                log_line(name_ + ": " + text);
                handler.writer().message(text);
                going = after(handler.writer().flush() ? Step::next : Step::end);
                break;
            }
            }
        }
        if (!going.has_value()) {
            resume_pending_ = true;
            return handler.wait_until();
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
