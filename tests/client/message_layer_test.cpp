// Status replies, text messages in place of replies, draining.
#include "client/protocol/message_layer.h"
#include "client/transport/wnsk.h"
#include "peer_session.h"
#include "support/box_capture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(MessageLayer, StatusBlocksAreDecodedAsSignedBigEndian) {
    struct Case {
        std::string reply;
        int result;
        int block_avail;
        std::string box;
    } cases[] = {
        {wire_block('S', "\xFF\xF7"), -9, 0, ""},
        {wire_block('S', std::string("\x00\x64", 2)), 100, 0, ""},
        {wire_block('S', std::string("\x00\x00", 2) + "abc"), 0, 3, ""},
        {wire_block('S', "\x7F\xFF"), 32767, 0, ""},
        {wire_block('S', std::string("\x80\x00", 2)), -32768, 0, ""},
        {wire_block('S', "\x01"), 100, 0,
         "Dorv|Internal error (ll_dorv_read)\nCorrupted M_DORV message"},
        {wire_block('S', ""), 100, 0,
         "Dorv|Internal error (ll_dorv_read)\nCorrupted M_DORV message"},
        {wire_block('X', std::string("\x00\x00", 2)), 100, 0,
         "Dorv|Protocol error (ll_dorv_read):\nUnexpected message type (X)"},
        {wire_block('E', "hi"), 100, 0,
         "Dorv|Protocol error (ll_dorv_read):\nUnexpected message type (E)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.reply));
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(request('F')).send(c.reply);
        s.open();
        EXPECT_EQ(hl_dorv_next_val(s.handle), c.result);
        if (c.box.empty()) {
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_EQ(s.record()->block_avail, c.block_avail);
            EXPECT_EQ(s.record()->block_pos, 0);
        } else {
            EXPECT_EQ(boxes.summary(), std::vector<std::string>{c.box});
        }
    }
}

TEST(MessageLayer, ATextMessageInPlaceOfAReplyIsShownAndTheRestDrainedAtTheNextRequest) {
    for (int warnings : {0, 1}) {
        SCOPED_TRACE(warnings);
        BoxCapture boxes;
        PeerSession s;
        // The message says more blocks follow; the next request throws them away,
        // a text message among them too, up to the last block.
        s.peer.expect(request('F'))
            .send(wire_block('M', "Table locked \xE8", false) + status_block(0, "ignored", false) +
                  wire_block('M', "not shown", false) + status_block(4, "last", true))
            .expect(request('V'))
            .send(status_block(7, std::string("Sa\0", 3)));
        s.open(warnings);
        EXPECT_EQ(hl_dorv_next_val(s.handle), 100);
        EXPECT_EQ(s.record()->more, 1);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].caption, "Dorv SERVER:");
        EXPECT_EQ(boxes.boxes[0].text, "Table locked \xE8"); // untranslated
        boxes.clear();
        EXPECT_EQ(hl_dorv_hdr_val(s.handle), 7);
        std::vector<std::string> expected;
        if (warnings != 0)
            expected.push_back("Dorv|Pending transfer:\n handle = " + std::to_string(s.handle));
        EXPECT_EQ(boxes.summary(), expected);
        char field[16];
        EXPECT_EQ(hl_dorv_tfield(s.handle, field, sizeof field), 0);
        EXPECT_STREQ(field, "Sa");
    }
}

TEST(MessageLayer, ALastTextMessageLeavesNothingToDrain) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('F'))
        .send(wire_block('M', "gone"))
        .expect(request('F'))
        .send(status_block(-9, ""));
    s.open(1);
    EXPECT_EQ(hl_dorv_next_val(s.handle), 100);
    EXPECT_EQ(s.record()->more, 0);
    EXPECT_EQ(hl_dorv_next_val(s.handle), -9);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv SERVER:|gone"});
}

TEST(MessageLayer, WriteRefusesBlockLengthsOutsideFourTo1024) {
    BoxCapture boxes;
    PeerSession s;
    s.open();
    char block[1024] = {};
    for (unsigned length : {0u, 3u, 1025u, 65535u}) {
        boxes.clear();
        set_block_length(block, length);
        EXPECT_EQ(ll_write(s.record(), block), -1);
        EXPECT_EQ(boxes.summary(),
                  std::vector<std::string>{
                      "Dorv|Internal error (ll_write):\nInconsistent block length (" +
                      std::to_string(length) + ")"});
    }
}

TEST(MessageLayer, TextComparisonIsExact) {
    struct Case {
        std::string payload;
        const char* literal;
        bool equal;
    } cases[] = {{"OK", "OK", true},
                 {"OK ", "OK", false},
                 {"ok", "OK", false},
                 {"EOF", "EOF", true},
                 {"", "", true},
                 {"O", "OK", false},
                 {std::string("OK\0", 3), "OK", false}};
    for (const auto& c : cases) {
        char block[1024];
        std::string wire = wire_block('M', c.payload);
        std::memcpy(block, wire.data(), wire.size());
        set_block_length(block, static_cast<unsigned>(wire.size()));
        EXPECT_EQ(message_text_equals(block, c.literal), c.equal) << printable(c.payload);
    }
}

} // namespace
