// The Windows ANSI <-> HP Roman-8 tables, and where they are applied.
#include "client/protocol/charset.h"
#include "peer_session.h"
#include "support/box_capture.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// The published table: Windows ANSI value of each server code 0xA0 to 0xFF.
const unsigned char published[96] = {
    0x20, 0xC0, 0xC2, 0xC8, 0xCA, 0xCB, 0xCE, 0xCF, 0x27, 0x60, 0x88, 0xA8, 0x98, 0xD9, 0xDB, 0xA3,
    0xAF, 0xDD, 0xFD, 0xB0, 0xC7, 0xE7, 0xD1, 0xF1, 0xA1, 0xBF, 0xA4, 0xA3, 0xA5, 0xA7, 0x83, 0xA2,
    0xE2, 0xEA, 0xF4, 0xFB, 0xE1, 0xE9, 0xF3, 0xFA, 0xE0, 0xE8, 0xF2, 0xF9, 0xE4, 0xEB, 0xF6, 0xFC,
    0xC5, 0xEE, 0xD8, 0xC6, 0xE5, 0xED, 0xF8, 0xE6, 0xC4, 0xEC, 0xD6, 0xDC, 0xC9, 0xEF, 0xDF, 0xD4,
    0xC1, 0xC3, 0xE3, 0xD0, 0xF0, 0xCD, 0xCC, 0xD3, 0xD2, 0xD5, 0xF5, 0x8A, 0x9A, 0xDA, 0x9F, 0xFF,
    0xDE, 0xFE, 0xB7, 0xB5, 0xB6, 0xBE, 0x2D, 0xBC, 0xBD, 0xAA, 0xBA, 0xAB, 0x20, 0xBB, 0xB1, 0x20,
};

TEST(Charset, ServerCodesArriveAsThePublishedTableSays) {
    for (int x = 0; x < 256; ++x) {
        int expected = x < 128 ? x : x < 160 ? 0x20 : published[x - 160];
        EXPECT_EQ(roman8_to_ansi[x], expected) << "server code " << x;
    }
}

TEST(Charset, SevenCodesDifferFromCodePage1252) {
    struct Case {
        int server, windows;
    } cases[] = {{0xA0, 0x20}, {0xA8, 0x27}, {0xA9, 0x60}, {0xAF, 0xA3},
                 {0xF6, 0x2D}, {0xFC, 0x20}, {0xFF, 0x20}};
    for (const auto& c : cases)
        EXPECT_EQ(roman8_to_ansi[c.server], c.windows) << c.server;
}

TEST(Charset, ThirtyNineWindowsCodesBecomeSpaces) {
    std::set<int> spaces;
    for (int a = 0x80; a < 256; ++a)
        if (ansi_to_roman8[a] == 0x20) spaces.insert(a);
    std::set<int> expected = {0x80, 0x81, 0x82, 0x84, 0x85, 0x86, 0x87, 0x89, 0x8B, 0x8C,
                              0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96,
                              0x97, 0x99, 0x9B, 0x9C, 0x9D, 0x9E, 0xA0, 0xA6, 0xA9, 0xAC,
                              0xAD, 0xAE, 0xB2, 0xB3, 0xB4, 0xB8, 0xB9, 0xD7, 0xF7};
    EXPECT_EQ(expected.size(), 39u);
    EXPECT_EQ(spaces, expected);
}

TEST(Charset, EveryOtherWindowsCodeGoesToTheLastServerCodeThatShowsIt) {
    for (int a = 0; a < 256; ++a) {
        if (a < 128) {
            EXPECT_EQ(ansi_to_roman8[a], a);
            continue;
        }
        int last = -1;
        for (int s = 160; s < 256; ++s)
            if (published[s - 160] == a) last = s;
        if (last >= 0) {
            EXPECT_EQ(ansi_to_roman8[a], last) << "windows code " << a;
        }
    }
    EXPECT_EQ(ansi_to_roman8[0xA3], 0xBB); // pound sign: 0xBB comes after the lira sign 0xAF
    EXPECT_EQ(roman8_to_ansi[0xBB], 0xA3);
    EXPECT_EQ(ansi_to_roman8[0xE9], 0xC5); // e acute
}

TEST(Charset, StatementsAndRowsAreTranslatedVersionExplainAndMessagesAreNot) {
    BoxCapture boxes;
    PeerSession s;
    std::string high = "\xE8\xBB\xA0\x90"; // as the server sends them
    s.peer
        .expect(exec_request("SELECT '\xC5\xBB \x20'")) // e acute, pound, en dash
        .send(status_block(0, "msg " + high))           // EXEC message: untranslated
        .expect(request('R', std::string(1, '\0')))
        .send(status_block(0, "row " + high))
        .expect(request('A'))
        .send(status_block(0, "v " + high))
        .expect(request('M', std::string(1, '\0')))
        .send(status_block(0, "why " + high))
        .expect(request('V'))
        .send(status_block(0, std::string("S", 1) + high + std::string(1, '\0')));
    s.open(1);
    char statement[] = "SELECT '\xE9\xA3 \x96'";
    EXPECT_EQ(hl_dorv_exec(s.handle, statement), 0);
    char text[1100];
    EXPECT_EQ(hl_dorv_next_row(s.handle, text, 100), 0);
    EXPECT_EQ(std::string(text), "row \xD2\xA3\x20\x20");
    EXPECT_EQ(hl_dorv_version(s.handle, text), 0);
    EXPECT_EQ(std::string(text), "v " + high);
    EXPECT_EQ(hl_dorv_explain(s.handle, text, 100, 0), 0);
    EXPECT_EQ(std::string(text), "why " + high);
    EXPECT_EQ(hl_dorv_hdr_val(s.handle), 0);
    EXPECT_EQ(hl_dorv_tfield(s.handle, text, 100), 0);
    EXPECT_EQ(std::string(text), "S\xD2\xA3\x20\x20");
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|EXEC message:\n status = 0\n msg " + high});
}

} // namespace
