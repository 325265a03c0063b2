// Malformed requests are answered with a text message or end their
// connection, never the server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "test_server.h"

namespace {

using namespace std::string_literals;
using dorvd_test::RawClient;
using dorvd_test::TestServer;

std::string block(char type, const std::string& payload) {
    const size_t length = payload.size() + 4;
    return std::string{static_cast<char>(length >> 8), static_cast<char>(length & 0xFF), type, 1} +
           payload;
}

struct MalformedCase {
    const char* name;
    std::string bytes;
    const char* message_part;
    bool closes;
};

class Malformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, GetsAMessageAndTheServerGoesOn) {
    const MalformedCase& c = GetParam();
    TestServer server([](auto& o) { o.allow_host_commands = true; });
    {
        RawClient client = server.connect();
        ASSERT_TRUE(client.send_bytes(c.bytes));
        const auto reply = client.read_block();
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->type, 'M');
        EXPECT_TRUE(reply->last());
        EXPECT_NE(reply->payload.find(c.message_part), std::string::npos) << reply->payload;
        if (c.closes) {
            EXPECT_TRUE(client.closed_by_server());
        } else {
            EXPECT_EQ(client.echo("same connection"), "same connection");
        }
    }
    RawClient next = server.connect();
    EXPECT_EQ(next.echo("next connection"), "next connection");
}

std::string over_long_block() {
    std::string bytes = "\x07\xD0"s + "E\x01";
    bytes.append(2000 - 4, 'z');
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Malformed,
    ::testing::Values(
        MalformedCase{"LengthZero", "\x00\x00"s, "below 4", true},
        MalformedCase{"LengthThree",
                      "\x00\x03"s
                      "E",
                      "below 4", true},
        MalformedCase{"LengthAbove1024", over_long_block(), "above 1024", false},
        MalformedCase{"UnknownType", block('Z', "hello"), "Unknown request type 0x5A", false},
        MalformedCase{"StatementWithoutCode", block('S', ""), "without a request code", false},
        MalformedCase{"UnknownStatementCode", block('S', "Q"), "Unknown statement request code",
                      false},
        MalformedCase{"ExecWithoutArgument", block('S', "E"), "'E' lacks its argument byte", false},
        MalformedCase{"ExplainWithoutArgument", block('S', "M"), "'M' lacks", false},
        MalformedCase{"HeaderWithoutArgument", block('S', "H"), "'H' lacks", false},
        MalformedCase{"RowWithoutArgument", block('S', "R"), "'R' lacks", false},
        MalformedCase{"HostCommandWithZeroByte", block('U', "echo a\0b"s), "zero byte", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Malformed, AConnectionClosedMidBlockEndsOnlyThatConnection) {
    TestServer server;
    for (const std::string& partial : {"\x00"s, "\x00\x10"s,
                                       "\x00\x10"
                                       "E\x01"
                                       "ab"s}) {
        RawClient client = server.connect();
        ASSERT_TRUE(client.send_bytes(partial));
        client.close_now();
    }
    RawClient next = server.connect();
    EXPECT_EQ(next.echo("alive"), "alive");
}

TEST(Malformed, ManyBrokenConnectionsInARowLeaveTheServerServing) {
    TestServer server([](auto& o) { o.max_connections = 2; });
    for (int i = 0; i < 20; ++i) {
        RawClient client = server.connect();
        ASSERT_TRUE(client.send_bytes("\x00\x01"s));
        EXPECT_TRUE(client.read_block().has_value());
    }
    // The slots of the broken connections are free again.
    bool served = false;
    for (int attempt = 0; attempt < 50 && !served; ++attempt) {
        RawClient a = server.connect();
        RawClient b = server.connect();
        served = a.echo("a") == "a" && b.echo("b") == "b";
        if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(served);
}

} // namespace
