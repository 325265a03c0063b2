#include "server/protocol/wire.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace dorvd {
namespace {

constexpr size_t kFlushThreshold = 64 * 1024;

enum class Receive { complete, closed, failed };

// Receives exactly size bytes; got tells how many arrived before a failure.
Receive receive_exact(int fd, unsigned char* buffer, size_t size, size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = recv(fd, buffer + got, size - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            return Receive::closed;
        } else if (errno != EINTR) {
            return Receive::failed;
        }
    }
    return Receive::complete;
}

ReadResult as_result(Receive r, bool inside_block) {
    if (r == Receive::failed) return ReadResult::failed;
    return inside_block ? ReadResult::closed_midway : ReadResult::closed;
}

} // namespace

ReadResult read_block(int fd, Block& block, unsigned& declared_length) {
    unsigned char buffer[kMaxBlock];
    size_t got = 0;
    declared_length = 0;
    Receive r = receive_exact(fd, buffer, 2, got);
    if (r != Receive::complete) return as_result(r, got > 0);
    declared_length = (unsigned{buffer[0]} << 8) | buffer[1];
    if (declared_length < kMinBlock) return ReadResult::too_short;
    if (declared_length > kMaxBlock) {
        // Drop the block's bytes so the next block starts where it should.
        size_t left = declared_length - 2;
        while (left > 0) {
            const size_t step = std::min(left, sizeof buffer);
            r = receive_exact(fd, buffer, step, got);
            if (r != Receive::complete) return as_result(r, true);
            left -= step;
        }
        return ReadResult::too_long;
    }
    r = receive_exact(fd, buffer + 2, declared_length - 2, got);
    if (r != Receive::complete) return as_result(r, true);
    block.type = static_cast<char>(buffer[2]);
    block.flag = buffer[3];
    block.payload.assign(reinterpret_cast<const char*>(buffer + 4), declared_length - 4);
    return ReadResult::block;
}

bool RequestReader::block_waiting() const {
    if (buffered() < 2) return false;
    const unsigned length = (unsigned{buffer_[start_]} << 8) | buffer_[start_ + 1];
    return length >= kMinBlock && length <= kMaxBlock && buffered() >= length;
}

RequestReader::Fill RequestReader::fill(size_t size, long long limit_ms) {
    if (buffered() >= size) return Fill::complete;
    if (start_ + size > sizeof buffer_) {
        std::memmove(buffer_, buffer_ + start_, buffered());
        end_ -= start_;
        start_ = 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (buffered() < size) {
        if (limit_ms > 0) {
            const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                       deadline - std::chrono::steady_clock::now())
                                       .count();
            if (left <= 0) return Fill::expired;
            pollfd watch{fd_, POLLIN, 0};
            const int ready = poll(&watch, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
            if (ready == 0) return Fill::expired;
            if (ready < 0) {
                if (errno == EINTR) continue;
                return Fill::failed;
            }
        }
        const ssize_t n = recv(fd_, buffer_ + end_, sizeof buffer_ - end_, 0);
        if (n > 0) {
            end_ += static_cast<size_t>(n);
        } else if (n == 0) {
            return Fill::closed;
        } else if (errno != EINTR) {
            return Fill::failed;
        }
    }
    return Fill::complete;
}

ReadResult RequestReader::read(Block& block, unsigned& declared_length, const ReadLimits& limits) {
    declared_length = 0;
    if (buffered() == 0) {
        start_ = end_ = 0;
        const Fill r = fill(1, limits.idle_ms);
        if (r == Fill::expired) return ReadResult::idle_expired;
        if (r != Fill::complete) return r == Fill::failed ? ReadResult::failed : ReadResult::closed;
    }
    // The block has begun: the rest of it is waited for within the block limit.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.block_ms);
    const auto left_ms = [&] {
        if (limits.block_ms <= 0) return 0LL;
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now())
                                   .count();
        return std::max(1LL, left);
    };
    const auto unfinished = [](Fill r) {
        if (r == Fill::expired) return ReadResult::block_expired;
        return r == Fill::failed ? ReadResult::failed : ReadResult::closed_midway;
    };
    Fill r = fill(2, left_ms());
    if (r != Fill::complete) return unfinished(r);
    declared_length = (unsigned{buffer_[start_]} << 8) | buffer_[start_ + 1];
    if (declared_length < kMinBlock) {
        start_ += 2;
        return ReadResult::too_short;
    }
    if (declared_length > kMaxBlock) {
        // Drop the block's bytes so the next block starts where it should.
        size_t left = declared_length;
        while (left > 0) {
            r = fill(1, left_ms());
            if (r != Fill::complete) return unfinished(r);
            const size_t step = std::min(left, buffered());
            start_ += step;
            left -= step;
        }
        return ReadResult::too_long;
    }
    r = fill(declared_length, left_ms());
    if (r != Fill::complete) return unfinished(r);
    const unsigned char* at = buffer_ + start_;
    block.type = static_cast<char>(at[2]);
    block.flag = at[3];
    block.payload.assign(reinterpret_cast<const char*>(at + 4), declared_length - 4);
    start_ += declared_length;
    return ReadResult::block;
}

