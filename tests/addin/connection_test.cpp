// XDorvConnect, XDorvConnectIni, XDorvDisconnect, XDorvVersion and
// XDorvSetInifile against a scripted peer.
#include "addin_fixture.h"
#include "shown_boxes.h"
#include "support/test_files.h"

namespace {

using Connections = AddinTest;

TEST_F(Connections, ConnectPutsTheHandleIntoTheCellAndDisconnectClosesIt) {
    ScriptedPeer peer;
    peer.start();
    ShownBoxes boxes;
    // Lower case is as good as upper case; debug omitted is 0.
    excel::Oper* result = x.XDorvConnect(op.str("winsock"), op.str(" 127.0.0.1 "),
                                         op.str(peer.service()), op.missing());
    ASSERT_EQ(result->xltype, excel::Int) << describe(result);
    int handle = result->val.w;
    EXPECT_GE(handle, 0);
    EXPECT_EQ(describe(x.XDorvDisconnect(op.num(handle))), int_text(0));
    // Closed already: the library says so, the cell shows -1.
    EXPECT_EQ(describe(x.XDorvDisconnect(op.num(handle))), int_text(-1));
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Invalid connection handle:\n handle = " +
                                       std::to_string(handle)});
    peer.stop();
    EXPECT_EQ(peer.accepted(), 1);
}

TEST_F(Connections, TheDebugArgumentIsTheConnectionsWarningsSwitch) {
    struct Case {
        const char* what;
        excel::Oper* debug;
        std::vector<std::string> boxes;
    } cases[] = {
        {"omitted", op.missing(), {}},
        {"0", op.num(0), {}},
        {"1", op.num(1), {"Dorv|EXEC message:\n status = 0\n 3 rows updated"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPeer peer;
        peer.expect(exec_request("update t set a = 1")).send(status_block(0, "3 rows updated"));
        peer.start();
        excel::Oper* result =
            x.XDorvConnect(op.str("WINSOCK"), op.str("127.0.0.1"), op.str(peer.service()), c.debug);
        ASSERT_EQ(result->xltype, excel::Int) << describe(result);
        int handle = result->val.w;
        ShownBoxes boxes;
        EXPECT_EQ(x.XDorvExec(op.num(handle), op.str("update t set a = 1")), 1);
        EXPECT_EQ(boxes.summary(), c.boxes);
        x.XDorvDisconnect(op.num(handle));
        peer.stop();
        EXPECT_TRUE(peer.failures().empty());
    }
}

TEST_F(Connections, ADebugArgumentThatIsNoNumberOpensNothing) {
    ScriptedPeer peer;
    peer.start();
    EXPECT_EQ(describe(x.XDorvConnect(op.str("WINSOCK"), op.str("127.0.0.1"),
                                      op.str(peer.service()), op.str("1"))),
              err_text(excel::ErrValue));
    EXPECT_EQ(describe(x.XDorvConnect(op.str("WINSOCK"), op.missing(), op.str(peer.service()),
                                      op.missing())),
              err_text(excel::ErrNA));
    peer.stop();
    EXPECT_EQ(peer.accepted(), 0);
}

TEST_F(Connections, AFailedConnectShowsMinusOneAfterTheLibrarysMessage) {
    ShownBoxes boxes;
    EXPECT_EQ(
        describe(x.XDorvConnect(op.str("DECNET"), op.str("127.0.0.1"), op.str("1"), op.num(0))),
        int_text(-1));
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Unknown transport: DECNET\n"});
}

TEST_F(Connections, ConnectIniTakesOmittedDebugAndDbopenAsZero) {
    ScriptedPeer peer;
    peer.start();
    std::string file = test_temp_dir() + "/sheet_connect.ini";
    write_text_file(file, "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\n\n[Parts]\nService=" +
                              peer.service() + "\nDBopen=1\nDatabase=parts\n");
    excel::Oper* result =
        x.XDorvConnectIni(op.str(native_path(file)), op.str("Parts"), op.missing(), op.missing());
    ASSERT_EQ(result->xltype, excel::Int) << describe(result);
    EXPECT_GE(result->val.w, 0);
    // dbopen 0: no database is opened, so the peer saw no request.
    EXPECT_EQ(describe(x.XDorvDisconnect(op.num(result->val.w))), int_text(0));
    peer.stop();
    EXPECT_TRUE(peer.failures().empty());
    EXPECT_EQ(peer.accepted(), 1);
    EXPECT_EQ(describe(x.XDorvConnectIni(op.str(native_path(file)), op.num(3), op.missing(),
                                         op.missing())),
              err_text(excel::ErrValue));
    EXPECT_EQ(describe(x.XDorvConnectIni(op.str(native_path(file)), op.str("Parts"), op.missing(),
                                         op.str("x"))),
              err_text(excel::ErrValue));
}

TEST_F(Connections, VersionShowsTheServersTextOrValueOnFailure) {
    std::string long_text(1018, 'v'); // the longest text a reply block carries
    for (size_t i = 0; i < long_text.size(); i += 7)
        long_text[i] = static_cast<char>('0' + i % 10);
    XllSession s;
    s.peer.expect(request('A'))
        .send(status_block(0, "A.02.10 \xE8")) // returned byte for byte
        .expect(request('A'))
        .send(status_block(0, long_text))
        .expect(request('A'))
        .send(wire_block('M', "server is going down"));
    s.open();
    EXPECT_EQ(describe(x.XDorvVersion(s.hdl)), str_text("A.02.10 \xE8"));
    // The whole text fits the add-in's room; the cell gets its first 255 characters.
    EXPECT_EQ(describe(x.XDorvVersion(s.hdl)), str_text(long_text.substr(0, 255)));
    ShownBoxes boxes;
    EXPECT_EQ(describe(x.XDorvVersion(s.hdl)), err_text(excel::ErrValue));
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv SERVER:|server is going down"});
    boxes.clear();
    EXPECT_EQ(describe(x.XDorvVersion(op.num(s.handle + 1000))), err_text(excel::ErrValue));
    EXPECT_EQ(describe(x.XDorvVersion(op.missing())), err_text(excel::ErrNA));
}

TEST_F(Connections, SetInifileGivesOneWhenItCalledTheLibraryAndZeroWhenAnArgumentFails) {
    XllSession s;
    s.open();
    std::string file = test_temp_dir() + "/dialogs.ini";
    ShownBoxes boxes;
    EXPECT_EQ(x.XDorvSetInifile(s.hdl, op.str(file), op.str("Parts")), 1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
    // An invalid handle: the library reports it, the cell still shows 1.
    EXPECT_EQ(x.XDorvSetInifile(op.num(s.handle + 1000), op.str(file), op.str("Parts")), 1);
    EXPECT_EQ(boxes.summary().size(), 1u);
    boxes.clear();
    EXPECT_EQ(x.XDorvSetInifile(op.missing(), op.str(file), op.str("Parts")), 0);
    EXPECT_EQ(x.XDorvSetInifile(s.hdl, op.num(1), op.str("Parts")), 0);
    EXPECT_EQ(x.XDorvSetInifile(s.hdl, op.str(file), op.missing()), 0);
    EXPECT_EQ(x.XDorvSetInifile(s.hdl, op.err(excel::ErrNA), op.str("Parts")), 0);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
}

} // namespace
