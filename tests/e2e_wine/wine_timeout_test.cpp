// Time-outs of the Windows library (WinSock under wine) against the native
// reference server: one that answers, and one halted after start-up, which
// the system still connects to but which answers nothing.
#include "dorv32.h"
#include "support/box_capture.h"
#include "support/test_files.h"
#include "support/wine_fixture.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A connection file whose section "s" holds the given time-out lines.
std::string connection_file(const std::string& port, const std::string& timeouts) {
    static int serial = 0;
    std::string path = test_temp_dir() + "\\wine_timeouts" + std::to_string(++serial) + ".ini";
    write_text_file(path, "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + port +
                              "\n[s]\n" + timeouts);
    return path;
}

long long elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

TEST(WineTimeouts, AnAnsweringServerWorksWithTimeOutsSet) {
    std::string port = fixture_port("dorvd_plain");
    if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
    BoxCapture boxes;
    std::string file = connection_file(port, "ConnectTimeout=5\nReplyTimeout=5\n");
    int handle = hl_connect_ini(file.c_str(), "s", 0, 0);
    ASSERT_GE(handle, 0);
    char version[1019];
    EXPECT_EQ(hl_dorv_version(handle, version), 0);
    EXPECT_EQ(hl_echo(handle, "on time"), 0);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(hl_disconnect(handle), 0);
}

TEST(WineTimeouts, AHaltedServerBreaksTheConnectionAfterReplyTimeout) {
    std::string port = fixture_port("dorvd_halted");
    if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
    BoxCapture boxes;
    std::string file = connection_file(port, "ReplyTimeout=1\n");
    int handle = hl_connect_ini(file.c_str(), "s", 0, 0);
    ASSERT_GE(handle, 0);
    char version[1019];
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(hl_dorv_version(handle, version), 100);
    long long took = elapsed_ms(started);
    EXPECT_GE(took, 900);
    EXPECT_LT(took, 5000);
    const std::string h = std::to_string(handle);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Timed out waiting for the server:\n handle = " + h +
                                       ", 1 seconds"});
    boxes.clear();
    EXPECT_EQ(hl_echo(handle, "x"), -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Connection broken:\n handle = " + h +
                                                        "\n Close it with hl_disconnect."});
    EXPECT_EQ(hl_disconnect(handle), 0);
}

TEST(WineTimeouts, AConnectThatGetsNoAnswerFailsAfterConnectTimeout) {
    // A listener of this program's own that never accepts, with the shortest
    // queue the system gives, filled: a further connect gets no answer. (The
    // reference server asks for the longest queue the system allows.)
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    int length = sizeof address;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::string port = std::to_string(ntohs(address.sin_port));
    std::vector<SOCKET> fillers;
    for (int i = 0; i < 16; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        u_long on = 1;
        ioctlsocket(s, FIONBIO, &on);
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(s);
    }
    Sleep(200); // the handshakes of the fillers complete into the queue
    BoxCapture boxes;
    std::string file = connection_file(port, "ConnectTimeout=1\n");
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(hl_connect_ini(file.c_str(), "s", 0, 0), -1);
    long long took = elapsed_ms(started);
    EXPECT_GE(took, 900);
    EXPECT_LT(took, 5000);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{
                                   "Dorv|Unable to connect host.\n Host = 127.0.0.1, Service = " +
                                   port + "\n errno 10060: [10060] Connection timed out"});
    for (SOCKET s : fillers)
        closesocket(s);
    closesocket(listener);
    WSACleanup();
}

} // namespace
