// The stream transport: connecting, reading and writing blocks, error texts.
#include "client/transport/wnsk.h"
#include "support/box_capture.h"
#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A port on which nothing listens: bound once, then closed again.
std::string closed_port() {
    ScriptedPeer probe;
    std::string service = probe.service();
    probe.stop();
    return service;
}

class Transport : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(wnsk_setup(), 0); }
    void TearDown() override {
        wnsk_cleanup();
        peer.stop();
        EXPECT_TRUE(peer.failures().empty()) << (peer.failures().empty() ? "" : peer.failures()[0]);
    }
    int connect_peer() {
        peer.start();
        int s = wnsk_connect("127.0.0.1", peer.service().c_str());
        EXPECT_GE(s, 0);
        return s;
    }
    ScriptedPeer peer;
    BoxCapture boxes;
};

TEST_F(Transport, ServiceAndHostTextsAreParsedAsTheyAreWritten) {
    peer.start();
    std::string port = peer.service();
    struct Case {
        std::string host, service, message; // empty message: connects
    } cases[] = {
        {"127.0.0.1", port, ""},
        {"127.0.0.1", port + "x", ""}, // the leading digits alone
        {"localhost", port, ""},       // a name is resolved
        {"127.0.0.1", "0", "0: Invalid port number."},
        {"127.0.0.1", "65536", "65536: Invalid port number."}, // truncated to 16 bits: 0
        {"127.0.0.1", "no-such-service-dorv",
         "Service no-such-service-dorv (tcp) not found in your SERVICES file.\n"},
        {"255.255.255.255", port, "255.255.255.255: Invalid host address."},
        {"1nosuchhost", port,
         "1nosuchhost: Invalid host address."}, // a digit first: never looked up by name
        {"no-such-host.invalid", port, "Host no-such-host.invalid is not found in your HOSTS file"},
        {"no-such-host.invalid", "0", "0: Invalid port number."}, // the service is resolved first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host + " " + c.service);
        boxes.clear();
        int s = wnsk_connect(c.host.c_str(), c.service.c_str());
        if (c.message.empty()) {
            EXPECT_GE(s, 0);
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_EQ(wnsk_disconnect(s), 0);
        } else {
            EXPECT_EQ(s, -1);
            EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|" + c.message});
        }
    }
}

TEST_F(Transport, ARefusedConnectionShowsTheWinsockNumberAndItsText) {
    std::string port = closed_port();
    EXPECT_EQ(wnsk_connect("127.0.0.1", port.c_str()), -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{
                                   "Dorv|Unable to connect host.\n Host = 127.0.0.1, Service = " +
                                   port + "\n errno 10061: [10061] Connection refused"});
}

TEST_F(Transport, DisconnectOfMinusOneClosesNothing) {
    EXPECT_EQ(wnsk_disconnect(-1), 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Transport, BrokenBlocksAreReportedWithBytesReadAndDeclaredSize) {
    struct Case {
        std::string sent;
        std::string message;
    } cases[] = {
        {"", "Inconsistent message:\n read = 0, size = 0"}, // closed at once
        {wire_length(2000) + std::string(1100, 'x'),
         "Inconsistent message:\n read = 1024, size = 2000"},
        {wire_length(3) + "S", "Inconsistent message:\n read = 3, size = 3"},
        {wire_length(2), "Inconsistent message:\n read = 2, size = 2"},
        {wire_length(1), "Inconsistent message:\n read = 2, size = 1"},
        {wire_length(0), "Inconsistent message:\n read = 2, size = 0"},
        {wire_length(10) + "S\x01"
                           "ab",
         "Inconsistent message:\n read = 6, size = 10"}, // closed mid-block
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.sent));
        ScriptedPeer broken;
        broken.send(c.sent).close_connection();
        broken.start();
        int s = wnsk_connect("127.0.0.1", broken.service().c_str());
        ASSERT_GE(s, 0);
        boxes.clear();
        char block[WNSK_BLOCK_SIZE];
        EXPECT_EQ(wnsk_read(s, block), -1);
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|" + c.message});
        wnsk_disconnect(s);
        broken.stop();
    }
}

TEST_F(Transport, WholeBlocksArriveWithTheirLengthInHostOrder) {
    std::string full(1020, 'z');
    full[0] = 'a';
    full[1019] = 'q';
    peer.send(wire_block('S', "")).send(wire_block('E', full, false));
    int s = connect_peer();
    char block[WNSK_BLOCK_SIZE];
    ASSERT_EQ(wnsk_read(s, block), 0);
    EXPECT_EQ(block_length(block), 4u);
    EXPECT_EQ(block[2], 'S');
    ASSERT_EQ(wnsk_read(s, block), 0);
    EXPECT_EQ(block_length(block), 1024u);
    EXPECT_EQ(block[2], 'E');
    EXPECT_EQ(block[3], 0);
    EXPECT_EQ(std::string(block + 4, 1020), full);
    EXPECT_TRUE(boxes.boxes.empty());
    wnsk_disconnect(s);
}

TEST_F(Transport, WriteSendsNetworkOrderAndLeavesTheCallersLengthInHostOrder) {
    peer.expect(wire_block('E', "hello"));
    int s = connect_peer();
    char block[WNSK_BLOCK_SIZE];
    set_block_length(block, 9);
    block[2] = 'E';
    block[3] = 1;
    std::memcpy(block + 4, "hello", 5);
    EXPECT_EQ(wnsk_write(s, block), 0);
    EXPECT_EQ(block_length(block), 9u);
    wnsk_disconnect(s);
    peer.stop();

    // A send that fails restores the length as well.
    boxes.clear();
    EXPECT_EQ(wnsk_write(s, block), -1); // the socket is closed now
    EXPECT_EQ(block_length(block), 9u);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(
        boxes.boxes[0].text.rfind("Send failed.\n nSd = " + std::to_string(s) + "\n errno 100", 0),
        0u)
        << boxes.boxes[0].text;
}

TEST(TransportErrorText, NumbersAreLookedUpInTheStringTable) {
    struct Case {
        int number;
        int size;
        std::string text;
    } cases[] = {
        {0, 256, "[10000] No Error"},
        {10061, 256, "[10061] Connection refused"},
        {11004, 256, "[11004] Valid name, no data record of requested type"},
        {10101, 256, ""}, // not in the table
        {9999, 256, ""},  // below 10000: no text
        {-5, 256, ""},
        {10054, 8, "[10054]"}, // cut to the buffer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        char buffer[256];
        std::memset(buffer, 'X', sizeof buffer);
        int n = wnsk_error_text(c.number, buffer, c.size);
        EXPECT_EQ(std::string(buffer), c.text);
        EXPECT_EQ(n, static_cast<int>(c.text.size()));
    }
}

} // namespace
