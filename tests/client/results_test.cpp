// Header lines, rows and value records.
#include "peer_session.h"
#include "support/box_capture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string field(const std::string& text) {
    return text + std::string(1, '\0');
}

TEST(Lines, AHeaderOverThreeBlocksIsOneLineCutAtSizeMinusOne) {
    struct Case {
        int warnings;
        int size;
        std::string line;
        bool warned;
    } cases[] = {
        {1, 64, "NAME      CITY      ZIP", false},
        {1, 11, "NAME      ", true}, // all three blocks still read
        {0, 11, "NAME      ", false},
        {1, 24, "NAME      CITY      ZIP", true}, // fits exactly: still warned
        {1, 1, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(request('H', std::string(1, 2)))
            .send(status_block(1, "NAME      ", false) + status_block(2, "CITY      ", false) +
                  status_block(3, "ZIP"))
            .expect(request('R', std::string(1, '\0')))
            .send(status_block(-9, ""));
        s.open(c.warnings);
        char line[64];
        std::memset(line, '#', sizeof line);
        EXPECT_EQ(hl_dorv_hdr_ln(s.handle, 2, line, c.size), 3);
        EXPECT_EQ(std::string(line), c.line);
        std::vector<std::string> expected;
        if (c.warned)
            expected.push_back("Dorv|Buffer too small (hl_dorv_hdr_ln):\n Buffer truncted.");
        EXPECT_EQ(boxes.summary(), expected);
        EXPECT_EQ(hl_dorv_next_row(s.handle, line, sizeof line), -9);
        EXPECT_EQ(boxes.summary(), expected); // nothing was pending
    }
}

TEST(Lines, RowsAreTranslatedAndTheServersEndOfDataIsPassedOn) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('H', std::string(1, 7)))
        .send(status_block(0, "NAME"))
        .expect(request('R', std::string(1, '\0')))
        .send(status_block(0, "Cr\xE8me"))
        .expect(request('R', std::string(1, '\0')))
        .send(status_block(-9, ""));
    s.open(1);
    char line[32];
    EXPECT_EQ(hl_dorv_hdr_ln(s.handle, 0x107, line, sizeof line),
              0); // the code's low byte goes out
    EXPECT_STREQ(line, "NAME");
    EXPECT_EQ(hl_dorv_next_row(s.handle, line, sizeof line), 0);
    EXPECT_STREQ(line, "Cr\xD2me");
    EXPECT_EQ(hl_dorv_next_row(s.handle, line, sizeof line), -9);
    EXPECT_STREQ(line, "");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Lines, ASizeBelowOneFailsWithoutWritingOrSending) {
    BoxCapture boxes;
    PeerSession s;
    s.open();
    char line[4] = "abc";
    EXPECT_EQ(hl_dorv_next_row(s.handle, line, 0), 100);
    EXPECT_EQ(hl_dorv_hdr_ln(s.handle, 2, line, -3), 100);
    EXPECT_STREQ(line, "abc");
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv|Buffer too small (hl_dorv_next_row):\n size = 0",
                                        "Dorv|Buffer too small (hl_dorv_hdr_ln):\n size = -3"}));
}

