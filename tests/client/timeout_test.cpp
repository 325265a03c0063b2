// Opt-in time-outs: "ConnectTimeout" and "ReplyTimeout" from "windorv.ini" or
// a connection file, a connect or a reply that takes too long, and the
// broken connection that a late reply leaves behind.
#include "client/connection/timeouts.h"
#include "peer_session.h"
#include "support/box_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

void close_raw(int s) {
#ifdef _WIN32
    closesocket(static_cast<SOCKET>(s));
#else
    close(s);
#endif
}

// A loopback listener that never accepts, with its queue filled: a further
// connect gets no answer at all, as from a host that is down.
class FullListener {
  public:
    FullListener() {
        listener_ = static_cast<int>(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 0);
#ifdef _WIN32
        int length = sizeof address;
#else
        socklen_t length = sizeof address;
#endif
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        // Connections that the queue holds; beyond them the system drops the request.
        for (int i = 0; i < 3; ++i) {
            int s = static_cast<int>(socket(AF_INET, SOCK_STREAM, 0));
#ifdef _WIN32
            u_long on = 1;
            ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &on);
#else
            fcntl(s, F_SETFL, O_NONBLOCK);
#endif
            connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers_.push_back(s);
        }
    }
    ~FullListener() {
        for (int s : fillers_)
            close_raw(s);
        close_raw(listener_);
    }
    std::string service() const {
        return std::to_string(port_);
    }

  private:
    int listener_ = -1;
    unsigned short port_ = 0;
    std::vector<int> fillers_;
};

std::string write_config(const std::string& text) {
    static int serial = 0;
    std::string path = test_temp_dir() + "/timeouts" + std::to_string(++serial) + ".ini";
    write_text_file(path, text);
    return path;
}

long long elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

class Timeouts : public ::testing::Test {
  protected:
    void SetUp() override { remove_file(windorv_ini_path()); }
    void TearDown() override {
        while (connection_count > 0)
            hl_disconnect(connection_table[0].socket);
        remove_file(windorv_ini_path());
    }
    BoxCapture boxes;
};

TEST_F(Timeouts, SettingsComeFromTheSectionThenItsGlobalThenWindorvIni) {
    struct Case {
        const char* windorv;              // section Global of windorv.ini
        const char* file_global;          // section Global of the connection file
        const char* file_section;         // the connection's own section
        int connect_global, reply_global; // what hl_connect takes
        int connect, reply;               // what hl_connect_ini takes
    } cases[] = {
        {"", "", "", 0, 0, 0, 0},
        {"ConnectTimeout=7\nReplyTimeout=9\n", "", "", 7, 9, 7, 9},
        {"ReplyTimeout=9\n", "ReplyTimeout=5\n", "", 0, 9, 0, 5},
        {"ReplyTimeout=9\n", "ReplyTimeout=5\n", "ReplyTimeout=3\nConnectTimeout=2\n", 0, 9, 2, 3},
        {"ReplyTimeout=9\n", "", "ReplyTimeout=0\n", 0, 9, 0, 0}, // 0 in the section: none
        {"ReplyTimeout=9\n", "", "ReplyTimeout=\n", 0, 9, 0, 9},  // empty counts as absent
        {"ReplyTimeout=abc\nConnectTimeout=-4\n", "", "", 0, 0, 0, 0},
        {"ReplyTimeout=12s\n", "", "", 0, 12, 0, 12},
        {"ReplyTimeout=99999999999\n", "", "", 0, MAX_TIMEOUT_SECONDS, 0, MAX_TIMEOUT_SECONDS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.windorv) + "|" + c.file_global + "|" + c.file_section);
        write_text_file(windorv_ini_path(), std::string("[Global]\n") + c.windorv);
        std::string file =
            write_config(std::string("[Global]\n") + c.file_global + "[Db]\n" + c.file_section);
        ConnectionTimeouts global = global_timeouts();
        EXPECT_EQ(global.connect_seconds, c.connect_global);
        EXPECT_EQ(global.reply_seconds, c.reply_global);
        ConnectionTimeouts configured = configured_timeouts(native_path(file).c_str(), "Db");
        EXPECT_EQ(configured.connect_seconds, c.connect);
        EXPECT_EQ(configured.reply_seconds, c.reply);
    }
}

TEST_F(Timeouts, WithoutSettingsAReplyIsAwaitedAsLongAsItTakes) {
    PeerSession s;
    s.peer.expect(wire_block('E', "slow")).pause(1500).send(wire_block('E', "slow"));
    s.open();
    EXPECT_EQ(connection_table[0].reply_timeout, 0);
    EXPECT_EQ(hl_echo(s.handle, "slow"), 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Timeouts, AConnectThatGetsNoAnswerFailsAfterConnectTimeout) {
    FullListener silent;
    write_text_file(windorv_ini_path(), "[Global]\nConnectTimeout=1\n");
    auto started = std::chrono::steady_clock::now();
    char transport[] = "WINSOCK";
    EXPECT_EQ(hl_connect(transport, "127.0.0.1", silent.service().c_str(), 0), -1);
    long long took = elapsed_ms(started);
    EXPECT_GE(took, 900);
    EXPECT_LT(took, 5000);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{
                  "Dorv|Unable to connect host.\n Host = 127.0.0.1, Service = " + silent.service() +
                  "\n errno 10060: [10060] Connection timed out"});
    EXPECT_EQ(connection_count, 0);
}

