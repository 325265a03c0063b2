// A tiny client that speaks raw blocks to a server on the loopback
// interface, written apart from the server's own wire code so the tests
// check the bytes independently.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvd_test {

struct WireBlock {
    size_t length = 0; // the whole block, length field included
    char type = 0;
    unsigned char flag = 0;
    std::string payload;

    bool last() const { return flag != 0; }
};

// A reply to a statement request: every block's status and the
// concatenated data behind the statuses.
struct StatusReply {
    bool ok = false; // false: the reply broke the status block rules (a test failure is added)
    int status = 0;  // the first block's status
    std::string data;
    std::vector<WireBlock> blocks;
};

class RawClient {
  public:
    RawClient() = default;
    explicit RawClient(uint16_t port);
    ~RawClient();
    RawClient(RawClient&& other) noexcept;
    RawClient& operator=(RawClient&&) = delete;
    RawClient(const RawClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    void close_now();
    int fd() const { return fd_; }
    // How long a read waits for the server's next bytes (ten seconds unless set).
    void set_wait(std::chrono::milliseconds wait) { wait_ms_ = static_cast<int>(wait.count()); }

    bool send_bytes(std::string_view bytes);
    bool send_block(char type, std::string_view payload, unsigned char flag = 1);

    // One block; no value when the server closed the connection or sent
    // nothing for several seconds.
    std::optional<WireBlock> read_block();
    // Blocks up to and including the first one flagged last.
    std::optional<std::vector<WireBlock>> read_reply();
    // True when the server closes the connection without sending more.
    bool closed_by_server();

    // An 'S' request with the code and the bytes after it, and its reply.
    StatusReply statement(char code, std::string_view rest = {});
    StatusReply exec(std::string_view statement_text);
    StatusReply explain();
    // An echo round trip; the echoed payload, or no value on failure.
    std::optional<std::string> echo(std::string_view text);

  private:
    int fd_ = -1;
    int wait_ms_ = 10000;
};

// Splits a value record into its fields, each type letter and text.
std::vector<std::string> record_fields(const std::string& data);

} // namespace dorvd_test
