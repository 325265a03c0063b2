// Blocks on the wire: a 2-byte big-endian length counting the whole block,
// a type letter, a last-block flag and 0 to 1020 payload bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dorvd {

constexpr size_t kMinBlock = 4;
constexpr size_t kMaxBlock = 1024;
constexpr size_t kStatusHeader = 6; // length, type, flag, 2-byte status

struct Block {
    char type = 0;
    unsigned char flag = 0;
    std::string payload;
};

enum class ReadResult {
    block,         // one whole block in the result
    closed,        // the peer closed the connection between blocks
    closed_midway, // the peer closed the connection inside a block
    too_short,     // declared length below 4; the stream cannot be trusted
    too_long,      // declared length above 1024; its bytes were read and dropped
    failed,        // the receive call failed
    idle_expired,  // no further block began within the idle limit
    block_expired, // a block began but did not arrive whole within the block limit
};

// How long a read may wait, in milliseconds; 0 or less: no limit.
struct ReadLimits {
    long long idle_ms = 0;  // for the first byte of the next block
    long long block_ms = 0; // for the rest of a block once it has begun
};

// Reads one block. declared_length receives the length field as sent.
ReadResult read_block(int fd, Block& block, unsigned& declared_length);

// Reads a connection's requests through a buffer: one receive call usually
// brings a whole request, or several when the client sends them ahead.
class RequestReader {
  public:
    explicit RequestReader(int fd) : fd_(fd) {}

    // As read_block, within the limits.
    ReadResult read(Block& block, unsigned& declared_length, const ReadLimits& limits = {});
    // True when a whole further block is already received: its reply can
    // wait to go out with the next one.
    bool block_waiting() const;

  private:
    enum class Fill { complete, closed, failed, expired };
    // Receives until at least size bytes are buffered (size <= the buffer),
    // waiting at most limit_ms (0 or less: no limit).
    Fill fill(size_t size, long long limit_ms);
    size_t buffered() const { return end_ - start_; }

    int fd_;
    size_t start_ = 0;
    size_t end_ = 0;
    unsigned char buffer_[8192];
};

// Before a connection is closed on the server's initiative: ends the output
// so the client reads what was sent, and reads and drops whatever the client
// still sends, for at most max_wait_ms. (Closing a socket with unread input
// would reset the connection and could destroy the last reply.)
void end_output_and_drain(int fd, int max_wait_ms);

// Collects the blocks of replies and sends them in few system calls.
// Replies that may span several blocks are cut so that no block is longer
// than max_block bytes. What one flush sends (at most about 64 KB) must be
// taken by the client within send_timeout_ms (0: no limit), or the writer fails.
class ReplyWriter {
  public:
    ReplyWriter(int fd, size_t max_block, long long send_timeout_ms = 0);

    // 'S' blocks: every block carries the status; data are cut across blocks.
    void status_reply(int16_t status, std::string_view data);
    // One 'S' block, whatever max_block says (the version reply).
    void single_status_block(int16_t status, std::string_view data);
    // One 'M' block with a text message, cut to 1020 bytes.
    void message(std::string_view text, bool last = true);
    // One 'E' block echoing the payload.
    void echo(std::string_view payload);
    // 'U' blocks of host command output, none of them flagged last.
    void host_output(std::string_view bytes);

    // Sends what has been collected; false once the connection failed.
    bool flush();
    bool failed() const { return failed_; }
    // The client did not take a reply in time.
    bool timed_out() const { return timed_out_; }

  private:
    void add_block(char type, bool last, std::string_view head, std::string_view payload);

    int fd_;
    size_t max_block_;
    long long send_timeout_ms_;
    std::string pending_;
    bool failed_ = false;
    bool timed_out_ = false;
};

} // namespace dorvd
