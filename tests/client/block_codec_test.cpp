// The block codec, fed bytes directly: whole blocks or "needs more" out, the
// same whatever pieces the bytes come in.
#include "client/codec/block_codec.h"
#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What feeding a stream in pieces of `piece` bytes made of its first block.
struct Fed {
    std::vector<BlockEvent> events; // every event but BLOCK_NEEDS_MORE, in order
    int received;
    unsigned declared;
    unsigned so_far;    // declared_so_far at the end
    size_t taken;       // bytes the decoder took
    std::string stored; // the block buffer's bytes behind its length field
};

Fed feed(const std::string& stream, size_t piece) {
    BlockDecoder decoder;
    char block[BLOCK_SIZE];
    start_block(&decoder, block);
    Fed fed{};
    bool ended = false;
    while (fed.taken < stream.size() && !ended) {
        size_t n = piece == 0 ? stream.size() - fed.taken : piece;
        if (n > stream.size() - fed.taken) n = stream.size() - fed.taken;
        EXPECT_GT(block_bytes_wanted(&decoder), 0);
        EXPECT_LE(block_bytes_wanted(&decoder), BLOCK_SIZE);
        BlockEvent event;
        int taken =
            feed_block(&decoder, block, stream.data() + fed.taken, static_cast<int>(n), &event);
        EXPECT_GT(taken, 0);
        EXPECT_LE(static_cast<size_t>(taken), n);
        fed.taken += static_cast<size_t>(taken);
        if (event != BLOCK_NEEDS_MORE) fed.events.push_back(event);
        ended = event != BLOCK_NEEDS_MORE && event != BLOCK_OVERLONG;
    }
    fed.received = decoder.received;
    fed.declared = decoder.declared;
    fed.so_far = declared_so_far(&decoder);
    int kept = decoder.received > 2 ? decoder.received - 2 : 0;
    fed.stored = std::string(block + 2, static_cast<size_t>(kept));
    EXPECT_EQ(block_length(block), fed.so_far);
    return fed;
}

std::string block_of(unsigned length, char fill) {
    std::string b = wire_length(length) + "S\x01";
    b.resize(length, fill);
    return b;
}

TEST(BlockCodec, EveryLengthComesToItsEventWhateverThePieces) {
    struct Case {
        const char* name;
        std::string stream;
        std::vector<BlockEvent> events;
        int received;
        unsigned so_far;
        size_t taken;
    } cases[] = {
        {"status block", status_block(0, "abc"), {BLOCK_WHOLE}, 9, 9, 9},
        {"longest block", wire_block('E', std::string(1020, 'z')), {BLOCK_WHOLE}, 1024, 1024, 1024},
        {"shortest block", wire_block('S', ""), {BLOCK_WHOLE}, 4, 4, 4},
        {"length 3", wire_length(3) + "S", {BLOCK_INCONSISTENT}, 3, 3, 3},
        {"length 2", wire_length(2), {BLOCK_INCONSISTENT}, 2, 2, 2},
        {"length 1", wire_length(1) + "S\x01", {BLOCK_UNFRAMED}, 2, 1, 2},
        {"length 0", wire_length(0) + "S\x01", {BLOCK_UNFRAMED}, 2, 0, 2},
        {"length 1025", block_of(1025, 'x'), {BLOCK_OVERLONG, BLOCK_PASSED_OVER}, 1024, 1025, 1025},
        {"length 2000", block_of(2000, 'x'), {BLOCK_OVERLONG, BLOCK_PASSED_OVER}, 1024, 2000, 2000},
        {"length 2000, cut short",
         block_of(2000, 'x').substr(0, 1500),
         {BLOCK_OVERLONG},
         1024,
         2000,
         1500},
        {"half a block", status_block(0, "abcd").substr(0, 5), {}, 5, 10, 5},
        {"one byte of the length", std::string(1, '\0'), {}, 1, 0, 1},
        {"nothing", "", {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t{0}, size_t{1}, size_t{7}, size_t{600}}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            Fed fed = feed(c.stream, piece);
            EXPECT_EQ(fed.events, c.events);
            EXPECT_EQ(fed.received, c.received);
            EXPECT_EQ(fed.so_far, c.so_far);
            EXPECT_EQ(fed.taken, c.taken);
            size_t kept = c.received > 2 ? static_cast<size_t>(c.received) - 2 : 0;
            EXPECT_EQ(fed.stored, c.stream.substr(c.stream.size() < 2 ? 0 : 2, kept));
        }
    }
}

