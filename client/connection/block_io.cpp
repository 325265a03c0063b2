#include "client/connection/block_io.h"

#include "common/trace.h"

namespace {

// Bytes from the link or the socket: their count, 0 at the end of the stream,
// or below 0 after a failure or a time-out (recorded).
int receive_bytes(const BlockChannel& channel, char* buffer, int length,
                  const ReceiveClock& clock) {
    if (channel.link == nullptr)
        return wnsk_receive(channel.socket, buffer, length, clock, *channel.report);
    int n = channel.link->receive(channel.link->context, buffer, length);
    return n < 0 ? 0 : n > length ? length : n;
}

// The bytes sent of `length` (fewer when no more were taken), or -1 (recorded).
int send_bytes(const BlockChannel& channel, const char* bytes, int length) {
    if (channel.link == nullptr) return wnsk_send(channel.socket, bytes, length, *channel.report);
    int sent = 0;
    while (sent < length) {
        int n = channel.link->send(channel.link->context, bytes + sent, length - sent);
        if (n <= 0) break;
        sent += n > length - sent ? length - sent : n;
    }
    return sent;
}

void report_inconsistent(const BlockChannel& channel, int read, unsigned size) {
    report_error(channel.report, "Inconsistent message:\n read = %d, size = %d", read,
                 static_cast<int>(size));
}

} // namespace

int read_block(const BlockChannel& channel, char* block, bool* stream_lost) {
    *stream_lost = true; // until the block has been read to its declared end
    BlockDecoder decoder;
    start_block(&decoder, block);
    ReceiveClock clock = start_receive_clock(channel.reply_timeout);
    for (;;) {
        char bytes[BLOCK_SIZE];
        int n = receive_bytes(channel, bytes, block_bytes_wanted(&decoder), clock);
        if (n < 0) return -1;
        if (n == 0) {
            // Cut short; the excess of a block reported already adds nothing.
            if (decoder.excess == 0)
                report_inconsistent(channel, decoder.received, declared_so_far(&decoder));
            return -1;
        }
        BlockEvent event;
        feed_block(&decoder, block, bytes, n, &event);
        switch (event) {
        case BLOCK_NEEDS_MORE:
            break;
        case BLOCK_WHOLE:
            *stream_lost = false;
            debug_print("\nwnsk_read successfull");
            return 0;
        case BLOCK_OVERLONG:
            // Reported at once; passing over the rest has a time of its own.
            report_inconsistent(channel, decoder.received, decoder.declared);
            clock = start_receive_clock(channel.reply_timeout);
            break;
        case BLOCK_INCONSISTENT:
            report_inconsistent(channel, decoder.received, decoder.declared);
            *stream_lost = false;
            return -1;
        case BLOCK_PASSED_OVER:
            *stream_lost = false;
            return -1;
        case BLOCK_UNFRAMED:
            report_inconsistent(channel, decoder.received, decoder.declared);
            return -1;
        }
    }
}

int write_block(const BlockChannel& channel, char* block) {
    unsigned length = block_length(block);
    length_to_wire(block, length);
    int sent = send_bytes(channel, block, static_cast<int>(length));
    set_block_length(block, length);
    if (sent < 0) return -1;
    if (sent < static_cast<int>(length)) {
        report_error(channel.report, "partial write:\n write = %d\n size = %d", sent,
                     static_cast<int>(length));
        return -1;
    }
    debug_print("\nwnsk_write successfull");
    return 0;
}

namespace {

BlockChannel channel_of(ConnectionRecord* connection) {
    return {connection->socket, connection->link, connection->reply_timeout, &connection->report};
}

} // namespace

int receive_block(ConnectionRecord* connection, char* block) {
    bool lost = false;
    int result = read_block(channel_of(connection), block, &lost);
    if (lost) connection->broken = 1;
    return result;
}

int send_block(ConnectionRecord* connection, char* block) {
    // A send that fails leaves a stream that no longer carries whole blocks.
    int result = write_block(channel_of(connection), block);
    if (result != 0) connection->broken = 1;
    return result;
}
