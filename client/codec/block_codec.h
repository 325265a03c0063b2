// Blocks as the wire carries them, as plain functions over bytes: a 16-bit
// length (high byte first; it counts the whole block, itself included), the
// type letter, the last-block flag, then the payload. Receiving is a decoder
// that is fed the bytes as they come and hands out whole blocks, or says that
// it needs more; it never reads a socket. In memory a block lives in a buffer
// of BLOCK_SIZE bytes whose first two bytes hold its length in host order.
#pragma once

enum : int {
    BLOCK_SIZE = 1024,     // the longest block, and the size of every block buffer
    MIN_BLOCK = 4,         // length, type and flag: the shortest block
    BLOCK_TYPE = 2,        // message type letter
    BLOCK_LAST = 3,        // last-block flag: 0 = more blocks of this reply follow
    BLOCK_PAYLOAD = 4,     // payload start
    BLOCK_STATUS = 4,      // status of a status ('S') block: 16 bits, high byte first
    BLOCK_STATUS_DATA = 6, // data of a status block, behind the status
    MAX_PAYLOAD = BLOCK_SIZE - BLOCK_PAYLOAD,
};

// The 16-bit length at the start of a block buffer, in host order.
inline unsigned block_length(const char* block) {
    unsigned short v;
    __builtin_memcpy(&v, block, 2);
    return v;
}
inline void set_block_length(char* block, unsigned length) {
    unsigned short v = static_cast<unsigned short>(length);
    __builtin_memcpy(block, &v, 2);
}

// A 16-bit value as the wire has it, high byte first.
unsigned length_from_wire(const char* bytes);
void length_to_wire(char* bytes, unsigned length);
// The status of a status block: signed, high byte first, extended to an int.
int block_status(const char* block);
// True when the block's payload is exactly the literal (no terminator compared).
bool message_text_equals(const char* block, const char* literal);

// Where the block being received stands. start_block sets it up.
struct BlockDecoder {
    int received;      // bytes of the block in the buffer, its length field included
    unsigned declared; // the length the block declares (once both of its bytes are in)
    unsigned excess;   // bytes of an over-long block still to be passed over
};

enum BlockEvent {
    BLOCK_NEEDS_MORE,   // nothing yet: feed more bytes
    BLOCK_WHOLE,        // a whole block is in the buffer
    BLOCK_INCONSISTENT, // it came whole but is no block (2 or 3 bytes): the next one follows
    BLOCK_OVERLONG,     // BLOCK_SIZE bytes of a longer block are in: feed on to pass over the rest
    BLOCK_PASSED_OVER,  // the rest of an over-long block is passed over: the next one follows
    BLOCK_UNFRAMED,     // a length below 2: where the next block starts cannot be known
};

// A decoder at the start of a block; the buffer's length field becomes 0.
void start_block(BlockDecoder* decoder, char* block);
// The most bytes the decoder takes next: the rest of the length field, of the
// block, or of its excess. Never 0 while the block has not ended.
int block_bytes_wanted(const BlockDecoder* decoder);
// Takes up to `n` bytes into the block buffer (an over-long block's excess is
// only counted) and returns how many it took: it stops behind the byte that
// made something of the block, which *event says. Once the length is in, the
// buffer's length field holds it in host order.
int feed_block(BlockDecoder* decoder, char* block, const char* bytes, int n, BlockEvent* event);
// The length a block cut short by the end of its stream had declared: 0 while
// its length field was not complete.
unsigned declared_so_far(const BlockDecoder* decoder);
