// At most max_connections are served; extra ones get a message and are closed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "test_server.h"

namespace {

using dorvd_test::RawClient;
using dorvd_test::TestServer;

TEST(ConnectionLimit, RefusesExtraConnectionsWithAMessage) {
    TestServer server([](auto& o) { o.max_connections = 2; });
    RawClient first = server.connect();
    RawClient second = server.connect();
    ASSERT_EQ(first.echo("1"), "1");
    ASSERT_EQ(second.echo("2"), "2");

    RawClient third = server.connect();
    ASSERT_TRUE(third.connected());
    const auto refusal = third.read_block();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->type, 'M');
    EXPECT_TRUE(refusal->last());
    EXPECT_NE(refusal->payload.find("at most 2 connections"), std::string::npos)
        << refusal->payload;
    EXPECT_TRUE(third.closed_by_server());

    // Once one client leaves, a new one is served; the other is unaffected.
    first.close_now();
    bool served = false;
    for (int attempt = 0; attempt < 50 && !served; ++attempt) {
        RawClient again = server.connect();
        const auto reply = again.echo("again");
        served = reply == "again";
        if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(served);
    EXPECT_EQ(second.echo("still"), "still");
}

// A connection's slot is free as soon as its client has closed it.
TEST(ConnectionLimit, ABurstOfShortConnectionsLocksNobodyOut) {
    TestServer server([](auto& o) { o.max_connections = 4; });
    RawClient keeper = server.connect();
    ASSERT_EQ(keeper.echo("kept"), "kept");
    for (int i = 0; i < 1000; ++i) {
        RawClient brief = server.connect();
        ASSERT_TRUE(brief.connected()) << i;
    }
    const auto start = std::chrono::steady_clock::now();
    RawClient next = server.connect();
    ASSERT_TRUE(next.connected());
    // A refusal would come as a text message in place of the echo.
    EXPECT_EQ(next.echo("served"), "served");
    // A dropped connection request is retried only after a second.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(keeper.echo("still"), "still");
}

// A connection counts until its thread has finished, also after its client
// has closed it (here the thread is busy until its statement notices that the
// client has gone); a new client waits briefly for such a slot to free.
TEST(ConnectionLimit, AClosedConnectionsSlotIsFreeOnceItsThreadEnds) {
    TestServer server([](auto& o) { o.max_connections = 1; });
    {
        RawClient busy = server.connect();
        ASSERT_EQ(busy.echo("busy"), "busy");
        ASSERT_TRUE(busy.send_block(
            'S', "E WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                 "SELECT count(*) FROM c"));
    }
    RawClient next = server.connect();
    EXPECT_EQ(next.echo("served"), "served");
}

} // namespace
