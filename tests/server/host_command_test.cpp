// Host commands: refused unless allowed, output streamed between OK and EOF.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "log_capture.h"
#include "test_server.h"

namespace {

using dorvd_test::RawClient;
using dorvd_test::TestServer;
using dorvd_test::WireBlock;

struct CommandOutput {
    bool ok = false;
    std::string output;
    std::vector<WireBlock> blocks; // the 'U' blocks
};

// Sends the command and reads "OK", the output blocks and "EOF".
CommandOutput run_command(RawClient& client, const std::string& command) {
    CommandOutput result;
    if (!client.send_block('U', command)) return result;
    const auto accepted = client.read_block();
    if (!accepted || accepted->type != 'M' || accepted->payload != "OK") {
        ADD_FAILURE() << "no OK: " << (accepted ? accepted->payload : "nothing");
        return result;
    }
    for (;;) {
        const auto block = client.read_block();
        if (!block) {
            ADD_FAILURE() << "output ended without EOF";
            return result;
        }
        if (block->type == 'M') {
            EXPECT_EQ(block->payload, "EOF");
            EXPECT_TRUE(block->last());
            result.ok = block->payload == "EOF";
            return result;
        }
        EXPECT_EQ(block->type, 'U');
        EXPECT_FALSE(block->last());
        EXPECT_FALSE(block->payload.empty());
        result.output += block->payload;
        result.blocks.push_back(*block);
    }
}

TEST(HostCommands, AreRefusedByDefault) {
    TestServer server;
    RawClient client = server.connect();
    const auto marker = server.data_dir() / "ran.txt";
    ASSERT_TRUE(client.send_block('U', "echo should not run > " + marker.string()));
    const auto reply = client.read_block();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->type, 'M');
    EXPECT_TRUE(reply->last());
    EXPECT_NE(reply->payload.find("not allowed"), std::string::npos) << reply->payload;
    EXPECT_EQ(client.echo("still here"), "still here");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(HostCommands, StreamOutputAndErrorsInRoman8) {
    TestServer server([](auto& o) { o.allow_host_commands = true; });
    RawClient client = server.connect();
    const auto result =
        run_command(client, "printf 'one\\ntwo\\n'; echo oops >&2; printf 'M\\303\\274ller'");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "one\ntwo\noops\nM\317ller"); // ü is 0xCF in Roman-8
    // The command text arrives in Roman-8 too.
    const auto accented = run_command(client, "printf '%s' 'Stra\336e' | od -An -tx1"); // ß
    ASSERT_TRUE(accented.ok);
    EXPECT_NE(accented.output.find("c3 9f"), std::string::npos) << accented.output;
    EXPECT_EQ(client.echo("after"), "after");
}

TEST(HostCommands, ACommandWithoutOutputOrThatFailsStillEnds) {
    TestServer server([](auto& o) { o.allow_host_commands = true; });
    RawClient client = server.connect();
    const auto silent = run_command(client, "exit 3");
    ASSERT_TRUE(silent.ok);
    EXPECT_TRUE(silent.blocks.empty());
    const auto missing = run_command(client, "no-such-command-here");
    ASSERT_TRUE(missing.ok);
    EXPECT_NE(missing.output.find("not found"), std::string::npos) << missing.output;
}

TEST(HostCommands, SmallBlocksCarryLongOutput) {
    TestServer server([](auto& o) {
        o.allow_host_commands = true;
        o.max_block = 8;
    });
    RawClient client = server.connect();
    const auto result = run_command(client, "seq 1 2000");
    ASSERT_TRUE(result.ok);
    std::string expected;
    for (int i = 1; i <= 2000; ++i)
        expected += std::to_string(i) + "\n";
    EXPECT_EQ(result.output, expected);
    for (const WireBlock& block : result.blocks)
        EXPECT_LE(block.length, 8u);
}

TEST(HostCommands, APipeHeldByABackgroundProcessDoesNotHoldTheReply) {
    TestServer server([](auto& o) { o.allow_host_commands = true; });
    RawClient client = server.connect();
    const auto start = std::chrono::steady_clock::now();
    const auto result = run_command(client, "sleep 30 & echo started");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "started\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(HostCommands, ShutdownStopsARunningCommand) {
    const auto start = std::chrono::steady_clock::now();
    {
        TestServer server([](auto& o) { o.allow_host_commands = true; });
        RawClient client = server.connect();
        ASSERT_TRUE(client.send_block('U', "sleep 30"));
        const auto accepted = client.read_block();
        ASSERT_TRUE(accepted.has_value());
        EXPECT_EQ(accepted->payload, "OK");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A silent command must not outlive its client, even though it stopped
// counting against the connection limit when the client left.
TEST(HostCommands, ACommandWhoseClientHasGoneIsKilled) {
    dorvd_test::LogCapture log;
    TestServer server([](auto& o) {
        o.allow_host_commands = true;
        o.max_connections = 1;
    });
    {
        RawClient client = server.connect();
        ASSERT_TRUE(client.send_block('U', "sleep 30"));
        const auto accepted = client.read_block();
        ASSERT_TRUE(accepted.has_value());
        EXPECT_EQ(accepted->payload, "OK");
    }
    EXPECT_TRUE(log.wait_for("host command ended: killed by signal 9")) << log.text();
    EXPECT_EQ(server.connect().echo("next"), "next");
}

} // namespace