TEST(BlockCodec, AFeedStopsBehindTheBlockAndTheNextOneFollows) {
    std::string first = status_block(-9, "one"), second = wire_block('M', "two", false);
    std::string stream = first + second + std::string(1, '\0'); // and a byte of the next
    BlockDecoder decoder;
    char block[BLOCK_SIZE];
    start_block(&decoder, block);
    BlockEvent event;
    int taken = feed_block(&decoder, block, stream.data(), static_cast<int>(stream.size()), &event);
    ASSERT_EQ(event, BLOCK_WHOLE);
    ASSERT_EQ(static_cast<size_t>(taken), first.size());
    EXPECT_EQ(block_status(block), -9);
    EXPECT_EQ(std::string(block + BLOCK_STATUS_DATA, 3), "one");

    start_block(&decoder, block);
    size_t at = static_cast<size_t>(taken);
    taken = feed_block(&decoder, block, stream.data() + at, static_cast<int>(stream.size() - at),
                       &event);
    ASSERT_EQ(event, BLOCK_WHOLE);
    ASSERT_EQ(static_cast<size_t>(taken), second.size());
    EXPECT_EQ(block[BLOCK_TYPE], 'M');
    EXPECT_EQ(block[BLOCK_LAST], 0);
    EXPECT_TRUE(message_text_equals(block, "two"));
}

TEST(BlockCodec, TheDecoderWantsNoByteBeyondItsBlock) {
    BlockDecoder decoder;
    char block[BLOCK_SIZE];
    start_block(&decoder, block);
    EXPECT_EQ(block_bytes_wanted(&decoder), 2);
    std::string stream = block_of(3000, 'y');
    BlockEvent event;
    feed_block(&decoder, block, stream.data(), 1, &event);
    EXPECT_EQ(block_bytes_wanted(&decoder), 1);
    feed_block(&decoder, block, stream.data() + 1, 1, &event);
    EXPECT_EQ(block_bytes_wanted(&decoder), 1022); // the rest of what the buffer keeps
    feed_block(&decoder, block, stream.data() + 2, 1022, &event);
    ASSERT_EQ(event, BLOCK_OVERLONG);
    EXPECT_EQ(block_bytes_wanted(&decoder), 1024); // 1976 to pass over, a buffer at a time
    feed_block(&decoder, block, stream.data() + 1024, 1024, &event);
    EXPECT_EQ(event, BLOCK_NEEDS_MORE);
    EXPECT_EQ(block_bytes_wanted(&decoder), 952);
}

TEST(BlockCodec, LengthsAndStatusesAreHighByteFirst) {
    struct Case {
        std::string bytes;
        unsigned value;
        int status;
    } cases[] = {
        {std::string("\x00\x00", 2), 0, 0},           {std::string("\x00\x64", 2), 100, 100},
        {std::string("\x04\x00", 2), 1024, 1024},     {"\xFF\xF7", 0xFFF7, -9},
        {std::string("\x80\x00", 2), 0x8000, -32768}, {"\x7F\xFF", 0x7FFF, 32767},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(length_from_wire(c.bytes.data()), c.value);
        char written[2];
        length_to_wire(written, c.value);
        EXPECT_EQ(std::string(written, 2), c.bytes);
        std::string block = std::string("\x06\x00S\x01", 4) + c.bytes;
        EXPECT_EQ(block_status(block.data()), c.status);
    }
}

} // namespace
