#include "server/connection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "server/host_command.h"
#include "server/log.h"
#include "server/roman8.h"
#include "server/status_codes.h"
#include "server/wire.h"

#ifndef DORVD_VERSION
#define DORVD_VERSION "0"
#endif

namespace dorvd {
namespace {

constexpr int kDrainBeforeCloseMs = 1000;
constexpr long long kMaxAuthDelayMs = 60 * 1000;
constexpr auto kSleepSlice = std::chrono::milliseconds(20);

// The delay before answering the failure-th wrong password: the base,
// doubled for each further failure, at most a minute.
long long auth_delay_ms(int base_ms, int failure) {
    long long delay = base_ms;
    for (int i = 1; i < failure && delay < kMaxAuthDelayMs; ++i)
        delay *= 2;
    return std::min(delay, kMaxAuthDelayMs);
}

std::string hex_byte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

class RequestHandler {
  public:
    RequestHandler(int fd, const std::string& name, const ConnectionConfig& config,
                   const std::atomic<bool>& stopping)
        : name_(name), config_(config), stopping_(stopping), fd_(fd), writer_(fd, config.max_block),
          session_(config.session, fd) {}

    // True after a reply that ends the connection (too many wrong passwords).
    bool ending() const { return ending_; }

    // False when the connection is to be ended. With more_waiting, the reply
    // may stay collected to go out with the next one.
    bool handle(const Block& block, bool more_waiting) {
        switch (block.type) {
        case 'E':
            writer_.echo(block.payload);
            break;
        case 'U':
            host_command(block.payload);
            break;
        case 'S':
            statement_request(block.payload);
            break;
        default:
            refuse("Unknown request type " + hex_byte(static_cast<unsigned char>(block.type)) +
                   ".");
            break;
        }
        return more_waiting && !ending_ ? !writer_.failed() : writer_.flush();
    }

    ReplyWriter& writer() { return writer_; }

  private:
    void refuse(const std::string& text) {
        log_line(name_ + ": " + text);
        writer_.message(text);
    }

    void statement_request(const std::string& payload) {
        if (payload.empty()) {
            refuse("Statement request without a request code.");
            return;
        }
        const char code = payload[0];
        const bool needs_argument = code == 'E' || code == 'M' || code == 'H' || code == 'R';
        if (needs_argument && payload.size() < 2) {
            refuse(std::string("Statement request '") + code + "' lacks its argument byte.");
            return;
        }
        std::string& data = data_;
        int16_t status = kStatusOk;
        switch (code) {
        case 'A':
            writer_.single_status_block(kStatusOk, version_text(session_.backend_version()));
            return;
        case 'E': {
            Outcome outcome = session_.execute(roman8_to_utf8(payload.substr(2)));
            if (outcome.status > 0) {
                log_line(name_ + ": status " + std::to_string(outcome.status) + ": " +
                         outcome.text);
            }
            if (outcome.status == kStatusWrongPassword) slow_down(outcome);
            writer_.status_reply(outcome.status, utf8_to_roman8(outcome.text));
            return;
        }
        case 'M':
            // The argument byte selects nothing: the text is always the
            // explanation of the connection's last status.
            writer_.status_reply(kStatusOk, utf8_to_roman8(session_.explanation()));
            return;
        case 'H':
            // The header code selects nothing either: there is one header line.
            status = session_.header_line(data);
            break;
        case 'R':
            status = session_.next_row_line(data);
            break;
        case 'V':
            status = session_.header_record(data);
            break;
        case 'F':
            status = session_.next_row_record(data);
            break;
        default:
            refuse("Unknown statement request code " + hex_byte(static_cast<unsigned char>(code)) +
                   ".");
            return;
        }
        writer_.status_reply(status, data);
    }

    // Password guessing is slowed: each wrong password on the connection is
    // answered later than the one before, and after a few it is closed.
    void slow_down(Outcome& outcome) {
        ++auth_failures_;
        const long long delay = auth_delay_ms(config_.auth_delay_ms, auth_failures_);
        log_line(name_ + ": wrong password " + std::to_string(auth_failures_) + " of " +
                 std::to_string(config_.max_auth_failures) + "; answered after " +
                 std::to_string(delay) + " ms");
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay);
        while (!stopping_.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                kSleepSlice, until - std::chrono::steady_clock::now()));
        if (auth_failures_ >= config_.max_auth_failures) {
            ending_ = true;
            outcome.text += " Too many wrong passwords: the connection is closed.";
        }
    }

    void host_command(const std::string& payload) {
        if (!config_.allow_host_commands) {
            refuse("Host commands are not allowed on this server.");
            return;
        }
        if (payload.find('\0') != std::string::npos) {
            refuse("The host command contains a zero byte.");
            return;
        }
        const std::string command = roman8_to_utf8(payload);
        log_line(name_ + ": host command: " + command);
        Utf8ToRoman8Stream converter;
        const auto started = [&] {
            writer_.message("OK", false);
            return writer_.flush();
        };
        const auto output = [&](std::string_view bytes) {
            writer_.host_output(converter.feed(bytes));
            return writer_.flush();
        };
        const HostCommandResult result = run_host_command(command, started, output, stopping_, fd_);
        if (!result.started) {
            refuse("The host command could not be started: " + result.error);
            return;
        }
        writer_.host_output(converter.finish());
        writer_.message("EOF");
        log_line(name_ + ": host command ended: " + result.how_ended);
    }

    const std::string& name_;
    const ConnectionConfig& config_;
    const std::atomic<bool>& stopping_;
    int fd_;
    ReplyWriter writer_;
    Session session_;
    std::string data_; // a reply's data; its memory is kept for the next one
    int auth_failures_ = 0;
    bool ending_ = false;
};

} // namespace

std::string version_text(const std::string& engine) {
    return std::string("dorvd ") + DORVD_VERSION + " (" + engine + ")";
}

void serve_connection(int fd, const std::string& name, const ConnectionConfig& config,
                      const std::atomic<bool>& stopping) {
    RequestHandler handler(fd, name, config, stopping);
    RequestReader reader(fd);
    Block block;
    unsigned declared = 0;
    while (!stopping.load()) {
        switch (reader.read(block, declared)) {
        case ReadResult::block:
            if (!handler.handle(block, reader.block_waiting())) {
                log_line(name + ": sending a reply failed; connection ended");
                return;
            }
            if (handler.ending()) {
                log_line(name + ": closed after too many wrong passwords");
                end_output_and_drain(fd, kDrainBeforeCloseMs);
                return;
            }
            break;
        case ReadResult::closed:
            log_line(name + (stopping.load() ? ": closed at shutdown" : ": closed by the client"));
            return;
        case ReadResult::closed_midway:
            log_line(name + ": closed by the client in the middle of a block");
            return;
        case ReadResult::failed:
            if (!stopping.load()) log_line(name + ": receiving failed; connection ended");
            return;
        case ReadResult::too_short: {
            const std::string text = "Malformed block: length " + std::to_string(declared) +
                                     " is below 4; the connection is closed.";
            log_line(name + ": " + text);
            handler.writer().message(text);
            if (handler.writer().flush()) end_output_and_drain(fd, kDrainBeforeCloseMs);
            return;
        }
        case ReadResult::too_long: {
            const std::string text = "Malformed block: length " + std::to_string(declared) +
                                     " is above 1024; the block was skipped.";
            log_line(name + ": " + text);
            handler.writer().message(text);
            if (!handler.writer().flush()) return;
            break;
        }
        }
    }
}

} // namespace dorvd
