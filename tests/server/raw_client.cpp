#include "raw_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace dorvd_test {
namespace {

// Waits for data and receives; 0 on close or time-out, -1 on failure.
ssize_t receive_some(int fd, char* buffer, size_t size, int wait_ms) {
    pollfd watch{fd, POLLIN, 0};
    const int ready = poll(&watch, 1, wait_ms);
    if (ready <= 0) return 0;
    ssize_t n;
    do {
        n = recv(fd, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool receive_exact(int fd, char* buffer, size_t size, int wait_ms) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = receive_some(fd, buffer + got, size - got, wait_ms);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

int16_t block_status(const WireBlock& block) {
    return static_cast<int16_t>((static_cast<unsigned char>(block.payload[0]) << 8) |
                                static_cast<unsigned char>(block.payload[1]));
}

} // namespace

RawClient::RawClient(uint16_t port) {
    // Not inherited by host commands the in-process server starts.
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close_now();
    }
}

RawClient::RawClient(RawClient&& other) noexcept : fd_(other.fd_), wait_ms_(other.wait_ms_) {
    other.fd_ = -1;
}

RawClient::~RawClient() {
    close_now();
}

void RawClient::close_now() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool RawClient::send_bytes(std::string_view bytes) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

bool RawClient::send_block(char type, std::string_view payload, unsigned char flag) {
    const size_t length = payload.size() + 4;
    std::string block;
    block += static_cast<char>(length >> 8);
    block += static_cast<char>(length & 0xFF);
    block += type;
    block += static_cast<char>(flag);
    block.append(payload);
    return send_bytes(block);
}

std::optional<WireBlock> RawClient::read_block() {
    if (fd_ < 0) return std::nullopt;
    char head[2];
    if (!receive_exact(fd_, head, 2, wait_ms_)) return std::nullopt;
    WireBlock block;
    block.length = (static_cast<unsigned char>(head[0]) << 8) | static_cast<unsigned char>(head[1]);
    if (block.length < 4 || block.length > 1024) {
        ADD_FAILURE() << "server sent a block of length " << block.length;
        return std::nullopt;
    }
    std::string rest(block.length - 2, '\0');
    if (!receive_exact(fd_, rest.data(), rest.size(), wait_ms_)) return std::nullopt;
    block.type = rest[0];
    block.flag = static_cast<unsigned char>(rest[1]);
    block.payload = rest.substr(2);
    return block;
}

std::optional<std::vector<WireBlock>> RawClient::read_reply() {
    std::vector<WireBlock> blocks;
    for (;;) {
        auto block = read_block();
        if (!block) return std::nullopt;
        blocks.push_back(std::move(*block));
        if (blocks.back().last()) return blocks;
    }
}

bool RawClient::closed_by_server() {
    if (fd_ < 0) return true;
    char byte;
    return receive_some(fd_, &byte, 1, wait_ms_) == 0;
}

StatusReply RawClient::statement(char code, std::string_view rest) {
    StatusReply reply;
    std::string payload(1, code);
    payload.append(rest);
    if (!send_block('S', payload)) {
        ADD_FAILURE() << "sending the request failed";
        return reply;
    }
    auto blocks = read_reply();
    if (!blocks) {
        ADD_FAILURE() << "no complete reply";
        return reply;
    }
    reply.blocks = std::move(*blocks);
    for (const WireBlock& block : reply.blocks) {
        if (block.type != 'S' || block.payload.size() < 2) {
            ADD_FAILURE() << "reply block of type '" << block.type << "' and length "
                          << block.length << ": " << block.payload;
            return reply;
        }
        if (&block != &reply.blocks.back() && block.flag != 0) {
            ADD_FAILURE() << "a block before the last is flagged last";
            return reply;
        }
        reply.data += block.payload.substr(2);
    }
    reply.status = block_status(reply.blocks.front());
    for (const WireBlock& block : reply.blocks) {
        if (block_status(block) != reply.status) {
            ADD_FAILURE() << "blocks of one reply carry different statuses";
            return reply;
        }
    }
    reply.ok = true;
    return reply;
}

StatusReply RawClient::exec(std::string_view statement_text) {
    std::string rest(1, '\0');
    rest.append(statement_text);
    return statement('E', rest);
}

StatusReply RawClient::explain() {
    return statement('M', std::string_view("\0", 1));
}

std::optional<std::string> RawClient::echo(std::string_view text) {
    if (!send_block('E', text)) return std::nullopt;
    auto block = read_block();
    if (!block || block->type != 'E' || !block->last()) return std::nullopt;
    return block->payload;
}

std::vector<std::string> record_fields(const std::string& data) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (start < data.size()) {
        const size_t end = data.find('\0', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "record ends inside a field: " << data.substr(start);
            break;
        }
        fields.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

} // namespace dorvd_test
