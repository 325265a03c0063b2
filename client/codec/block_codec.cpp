#include "client/codec/block_codec.h"

#include <string.h>

unsigned length_from_wire(const char* bytes) {
    return (static_cast<unsigned>(static_cast<unsigned char>(bytes[0])) << 8) |
           static_cast<unsigned char>(bytes[1]);
}

void length_to_wire(char* bytes, unsigned length) {
    bytes[0] = static_cast<char>((length >> 8) & 0xFF);
    bytes[1] = static_cast<char>(length & 0xFF);
}

int block_status(const char* block) {
    return static_cast<short>(length_from_wire(block + BLOCK_STATUS));
}

bool message_text_equals(const char* block, const char* literal) {
    size_t n = strlen(literal);
    unsigned length = block_length(block);
    return length >= BLOCK_PAYLOAD && length - BLOCK_PAYLOAD == n &&
           memcmp(block + BLOCK_PAYLOAD, literal, n) == 0;
}

void start_block(BlockDecoder* decoder, char* block) {
    decoder->received = 0;
    decoder->declared = 0;
    decoder->excess = 0;
    set_block_length(block, 0);
}

namespace {

// What the buffer holds of the block once `received` bytes are in: the whole
// block, or the first BLOCK_SIZE bytes of a longer one.
int kept_length(const BlockDecoder* decoder) {
    return decoder->declared < unsigned{BLOCK_SIZE} ? static_cast<int>(decoder->declared)
                                                    : BLOCK_SIZE;
}

// The event of a block whose kept bytes are all in.
BlockEvent block_complete(BlockDecoder* decoder) {
    if (decoder->declared > unsigned{BLOCK_SIZE}) {
        decoder->excess = decoder->declared - BLOCK_SIZE;
        return BLOCK_OVERLONG;
    }
    return decoder->received >= MIN_BLOCK ? BLOCK_WHOLE : BLOCK_INCONSISTENT;
}

// The length field is complete: the block's length, or a length below 2,
// which cannot even cover itself.
BlockEvent length_complete(BlockDecoder* decoder, char* block) {
    decoder->declared = length_from_wire(block);
    set_block_length(block, decoder->declared);
    if (decoder->declared < 2) return BLOCK_UNFRAMED;
    return decoder->received == kept_length(decoder) ? block_complete(decoder) : BLOCK_NEEDS_MORE;
}

} // namespace

int block_bytes_wanted(const BlockDecoder* decoder) {
    if (decoder->excess > 0)
        return decoder->excess > unsigned{BLOCK_SIZE} ? BLOCK_SIZE
                                                      : static_cast<int>(decoder->excess);
    if (decoder->received < 2) return 2 - decoder->received;
    return kept_length(decoder) - decoder->received;
}

int feed_block(BlockDecoder* decoder, char* block, const char* bytes, int n, BlockEvent* event) {
    *event = BLOCK_NEEDS_MORE;
    if (n <= 0) return 0;
    if (decoder->excess > 0) {
        unsigned taken =
            static_cast<unsigned>(n) < decoder->excess ? static_cast<unsigned>(n) : decoder->excess;
        decoder->excess -= taken;
        if (decoder->excess == 0) *event = BLOCK_PASSED_OVER;
        return static_cast<int>(taken);
    }
    int taken = 0;
    if (decoder->received < 2) {
        taken = 2 - decoder->received < n ? 2 - decoder->received : n;
        memcpy(block + decoder->received, bytes, static_cast<size_t>(taken));
        decoder->received += taken;
        if (decoder->received < 2) return taken;
        *event = length_complete(decoder, block);
        if (*event != BLOCK_NEEDS_MORE) return taken;
    }
    int room = kept_length(decoder) - decoder->received;
    int more = n - taken < room ? n - taken : room;
    if (more <= 0) return taken;
    memcpy(block + decoder->received, bytes + taken, static_cast<size_t>(more));
    decoder->received += more;
    if (decoder->received == kept_length(decoder)) *event = block_complete(decoder);
    return taken + more;
}

unsigned declared_so_far(const BlockDecoder* decoder) {
    return decoder->received < 2 ? 0 : decoder->declared;
}
