// What attach and detach do to the library's process-wide state: the
// database cache, the connections left open at unload.
#include "client/connection/database_cache.h"
#include "client/connection/library.h"
#include "peer_session.h"
#include "support/box_capture.h"
#include "support/trace_log.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include "client/resources/string_table.h"
#endif

namespace {

PlatInstance own_instance() {
#ifdef _WIN32
    return GetModuleHandleA(nullptr);
#else
    return dorv32_string_table();
#endif
}

TEST(Lifecycle, DetachFreesTheDatabaseCacheAndAttachStartsItEmpty) {
    release_database_cache();
    ASSERT_TRUE(add_cached_password("sales", "s"));
    ASSERT_TRUE(add_cached_password("stock", ""));
    ASSERT_EQ(database_cache_count, 2);
    dorv_library_detach();
    EXPECT_EQ(database_cache_count, 0);
    EXPECT_EQ(database_cache, nullptr);
    // Whatever a process left behind, attach begins with no entries and no storage.
    ASSERT_TRUE(add_cached_password("left", "over"));
    dorv_library_attach(own_instance());
    EXPECT_EQ(database_cache_count, 0);
    EXPECT_EQ(database_cache, nullptr);
    EXPECT_EQ(find_cached_password("left"), nullptr);
}

TEST(Lifecycle, TheCacheGrowsByOneEntryAndComparesNamesExactly) {
    release_database_cache();
    ASSERT_TRUE(add_cached_password("Sales", "one"));
    ASSERT_TRUE(add_cached_password(std::string(300, 'n').c_str(), std::string(300, 'p').c_str()));
    EXPECT_EQ(database_cache_count, 2);
    EXPECT_STREQ(find_cached_password("Sales"), "one");
    EXPECT_EQ(find_cached_password("sales"), nullptr);
    EXPECT_EQ(find_cached_password("Sale"), nullptr);
    EXPECT_EQ(std::string(find_cached_password(std::string(255, 'n').c_str())),
              std::string(255, 'p'));
    release_database_cache();
}

TEST(Lifecycle, AForgottenPasswordLeavesTheOtherEntriesInTheirOrder) {
    struct Case {
        const char* name;
        const char* password;
        bool forgotten;
        std::vector<std::string> left; // "name=password"
    } cases[] = {
        {"stock", "s2", true, {"sales=s1", "staff=s3"}},
        {"sales", "s1", true, {"stock=s2", "staff=s3"}},
        {"staff", "s3", true, {"sales=s1", "stock=s2"}},
        {"stock", "other", false, {"sales=s1", "stock=s2", "staff=s3"}}, // cached anew meanwhile
        {"Stock", "s2", false, {"sales=s1", "stock=s2", "staff=s3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.password);
        release_database_cache();
        for (const char* entry : {"sales", "stock", "staff"})
            ASSERT_TRUE(add_cached_password(
                entry, (std::string("s") + std::to_string(database_cache_count + 1)).c_str()));
        EXPECT_EQ(forget_cached_password(c.name, c.password), c.forgotten);
        std::vector<std::string> left;
        for (int i = 0; i < database_cache_count; ++i)
            left.push_back(std::string(database_cache[i].db_name) + "=" +
                           database_cache[i].db_pswd);
        EXPECT_EQ(left, c.left);
        // The cache grows again behind the entries left.
        ASSERT_TRUE(add_cached_password("later", "x"));
        EXPECT_STREQ(database_cache[database_cache_count - 1].db_name, "later");
        EXPECT_EQ(database_cache_count, static_cast<int>(c.left.size()) + 1);
    }
    release_database_cache();
}

TEST(Lifecycle, UnloadingClosesOpenConnectionsAndLeavesTheTable) {
    struct Case {
        int connections;
        size_t unload_lines;
    } cases[] = {{2, 1}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connections);
        BoxCapture boxes;
        ScriptedPeer peer;
        peer.start();
        std::vector<int> handles;
        for (int i = 0; i < c.connections; ++i) {
            char transport[] = "WINSOCK";
            handles.push_back(hl_connect(transport, "127.0.0.1", peer.service().c_str(), 0));
            ASSERT_GE(handles.back(), 0);
        }
        ASSERT_TRUE(add_cached_password("kept until unload", "x"));
        TraceLog log;
        unload_connections();
        std::string trace = log.text();
        EXPECT_EQ(count_of(trace, "\nConnections still active at UNLOAD"), c.unload_lines) << trace;
        EXPECT_EQ(count_of(trace, "wnsk_disconnect successfull"),
                  static_cast<size_t>(c.connections));
        EXPECT_TRUE(peer.wait_closed_by_client(c.connections));
        // The records stay; only their sockets are closed. The cache is freed in every case.
        EXPECT_EQ(connection_count, c.connections);
        for (int i = 0; i < c.connections; ++i)
            EXPECT_EQ(connection_table[i].socket, handles[static_cast<size_t>(i)]);
        EXPECT_EQ(database_cache_count, 0);
        EXPECT_EQ(database_cache, nullptr);
        EXPECT_TRUE(boxes.boxes.empty());
        init_connection_state(); // the sockets are gone: forget their records
        peer.stop();
        EXPECT_TRUE(peer.failures().empty());
    }
}

} // namespace
