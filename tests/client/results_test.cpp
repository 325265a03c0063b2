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

// Reads one field as a caller does: a piece that fills the buffer (size - 1
// characters) is followed by the rest of its field.
std::vector<std::string> read_pieces(int handle, bool tfield, int size, int* result) {
    std::vector<std::string> pieces;
    std::vector<char> text(static_cast<size_t>(size));
    do {
        *result = tfield ? hl_dorv_tfield(handle, text.data(), size)
                         : hl_dorv_field(handle, text.data(), size);
        if (*result != 0) break;
        pieces.emplace_back(text.data());
    } while (pieces.back().size() == static_cast<size_t>(size - 1) && pieces.size() < 100);
    return pieces;
}

std::string joined(const std::vector<std::string>& pieces) {
    std::string whole;
    for (const auto& piece : pieces)
        whole += piece;
    return whole;
}

TEST(Values, ThePiecesOfAFieldJoinToTheWholeField) {
    const std::string letters = "ABCDEFGHIJKLMNOP";
    const std::string long_text = std::string(700, 'x') + std::string(800, 'y');
    struct Case {
        const char* call;
        std::string value; // the first field, type character included; "N7" follows it
        size_t split;      // where the first block ends within the first field; 0: one block
        int size;
        std::vector<std::string> pieces;
    } cases[] = {
        {"hl_dorv_field", "S" + letters, 0, 4, {"ABC", "DEF", "GHI", "JKL", "MNO", "P"}},
        {"hl_dorv_field",
         "S" + letters,
         0,
         3,
         {"AB", "CD", "EF", "GH", "IJ", "KL", "MN", "OP", ""}},
        {"hl_dorv_field", "S" + letters, 0, 5, {"ABCD", "EFGH", "IJKL", "MNOP", ""}},
        {"hl_dorv_field", "S" + letters, 0, 17, {letters, ""}}, // exactly size - 1
        {"hl_dorv_field", "S" + letters, 0, 18, {letters}},
        {"hl_dorv_field", "S" + letters, 7, 4, {"ABC", "DEF", "GHI", "JKL", "MNO", "P"}},
        {"hl_dorv_field", "S", 0, 4, {""}},
        {"hl_dorv_field", "SABC", 0, 4, {"ABC", ""}},
        {"hl_dorv_tfield", "S" + letters, 0, 4, {"SAB", "CDE", "FGH", "IJK", "LMN", "OP"}},
        {"hl_dorv_tfield", "S" + letters, 0, 6, {"SABCD", "EFGHI", "JKLMN", "OP"}},
        {"hl_dorv_tfield", "S" + letters, 0, 18, {"S" + letters, ""}},
        {"hl_dorv_tfield", "S" + letters, 3, 4, {"SAB", "CDE", "FGH", "IJK", "LMN", "OP"}},
        // A field longer than a block: a buffer that holds it takes it in one piece.
        {"hl_dorv_field", "S" + long_text, 900, 2000, {long_text}},
        {"hl_dorv_field",
         "S" + long_text,
         900,
         1024,
         {long_text.substr(0, 1023), long_text.substr(1023)}},
        {"hl_dorv_tfield",
         "S" + long_text,
         900,
         1024,
         {"S" + long_text.substr(0, 1022), long_text.substr(1022)}},
    };
    for (const auto& c : cases) {
        bool tfield = std::string(c.call) == "hl_dorv_tfield";
        SCOPED_TRACE(std::string(c.call) + " size " + std::to_string(c.size) + " split " +
                     std::to_string(c.split) + " " + c.value.substr(0, 20));
        std::string data = field(c.value) + field("N7");
        BoxCapture boxes;
        PeerSession s;
        if (c.split == 0)
            s.peer.expect(request('F')).send(status_block(0, data));
        else
            s.peer.expect(request('F'))
                .send(status_block(0, data.substr(0, c.split), false) +
                      status_block(0, data.substr(c.split)));
        s.open(1);
        ASSERT_EQ(hl_dorv_next_val(s.handle), 0);
        int result = 0;
        std::vector<std::string> pieces = read_pieces(s.handle, tfield, c.size, &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(pieces, c.pieces);
        EXPECT_EQ(joined(pieces), tfield ? c.value : c.value.substr(1));
        // Every piece but the last filled the buffer and was warned about.
        EXPECT_EQ(boxes.boxes.size(), c.pieces.size() - 1);
        // The next field begins afresh, with its type character.
        EXPECT_EQ(read_pieces(s.handle, tfield, c.size, &result),
                  std::vector<std::string>{tfield ? "N7" : "7"});
        EXPECT_EQ(read_pieces(s.handle, tfield, c.size, &result), std::vector<std::string>{});
        EXPECT_EQ(result, -9);
    }
}

TEST(Values, AContinuationHasNoTypeCharacterWhicheverCallReadsIt) {
    // The calls take turns on one record; each piece begins where the last ended.
    struct Case {
        const char* first_call;
        std::vector<std::string> pieces; // size 4, the calls alternating
    } cases[] = {
        {"hl_dorv_tfield", {"SAB", "CDE", "FGH", "I", "N4"}},
        {"hl_dorv_field", {"ABC", "DEF", "GHI", "", "4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first_call);
        PeerSession s;
        s.peer.expect(request('F')).send(status_block(0, field("SABCDEFGHI") + field("N4")));
        s.open();
        ASSERT_EQ(hl_dorv_next_val(s.handle), 0);
        bool tfield = std::string(c.first_call) == "hl_dorv_tfield";
        std::vector<std::string> pieces;
        char text[4];
        for (size_t i = 0; i < c.pieces.size(); ++i, tfield = !tfield) {
            int result =
                tfield ? hl_dorv_tfield(s.handle, text, 4) : hl_dorv_field(s.handle, text, 4);
            ASSERT_EQ(result, 0);
            pieces.emplace_back(text);
        }
        EXPECT_EQ(pieces, c.pieces);
        EXPECT_EQ(hl_dorv_tfield(s.handle, text, 4), -9);
    }
}

TEST(Values, ANewRecordBeginsWithAFieldEvenWhenTheLastOneWasLeftInTheMiddle) {
    PeerSession s;
    s.peer.expect(request('F'))
        .send(status_block(0, field("SABCDEFGHI")))
        .expect(request('F'))
        .send(status_block(0, field("Sxyz")));
    s.open();
    ASSERT_EQ(hl_dorv_next_val(s.handle), 0);
    char text[4];
    ASSERT_EQ(hl_dorv_field(s.handle, text, 4), 0);
    EXPECT_STREQ(text, "ABC");
    ASSERT_EQ(hl_dorv_next_val(s.handle), 0); // the rest of "SABCDEFGHI" is drained
    ASSERT_EQ(hl_dorv_field(s.handle, text, 4), 0);
    EXPECT_STREQ(text, "xyz");
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