TEST_F(Timeouts, AConnectFileSectionSetsTheTimeOutsOfItsConnection) {
    FullListener silent;
    write_text_file(windorv_ini_path(), "[Global]\nConnectTimeout=0\n");
    std::string file =
        write_config("[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + silent.service() +
                     "\n[Db]\nConnectTimeout=1\n");
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(hl_connect_ini(native_path(file).c_str(), "Db", 0, 0), -1);
    long long took = elapsed_ms(started);
    EXPECT_GE(took, 900);
    EXPECT_LT(took, 5000);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("errno 10060: [10060] Connection timed out"),
              std::string::npos);

    // Its ReplyTimeout overrides the one of windorv.ini, which has none.
    boxes.clear();
    ScriptedPeer peer;
    peer.expect(request('A'));
    peer.start();
    file = write_config("[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + peer.service() +
                        "\nReplyTimeout=1\n[Db]\n");
    int handle = hl_connect_ini(native_path(file).c_str(), "Db", 0, 0);
    ASSERT_GE(handle, 0);
    char version[1100];
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(hl_dorv_version(handle, version), 100);
    EXPECT_GE(elapsed_ms(started), 900);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Timed out waiting for the server:\n handle = " +
                                       std::to_string(handle) + ", 1 seconds"});
    EXPECT_EQ(hl_disconnect(handle), 0);
    peer.stop();
    EXPECT_TRUE(peer.failures().empty());
}

TEST_F(Timeouts, AConfiguredDatabaseOpeningThatTimesOutClosesTheConnectionWithoutExplaining) {
    ScriptedPeer peer;
    peer.expect(exec_request("OPEN DATABASE 'd'"));
    peer.start();
    std::string file =
        write_config("[Db]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + peer.service() +
                     "\nReplyTimeout=1\nDatabase=d\n");
    EXPECT_EQ(hl_connect_ini(native_path(file).c_str(), "Db", 0, 1), -1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find("Timed out waiting for the server:\n handle = "),
              std::string::npos);
    EXPECT_EQ(connection_count, 0);
    peer.stop();
    EXPECT_TRUE(peer.failures().empty());
}

// After a reply came too late, every call but hl_disconnect reports the
// broken connection, returns its failure value and sends nothing.
TEST_F(Timeouts, ABrokenConnectionRefusesEveryCallButDisconnect) {
    write_text_file(windorv_ini_path(), "[Global]\nReplyTimeout=1\n");
    PeerSession s;
    s.peer.expect(wire_block('E', "ping"));
    s.open();
    EXPECT_EQ(hl_echo(s.handle, "ping"), -1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const int h = s.handle;
    char buffer[1100];
    char statement[] = "select 1";
    char key[256] = "k";
    struct Case {
        const char* name;
        int result, failure;
    } cases[] = {
        {"hl_echo", hl_echo(h, "x"), -1},
        {"hl_uxcmd", hl_uxcmd(h, "ls"), -1},
        {"hl_fetch_blk", hl_fetch_blk(h, buffer, sizeof buffer), -1},
        {"hl_fetch_ln", hl_fetch_ln(h, buffer, sizeof buffer), -1},
        {"hl_dorv_version", hl_dorv_version(h, buffer), 100},
        {"hl_dorv_exec", hl_dorv_exec(h, statement), 100},
        {"hl_dorv_explain", hl_dorv_explain(h, buffer, sizeof buffer, 5), 100},
        {"hl_dorv_hdr_ln", hl_dorv_hdr_ln(h, 0, buffer, sizeof buffer), 100},
        {"hl_dorv_next_row", hl_dorv_next_row(h, buffer, sizeof buffer), 100},
        {"hl_dorv_hdr_val", hl_dorv_hdr_val(h), 100},
        {"hl_dorv_next_val", hl_dorv_next_val(h), 100},
        {"hl_dorv_tfield", hl_dorv_tfield(h, buffer, sizeof buffer), 100},
        {"hl_dorv_field", hl_dorv_field(h, buffer, sizeof buffer), 100},
        {"hl_set_inifile", hl_set_inifile(h, "x.ini", "s"), -1},
        {"hl_dorv_select_entry", hl_dorv_select_entry(h, key, 1, 0), -1},
    };
    const std::string broken = "Dorv|Connection broken:\n handle = " + std::to_string(h) +
                               "\n Close it with hl_disconnect.";
    ASSERT_EQ(boxes.boxes.size(), 1u + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(cases[i].result, cases[i].failure);
        EXPECT_EQ(boxes.summary()[i + 1], broken);
    }
    EXPECT_EQ(hl_disconnect(h), 0);
    s.handle = -1;
    EXPECT_EQ(connection_count, 0);
    EXPECT_TRUE(s.peer.wait_closed_by_client(1));
    s.close(); // the peer saw nothing after the first request
}

} // namespace
