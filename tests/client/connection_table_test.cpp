// Connection table, hl_connect and hl_disconnect against a loopback peer.
#include "client/connection/connection_table.h"
#include "client/include/dorv32.h"
#include "support/box_capture.h"
#include "support/scripted_peer.h"
#include "support/trace_log.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {

// A page holding `text` that can only be read afterwards: a write faults.
class ReadOnlyText {
  public:
    explicit ReadOnlyText(const char* text) {
#ifdef _WIN32
        page_ = static_cast<char*>(
            VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        std::strcpy(page_, text);
        DWORD old;
        VirtualProtect(page_, 4096, PAGE_READONLY, &old);
#else
        page_ = static_cast<char*>(
            mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        std::strcpy(page_, text);
        mprotect(page_, 4096, PROT_READ);
#endif
    }
    ~ReadOnlyText() {
#ifdef _WIN32
        VirtualFree(page_, 0, MEM_RELEASE);
#else
        munmap(page_, 4096);
#endif
    }
    char* text() const {
        return page_;
    }

  private:
    char* page_;
};

int connect_to(const ScriptedPeer& peer, int warnings = 0) {
    char transport[] = "WINSOCK";
    return hl_connect(transport, "127.0.0.1", peer.service().c_str(), warnings);
}

bool slot_is_zero(int slot) {
    ConnectionRecord zero;
    std::memset(&zero, 0, sizeof zero);
    return std::memcmp(&connection_table[slot], &zero, sizeof zero) == 0;
}

void wait_for_accepts(const ScriptedPeer& peer, int n) {
    for (int i = 0; i < 200 && peer.accepted() < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

class ConnectionTable : public ::testing::Test {
  protected:
    void SetUp() override { peer.start(); }
    void TearDown() override {
        while (connection_count > 0)
            hl_disconnect(connection_table[0].socket);
        peer.stop();
        EXPECT_TRUE(peer.failures().empty());
    }
    ScriptedPeer peer;
    BoxCapture boxes;
};

TEST_F(ConnectionTable, LowerCaseTransportIsAcceptedAndUpperCasedInTheCallersBuffer) {
    char transport[] = "winSock";
    int handle = hl_connect(transport, "127.0.0.1", peer.service().c_str(), 7);
    ASSERT_GE(handle, 0);
    EXPECT_STREQ(transport, "WINSOCK");
    ASSERT_EQ(connection_count, 1);
    EXPECT_EQ(connection_table[0].socket, handle);
    EXPECT_EQ(connection_table[0].warnings, 7);
    EXPECT_EQ(connection_table[0].transfer_kind, 0);
    EXPECT_STREQ(connection_table[0].ini_file, "");
    EXPECT_STREQ(connection_table[0].ini_section, "");
    EXPECT_EQ(hl_disconnect(handle), 0);
    EXPECT_EQ(connection_count, 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConnectionTable, ATransportTextAlreadyInUpperCaseIsNeverWrittenTo) {
    ReadOnlyText page("WINSOCK");
    int handle = hl_connect(page.text(), "127.0.0.1", peer.service().c_str(), 0);
    EXPECT_GE(handle, 0);
    EXPECT_EQ(hl_disconnect(handle), 0);
    // The most natural call from C: a string literal, in read-only memory.
    handle = hl_connect(const_cast<char*>("WINSOCK"), "127.0.0.1", peer.service().c_str(), 0);
    EXPECT_GE(handle, 0);
    EXPECT_EQ(hl_disconnect(handle), 0);
    // An unknown name that needs no upper-casing is reported without a write too.
    ReadOnlyText unknown("TCP/IP");
    EXPECT_EQ(hl_connect(unknown.text(), "127.0.0.1", peer.service().c_str(), 0), -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Unknown transport: TCP/IP\n"});
    EXPECT_EQ(connection_count, 0);
}

TEST_F(ConnectionTable, UnknownTransportIsReportedUpperCasedAndBeforeAFullTable) {
    struct Case {
        const char* given;
        bool fill_table;
        const char* message;
    } cases[] = {
        {"tcpip", false, "Unknown transport: TCPIP\n"},
        {"WinSock2", false, "Unknown transport: WINSOCK2\n"},
        {"", false, "Unknown transport: \n"},
        {"decnet", true, "Unknown transport: DECNET\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        int open = 0;
        if (c.fill_table) {
            for (; open < MAX_CONNECTIONS; ++open)
                ASSERT_GE(connect_to(peer), 0);
        }
        boxes.clear();
        char transport[32];
        std::strcpy(transport, c.given);
        EXPECT_EQ(hl_connect(transport, "127.0.0.1", peer.service().c_str(), 0), -1);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].caption, "Dorv");
        EXPECT_EQ(boxes.boxes[0].text, c.message);
        EXPECT_EQ(boxes.boxes[0].style & BOX_ICON_MASK, 0x30u);
        EXPECT_EQ(connection_count, open);
        while (connection_count > 0)
            hl_disconnect(connection_table[0].socket);
    }
}

TEST_F(ConnectionTable, FifthConnectShowsTheMaximumAndOpensNoSocket) {
    for (int i = 0; i < MAX_CONNECTIONS; ++i)
        ASSERT_GE(connect_to(peer), 0);
    wait_for_accepts(peer, 4);
    ASSERT_EQ(peer.accepted(), 4);
    EXPECT_EQ(connect_to(peer), -1);
    ASSERT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Maximum number of connection\nalready active (4)"});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer.accepted(), 4);
    EXPECT_EQ(connection_count, 4);
}

TEST_F(ConnectionTable, RemovalClosesTheGapAndZeroFillsTheFreedSlot) {
    int first = connect_to(peer), second = connect_to(peer), third = connect_to(peer);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_GE(third, 0);
    connection_table[2].transfer_kind = 'S'; // state moves with its record
    connection_table[2].block_avail = 17;
    EXPECT_EQ(hl_disconnect(second), 0);
    ASSERT_EQ(connection_count, 2);
    EXPECT_EQ(connection_table[0].socket, first);
    EXPECT_EQ(connection_table[1].socket, third);
    EXPECT_EQ(connection_table[1].transfer_kind, 'S');
    EXPECT_EQ(connection_table[1].block_avail, 17);
    EXPECT_TRUE(slot_is_zero(2));
    EXPECT_TRUE(slot_is_zero(3));
    EXPECT_EQ(hl_disconnect(third), 0);
    EXPECT_EQ(hl_disconnect(first), 0);
    EXPECT_TRUE(slot_is_zero(0));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConnectionTable, InvalidHandlesAreReportedWithTheHandle) {
    int handle = connect_to(peer);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(hl_disconnect(handle), 0);
    EXPECT_EQ(hl_disconnect(handle), -1); // already closed
    EXPECT_EQ(hl_disconnect(-1), -1);
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv|Invalid connection handle:\n handle = " +
                                            std::to_string(handle),
                                        "Dorv|Invalid connection handle:\n handle = -1"}));
}

TEST_F(ConnectionTable, AHandleOfAnotherThreadIsRefusedAndStaysOpen) {
    int handle = connect_to(peer);
    ASSERT_GE(handle, 0);
    int result = 0;
    std::vector<std::string> seen;
    std::thread other([&] {
        BoxCapture thread_boxes; // message boxes of that thread
        result = hl_disconnect(handle);
        seen = thread_boxes.summary();
    });
    other.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(seen, std::vector<std::string>{
                        "Dorv|Invalid connection handle:\n Connection handle " +
                        std::to_string(handle) + " is not\n associated with current task"});
    EXPECT_EQ(connection_count, 1);
    EXPECT_EQ(hl_disconnect(handle), 0);
}

TEST_F(ConnectionTable, NetworkSoftwareStartsWithTheFirstAndStopsWithTheLastConnectionOfAThread) {
    TraceLog log;
    int first = connect_to(peer), second = connect_to(peer);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_EQ(hl_disconnect(first), 0);
    std::string after_first = log.text();
    EXPECT_EQ(count_of(after_first, "wnsk_setup: WSAStartup succeeded."), 1u);
    EXPECT_EQ(count_of(after_first, "wnsk_cleanup: call WSACleanup"), 0u);
    EXPECT_NE(after_first.find(
                  "\nADD_CONNECTION: number = 2\n   Handle: " + std::to_string(second) + "\n"),
              std::string::npos);

    TraceLog second_log;
    EXPECT_EQ(hl_disconnect(second), 0);
    std::string after_second = second_log.text();
    EXPECT_EQ(count_of(after_second, "wnsk_cleanup: call WSACleanup"), 1u);
    EXPECT_EQ(count_of(after_second, "wnsk_disconnect successfull"), 1u);
}

} // namespace