TEST(Values, AFieldSpanningTwoBlocksIsReturnedWholeWithTheSecondBlocksStatus) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('V'))
        .send(status_block(0, field("SNAME") + "SCI", false) +
              status_block(5, field("TY") + field("")))
        .expect(request('F'))
        .send(status_block(-9, ""));
    s.open(1);
    EXPECT_EQ(hl_dorv_hdr_val(s.handle), 0);
    char text[32];
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 0);
    EXPECT_STREQ(text, "SNAME");
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 5);
    EXPECT_STREQ(text, "SCITY");
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 0); // an empty field, not even a type
    EXPECT_STREQ(text, "");
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), -9);
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), -9); // and again
    EXPECT_EQ(hl_dorv_next_val(s.handle), -9);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Values, AFieldLongerThanTheBufferComesInPieces) {
    struct Case {
        std::string value;
        int warnings;
        std::vector<std::string> pieces; // successive tfield texts with size 8, then -9
        size_t warnings_shown;
    } cases[] = {
        {"S0123456789", 1, {"S012345", "6789"}, 1},
        {"S0123456789", 0, {"S012345", "6789"}, 0},
        {"S123456",
         1,
         {"S123456", ""},
         1}, // exactly size - 1: the terminator is left for the next call
        {"S12345", 1, {"S12345"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(request('F')).send(status_block(0, field(c.value)));
        s.open(c.warnings);
        EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
        char text[8];
        for (const auto& piece : c.pieces) {
            EXPECT_EQ(hl_dorv_tfield(s.handle, text, 8), 0);
            EXPECT_EQ(std::string(text), piece);
        }
        EXPECT_EQ(hl_dorv_tfield(s.handle, text, 8), -9);
        EXPECT_EQ(boxes.boxes.size(), c.warnings_shown);
        for (const auto& b : boxes.boxes)
            EXPECT_EQ(b.text, "Buffer too small (hl_dorv_field):\n Buffer truncted.");
    }
}

TEST(Values, ABufferThatStoresNothingStillMovesPastEachFieldSoALoopUntilEndOfDataEnds) {
    struct Case {
        const char* call;
        int warnings;
        size_t warnings_shown;
    } cases[] = {
        {"hl_dorv_tfield", 1, 3},
        {"hl_dorv_tfield", 0, 0},
        {"hl_dorv_field", 1, 2},
        {"hl_dorv_field", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " warnings " + std::to_string(c.warnings));
        BoxCapture boxes;
        PeerSession s;
        // Three fields, the second spanning two blocks; the last one has a type only.
        s.peer.expect(request('F'))
            .send(status_block(0, field("Sabc") + "N1", false) +
                  status_block(4, "2" + std::string(1, '\0') + field("S"), true));
        s.open(c.warnings);
        EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
        bool tfield = std::string(c.call) == "hl_dorv_tfield";
        std::vector<int> results;
        for (int i = 0; i < 10; ++i) {
            char text[1] = {'#'};
            int r = tfield ? hl_dorv_tfield(s.handle, text, 1) : hl_dorv_field(s.handle, text, 1);
            results.push_back(r);
            if (r == -9) break;
            if (tfield || r == 0) { // hl_dorv_field stores on 0 only
                EXPECT_EQ(text[0], '\0');
            }
        }
        EXPECT_EQ(results, (std::vector<int>{0, 4, 0, -9}));
        EXPECT_EQ(boxes.boxes.size(), c.warnings_shown);
        for (const auto& b : boxes.boxes)
            EXPECT_EQ(b.text, "Buffer too small (hl_dorv_field):\n Buffer truncted.");
    }
}

TEST(Values, FieldWithoutTypeCharacterAndSizeArithmetic) {
    struct Case {
        std::string value;
        int size;
        std::string stored;
    } cases[] = {
        {"N12345", 10, "12345"},
        {"S0123456789AB", 10, "012345678"}, // size - 1 characters
        {"D19960301120000", 15, "19960301120000"},
        {"S", 4, ""},
        {"", 4, ""},
        {"Sx", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        PeerSession s;
        s.peer.expect(request('F')).send(status_block(0, field(c.value)));
        s.open();
        EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
        char text[32];
        std::memset(text, '#', sizeof text);
        EXPECT_EQ(hl_dorv_field(s.handle, text, c.size), 0);
        EXPECT_EQ(std::string(text), c.stored);
        EXPECT_EQ(text[c.stored.size() + 1], '#'); // nothing written behind the terminator
    }
}

TEST(Values, FieldCallsWithoutAPendingRecordAreSequenceErrors) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('H', std::string(1, 2))).send(status_block(0, "NAME"));
    s.open();
    char text[16] = "unchanged";
    auto message = [&](int kind) {
        char hex[3];
        snprintf(hex, sizeof hex, "%02x", kind);
        return "Dorv|Sequence error (hl_dorv_field):\n No pending Dorv transfer\n Call "
               "hl_dorv_hdr_ln() or "
               "hl_dorv_next_val().\n handle = " +
               std::to_string(s.handle) + "\n type   = " + hex;
    };
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 100); // a fresh connection
    EXPECT_EQ(hl_dorv_hdr_ln(s.handle, 2, text, sizeof text), 0);
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 100);
    EXPECT_EQ(hl_dorv_field(s.handle, text, sizeof text), 100);
    EXPECT_STREQ(text, "NAME");
    EXPECT_EQ(boxes.summary(), (std::vector<std::string>{message(0), message(' '), message(' ')}));
}

TEST(Values, ARecordEndingInsideAFieldIsUsedUpWithoutReadingFurther) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('F'))
        .send(status_block(0, field("S1") + "Sunterminated"))
        .expect(request('F'))
        .send(status_block(-9, ""));
    s.open();
    EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
    char text[64];
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 0);
    EXPECT_STREQ(text, "S1");
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), -9);
    EXPECT_EQ(hl_dorv_next_val(s.handle), -9);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Values, AnAbandonedRecordIsDrainedByTheNextRequest) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('F'))
        .send(status_block(0, field("S1"), false) + status_block(0, field("S2"), false) +
              status_block(0, field("S3")))
        .expect(request('F'))
        .send(status_block(-9, ""));
    s.open(1);
    EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
    char text[8];
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 0);
    EXPECT_EQ(hl_dorv_next_val(s.handle), -9);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Pending transfer:\n handle = " +
                                                        std::to_string(s.handle)});
}

TEST(Values, ATextMessageInsteadOfTheNextBlockFailsTheFieldCall) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('F'))
        .send(status_block(0, "Spart", false) + wire_block('M', "lost connection to db"));
    s.open();
    EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
    char text[16];
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, sizeof text), 100);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv SERVER:|lost connection to db"});
}

} // namespace
