#include "server/protocol/request_handler.h"

#include <cstdio>
#include <vector>

#include "server/protocol/host_command.h"
#include "server/base/log.h"
#include "server/base/statement_kind.h"
#include "server/session/open_database.h"
#include "server/protocol/roman8.h"
#include "server/protocol/value_record.h"
#include "server/base/status_codes.h"

namespace dorvd {
namespace {

// A reply's data larger than this is let go once sent, not kept for the next.
constexpr size_t kKeepDataBytes = 256 * 1024;

std::string hex_byte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

long long ms_until(RequestHandler::Clock::time_point when) {
    const auto left = when - RequestHandler::Clock::now();
    return std::max(0LL, static_cast<long long>(
                             std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
}

// The databases an OPEN DATABASE statement names; none for any other
// statement or one that does not parse (it is answered at once).
std::vector<std::string> databases_named(const std::string& statement) {
    std::vector<std::string> names;
    const StatementKind kind = classify_statement(statement);
    if (!kind.open_database) return names;
    std::string unused;
    if (auto list = parse_open_database(std::string_view(statement).substr(kind.offset), unused)) {
        for (const DatabaseRequest& request : *list)
            names.push_back(request.name);
    }
    return names;
}

} // namespace

RequestHandler::RequestHandler(int fd, const std::string& name, std::string address,
                               const ConnectionConfig& config, AuthGuard& guard,
                               const std::atomic<bool>& stopping)
    : name_(name), address_(std::move(address)), config_(config), guard_(guard),
      stopping_(stopping), fd_(fd),
      writer_(fd, config.max_block, static_cast<long long>(config.send_timeout_s) * 1000),
      session_(config.session, fd) {}

RequestHandler::Step RequestHandler::handle(const Block& block, bool more_waiting) {
    switch (block.type) {
    case 'E':
        writer_.echo(block.payload);
        break;
    case 'U':
        host_command(block.payload);
        break;
    case 'S':
        if (statement_request(block.payload) == Step::wait) return Step::wait;
        break;
    default:
        refuse("Unknown request type " + hex_byte(static_cast<unsigned char>(block.type)) + ".");
        break;
    }
    return finish(more_waiting);
}

RequestHandler::Step RequestHandler::finish(bool more_waiting) {
    const bool sent = more_waiting && !ending_ ? !writer_.failed() : writer_.flush();
    return sent ? Step::next : Step::end;
}

RequestHandler::Step RequestHandler::resume() {
    const Pending pending = pending_;
    pending_ = Pending::none;
    if (pending == Pending::check && execute(pending_statement_) == Step::wait) return Step::wait;
    pending_statement_.clear();
    return finish(false);
}

std::string RequestHandler::waiting_for() const {
    return pending_ == Pending::check ? "the delay before its password is checked"
                                      : "the delay before its wrong password is answered";
}

void RequestHandler::refuse(const std::string& text) {
    log_line(name_ + ": " + text);
    writer_.message(text);
}

RequestHandler::Step RequestHandler::statement_request(const std::string& payload) {
    if (payload.empty()) {
        refuse("Statement request without a request code.");
        return Step::next;
    }
    const char code = payload[0];
    const bool needs_argument = code == 'E' || code == 'M' || code == 'H' || code == 'R';
    if (needs_argument && payload.size() < 2) {
        refuse(std::string("Statement request '") + code + "' lacks its argument byte.");
        return Step::next;
    }
    switch (code) {
    case 'A':
        writer_.single_status_block(kStatusOk, version_text(session_.backend_version()));
        return Step::next;
    case 'E':
        return execute(roman8_to_utf8(payload.substr(2)));
    case 'M':
        // The argument byte selects nothing: the text is always the
        // explanation of the connection's last status.
        writer_.status_reply(kStatusOk, utf8_to_roman8(session_.explanation()));
        return Step::next;
    case 'H': // the header code selects nothing either: there is one header line
    case 'R':
    case 'V':
    case 'F':
        result_request(code);
        return Step::next;
    default:
        refuse("Unknown statement request code " + hex_byte(static_cast<unsigned char>(code)) +
               ".");
        return Step::next;
    }
}

// The session hands out the result's rows in UTF-8; the reply carries them
// as wire text, laid out as lines or value records.
void RequestHandler::result_request(char code) {
    std::string& data = data_;
    data.clear();
    int16_t status = kStatusOk;
    const ResultSet* result = nullptr;
    size_t row = 0;
    std::span<const std::string> names;
    std::span<const Cell> cells;
    switch (code) {
    case 'H':
        status = session_.header_line(result);
        if (status == kStatusOk) layout_.header_line(*result, data);
        break;
    case 'R':
        status = session_.next_row_line(result, row);
        if (status == kStatusOk) layout_.row_line(*result, row, data);
        break;
    case 'V':
        status = session_.header_record(names);
        if (status == kStatusOk) append_header_record(names, data);
        break;
    default:
        status = session_.next_row_record(cells);
        if (status == kStatusOk) append_row_record(cells, data);
        break;
    }
    writer_.status_reply(status, data);
    // The reply is in the writer now: a large one's memory goes, and its
    // share of the server-wide bound with it.
    if (data.capacity() > kKeepDataBytes) std::string().swap(data);
    session_.reply_sent();
}

// A password attempt waits while an earlier one from the same address is
// not over; a wrong password's answer waits for the delay it earned.
RequestHandler::Step RequestHandler::execute(const std::string& statement) {
    const std::vector<std::string> databases = databases_named(statement);
    if (!databases.empty()) {
        const Clock::time_point when = guard_.begin_attempt(address_, databases);
        if (when > Clock::now()) {
            log_line(name_ + ": password attempt waits " + std::to_string(ms_until(when)) +
                     " ms after wrong passwords from " + address_);
            pending_ = Pending::check;
            pending_statement_ = statement;
            wait_until_ = when;
            return Step::wait;
        }
    }
    Outcome outcome = session_.execute(statement);
    if (outcome.status > 0) {
        log_line(name_ + ": status " + std::to_string(outcome.status) + ": " + outcome.text);
    }
    Clock::time_point answer_at = Clock::now();
    if (outcome.status == kStatusWrongPassword) {
        answer_at = count_wrong_password(outcome);
    } else if (outcome.status == kStatusOk && !databases.empty()) {
        guard_.succeeded(address_, databases);
    }
    writer_.status_reply(outcome.status, utf8_to_roman8(outcome.text));
    if (answer_at > Clock::now()) {
        pending_ = Pending::answer;
        wait_until_ = answer_at;
        return Step::wait;
    }
    return Step::next;
}

// Password guessing is slowed: each wrong password from the client's address
// is answered later than the one before, and after a few on one connection
// it is closed. Returns when the answer may go.
RequestHandler::Clock::time_point RequestHandler::count_wrong_password(Outcome& outcome) {
    ++auth_failures_;
    const AuthGuard::Failure failure = guard_.failed(address_, outcome.wrong_password_for);
    log_line(name_ + ": wrong password " + std::to_string(auth_failures_) + " of " +
             std::to_string(config_.max_auth_failures) + " on this connection, for '" +
             outcome.wrong_password_for + "'; " + std::to_string(failure.count) +
             (failure.shared ? " from addresses counted together (too many addresses)"
                             : " from " + address_) +
             "; answered after " + std::to_string(ms_until(failure.until)) + " ms");
    if (auth_failures_ >= config_.max_auth_failures) {
        ending_ = true;
        outcome.text += " Too many wrong passwords: the connection is closed.";
    }
    return failure.until;
}

void RequestHandler::host_command(const std::string& payload) {
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

} // namespace dorvd
