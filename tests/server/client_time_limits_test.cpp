// Time limits on clients: a request block must arrive whole in time, idle
// time is unlimited unless asked for, an idle transaction can be ended, and
// a client that does not read its replies is let go.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/socket.h>
#include <thread>

#include "log_capture.h"
#include "test_server.h"

namespace {

using dorvd_test::LogCapture;
using dorvd_test::RawClient;
using dorvd_test::TestServer;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace std::string_literals;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Sends a block's first bytes and then nothing: the server closes the
// connection once the read time-out has passed; a block that is only slow
// but comes whole in time is answered.
TEST(ReadTimeout, ABlockThatDoesNotArriveWholeIsClosed) {
    LogCapture log;
    TestServer server([](auto& o) { o.read_timeout_s = 1; });
    struct Case {
        std::string first; // what arrives before the pause
        const char* what;
    };
    const Case cases[] = {{"\x00"s, "one byte of the length"},
                          {"\x00\x08"s, "the length"},
                          {"\x00\x08"s + "E\x01he", "part of the payload"},
                          {"\x07\xD0"s + "E\x01xx", "a block above 1024 bytes being skipped"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawClient client = server.connect();
        const auto start = Clock::now();
        ASSERT_TRUE(client.send_bytes(c.first));
        client.set_wait(10s);
        EXPECT_TRUE(client.closed_by_server());
        EXPECT_GE(seconds_since(start), 0.9);
        EXPECT_LT(seconds_since(start), 5.0);
    }
    EXPECT_TRUE(log.wait_for("a request block did not arrive whole within 1 s")) << log.text();
    RawClient slow = server.connect();
    ASSERT_TRUE(slow.send_bytes("\x00\x08"s + "E"));
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(slow.send_bytes("\x01"s + "hell"));
    EXPECT_EQ(slow.read_block()->payload, "hell");
}

TEST(IdleTimeout, IsUnlimitedUnlessGiven) {
    TestServer server([](auto& o) { o.read_timeout_s = 1; });
    RawClient client = server.connect();
    ASSERT_EQ(client.exec("BEGIN").status, 0);
    // Idle longer than the read time-out, inside a transaction too.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(client.echo("still"), "still");
    EXPECT_EQ(client.exec("COMMIT").status, 0);
}

TEST(IdleTimeout, ClosesAnIdleConnectionWhenGiven) {
    LogCapture log;
    TestServer server([](auto& o) { o.idle_timeout_s = 1; });
    RawClient client = server.connect();
    ASSERT_EQ(client.echo("first"), "first");
    const auto start = Clock::now();
    EXPECT_TRUE(client.closed_by_server());
    EXPECT_GE(seconds_since(start), 0.9);
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_TRUE(log.wait_for("idle for 1 s; closed")) << log.text();
}

// An idle transaction is rolled back and its connection closed; without a
// transaction the same idle time is fine.
TEST(IdleInTransactionTimeout, RollsBackAndCloses) {
    LogCapture log;
    TestServer server([](auto& o) { o.idle_in_transaction_timeout_s = 1; });
    RawClient idle = server.connect();
    ASSERT_EQ(idle.exec("OPEN DATABASE 'sample'").status, 0);
    RawClient holder = server.connect();
    ASSERT_EQ(holder.exec("OPEN DATABASE 'sample'").status, 0);
    ASSERT_EQ(holder.exec("BEGIN").status, 0);
    ASSERT_EQ(holder.exec("UPDATE products SET stock = 0").status, 0);
    const auto start = Clock::now();
    EXPECT_TRUE(holder.closed_by_server());
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_TRUE(log.wait_for("idle in a transaction for 1 s; rolled back and closed"))
        << log.text();
    std::this_thread::sleep_for(500ms);
    // The connection without a transaction stayed, and sees nothing of the update.
    ASSERT_EQ(idle.exec("SELECT sum(stock) FROM products").status, 0);
    EXPECT_EQ(idle.statement('F').data, "N775"s + '\0');
    // A result left half read holds its read too.
    ASSERT_EQ(idle.exec("SELECT id FROM products").status, 0);
    EXPECT_TRUE(idle.closed_by_server());
}

// A client that sends requests and never reads: once its window and the
// server's buffer are full, the reply waits at most the send time-out.
TEST(SendTimeout, ClosesAConnectionThatDoesNotReadItsReplies) {
    LogCapture log;
    TestServer server([](auto& o) {
        o.send_timeout_s = 1;
        o.max_connections = 1;
    });
    RawClient hog = server.connect();
    const int small = 4096;
    setsockopt(hog.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_EQ(hog.exec("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i "
                       "< 100) SELECT hex(randomblob(200000)) FROM c")
                  .status,
              0);
    std::string requests;
    for (int i = 0; i < 100; ++i)
        requests += "\x00\x05"s + 'S' + '\x01' + 'F';
    ASSERT_TRUE(hog.send_bytes(requests));
    EXPECT_TRUE(log.wait_for("the client did not read a reply within 1 s; connection closed"))
        << log.text();
    // Its slot is free for the next client.
    bool served = false;
    for (int i = 0; i < 50 && !served; ++i) {
        RawClient next = server.connect();
        served = next.echo("served") == "served";
        if (!served) std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(served);
}

} // namespace
