// The connection functions and the entry selection through Excel's 12
// interface: handles, the whole version text, the key as UTF-16.
#include "addin_fixture.h"
#include "result_rows.h"
#include "shown_boxes.h"
#include "support/test_files.h"

namespace {

std::string header_request() {
    return request('H', std::string(1, 2));
}
std::string row_request() {
    return request('R', std::string(1, '\0'));
}

std::u16string wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

using Connection12 = Addin12Test;

TEST_F(Connection12, ConnectAndDisconnectGiveTheirNumbers) {
    ScriptedPeer peer;
    peer.start();
    ShownBoxes boxes;
    excel::Oper12* result = x12.XDorvConnect12(op12.str(u"winsock"), op12.str(u" 127.0.0.1 "),
                                               op12.str(wide(peer.service())), op12.num(0));
    ASSERT_EQ(result->xltype, excel::Int) << describe(result);
    int handle = result->val.w;
    EXPECT_GE(handle, 0);
    EXPECT_EQ(describe(x12.XDorvDisconnect12(op12.num(handle))), int_text(0));
    EXPECT_EQ(describe(x12.XDorvDisconnect12(op12.num(handle))), int_text(-1));
    EXPECT_EQ(describe(x12.XDorvConnect12(op12.str(u"DECNET"), op12.str(u"127.0.0.1"),
                                          op12.str(u"1"), op12.missing())),
              int_text(-1));
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv|Invalid connection handle:\n handle = " +
                                            std::to_string(handle),
                                        "Dorv|Unknown transport: DECNET\n"}));
    peer.stop();
    EXPECT_EQ(peer.accepted(), 1);
}

TEST_F(Connection12, ConnectIniAndSetInifileTakeTheirTexts) {
    ScriptedPeer peer;
    peer.start();
    std::string file = test_temp_dir() + "/sheet_connect12.ini";
    write_text_file(
        file, "[Parts]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + peer.service() + "\n");
    excel::Oper12* result = x12.XDorvConnectIni12(
        op12.str(wide(native_path(file))), op12.str(u"Parts"), op12.missing(), op12.missing());
    ASSERT_EQ(result->xltype, excel::Int) << describe(result);
    int handle = result->val.w;
    EXPECT_EQ(x12.XDorvSetInifile12(op12.num(handle), op12.str(wide(native_path(file))),
                                    op12.str(u"Parts")),
              1);
    EXPECT_EQ(x12.XDorvSetInifile12(op12.num(handle), op12.num(1), op12.str(u"Parts")), 0);
    EXPECT_EQ(describe(x12.XDorvDisconnect12(op12.num(handle))), int_text(0));
    peer.stop();
    EXPECT_EQ(peer.accepted(), 1);
}

TEST_F(Connection12, VersionShowsTheServersWholeText) {
    std::string longest = long_text(1018); // the longest text a reply block carries
    XllSession s;
    s.peer.expect(request('A'))
        .send(status_block(0, "A.02.10 \xCF")) // returned byte for byte: Windows ANSI I diaeresis
        .expect(request('A'))
        .send(status_block(0, longest));
    s.open12();
    EXPECT_EQ(describe(x12.XDorvVersion12(s.hdl12)), str_text("A.02.10 \u00CF"));
    // Through this interface a cell takes it all, not only 255 characters.
    EXPECT_EQ(describe(x12.XDorvVersion12(s.hdl12)), str_text(longest));
    ShownBoxes boxes;
    EXPECT_EQ(describe(x12.XDorvVersion12(op12.num(s.handle + 1000))), err_text(excel::ErrValue));
}

TEST_F(Connection12, TheKeyComesBackAsAUtf16Text) {
    const char* header = "NAME      CITY      ";
    XllSession session;
    for (int i = 0; i < 2; ++i) {
        session.peer.expect(header_request()).send(status_block(0, header));
        session.peer.expect(row_request()).send(status_block(0, "Smith     K\xCFln"));
        session.peer.expect(row_request()).send(status_block(-9, ""));
    }
    session.peer.expect(header_request()).send(status_block(0, header));
    session.peer.expect(row_request()).send(status_block(-9, ""));
    session.open12();
    struct Case {
        excel::Oper12 *keyfield, *keylen;
        std::u16string key;
    } cases[] = {
        {op12.str(u"CITY"), op12.num(4), u"K\u00FCln"},
        {op12.missing(), op12.missing(), u"Smith     K\u00FCln"},
        {op12.missing(), op12.missing(), u"No entry qualified"},
    };
    for (const auto& c : cases) {
        char16_t* key = x12.XDorvSelectEntry12(session.hdl12, c.keyfield, c.keylen, op12.missing());
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(to_utf8(key), to_utf8(c.key));
    }
    EXPECT_EQ(x12.XDorvSelectEntry12(session.hdl12, op12.num(1), op12.missing(), op12.missing()),
              nullptr);
}

} // namespace