void end_output_and_drain(int fd, int max_wait_ms) {
    shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_wait_ms);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        pollfd watch{fd, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
    }
}

ReplyWriter::ReplyWriter(int fd, size_t max_block, long long send_timeout_ms)
    : fd_(fd), max_block_(std::clamp(max_block, kStatusHeader + 1, kMaxBlock)),
      send_timeout_ms_(send_timeout_ms) {}

void ReplyWriter::add_block(char type, bool last, std::string_view head, std::string_view payload) {
    const size_t length = 4 + head.size() + payload.size();
    pending_ += static_cast<char>(length >> 8);
    pending_ += static_cast<char>(length & 0xFF);
    pending_ += type;
    pending_ += static_cast<char>(last ? 1 : 0);
    pending_.append(head);
    pending_.append(payload);
    if (pending_.size() >= kFlushThreshold) flush();
}

void ReplyWriter::status_reply(int16_t status, std::string_view data) {
    const char head[2] = {static_cast<char>((status >> 8) & 0xFF),
                          static_cast<char>(status & 0xFF)};
    const size_t room = max_block_ - kStatusHeader;
    do {
        const std::string_view piece = data.substr(0, room);
        data.remove_prefix(piece.size());
        add_block('S', data.empty(), std::string_view(head, 2), piece);
    } while (!data.empty());
}

void ReplyWriter::single_status_block(int16_t status, std::string_view data) {
    const char head[2] = {static_cast<char>((status >> 8) & 0xFF),
                          static_cast<char>(status & 0xFF)};
    add_block('S', true, std::string_view(head, 2), data.substr(0, kMaxBlock - kStatusHeader));
}

void ReplyWriter::message(std::string_view text, bool last) {
    add_block('M', last, {}, text.substr(0, kMaxBlock - 4));
}

void ReplyWriter::echo(std::string_view payload) {
    add_block('E', true, {}, payload.substr(0, kMaxBlock - 4));
}

void ReplyWriter::host_output(std::string_view bytes) {
    const size_t room = max_block_ - 4;
    while (!bytes.empty()) {
        const std::string_view piece = bytes.substr(0, room);
        bytes.remove_prefix(piece.size());
        add_block('U', false, {}, piece);
    }
}

bool ReplyWriter::flush() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(send_timeout_ms_);
    size_t sent = 0;
    while (!failed_ && sent < pending_.size()) {
        const ssize_t n =
            send(fd_, pending_.data() + sent, pending_.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            failed_ = true;
            break;
        }
        // The client's window is full: wait until it reads, within the limit.
        long long wait_ms = -1;
        if (send_timeout_ms_ > 0) {
            wait_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
            if (wait_ms <= 0) {
                failed_ = timed_out_ = true;
                break;
            }
        }
        pollfd watch{fd_, POLLOUT, 0};
        const int ready = poll(&watch, 1, static_cast<int>(std::min<long long>(wait_ms, INT_MAX)));
        if (ready == 0) {
            failed_ = timed_out_ = true;
        } else if (ready < 0 && errno != EINTR) {
            failed_ = true;
        }
    }
    pending_.clear();
    return !failed_;
}

} // namespace dorvd
