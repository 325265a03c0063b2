// Opt-in read-ahead: row requests sent before the caller asks. Every result
// must read exactly as with one request per row, and the stream must stay in
// step whichever way a result ends.
#include "client/connection/read_ahead_setting.h"
#include "peer_session.h"
#include "support/box_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string field(const std::string& text) {
    return text + std::string(1, '\0');
}

std::string repeat(const std::string& bytes, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += bytes;
    return out;
}

// A server that answers requests in order: 'E' starts the result again, each
// row request ('F' or 'R') gets the next scripted reply and -9 once they are
// used up, 'A' answers a version text of its own.
struct ResultServer {
    std::vector<std::string> replies;
    size_t next = 0;
    std::string operator()(const std::string& block) {
        char code = block.size() > 4 ? block[4] : '?';
        if (code == 'E') {
            next = 0;
            return status_block(0, "");
        }
        if (code == 'A') return status_block(0, "version 7");
        if (code == 'F' || code == 'R')
            return next < replies.size() ? replies[next++] : status_block(-9, "");
        return wire_block('M', "unexpected request");
    }
};

std::vector<std::string> value_rows(int n) {
    std::vector<std::string> rows;
    for (int i = 1; i <= n; ++i)
        rows.push_back(
            status_block(0, field("N" + std::to_string(i)) + field("Sname " + std::to_string(i))));
    return rows;
}

class ReadAhead : public ::testing::Test {
  protected:
    void SetUp() override { remove_file(windorv_ini_path()); }
    void TearDown() override { remove_file(windorv_ini_path()); }
    static void set_depth(int depth) {
        write_text_file(windorv_ini_path(),
                        "[Global]\nReadAhead=" + std::to_string(depth) + "\nReplyTimeout=5\n");
    }
};

// How the caller ends its reading of the result before its next request.
enum class Stop { AtEnd, AfterTwoRows, MidRecord };

struct Reading {
    std::string transcript; // every call's result and text, boxes included
    std::string wire;       // the bytes the server received
    int rows_requested = 0;
    int row_calls = 0;     // hl_dorv_next_val / hl_dorv_next_row calls
    int calls_to_stop = 0; // calls up to the first one that ended the rows
};

// Reads a result the way a caller does, then asks for the version: that
// reply must be the version's own.
Reading read_result(const std::vector<std::string>& replies, bool lines, Stop stop, int depth) {
    Reading r;
    BoxCapture boxes;
    PeerSession s;
    s.peer.answer_each(ResultServer{replies});
    s.open(1);
    EXPECT_EQ(s.record()->read_ahead, depth);
    char statement[] = "select";
    r.transcript += "exec " + std::to_string(hl_dorv_exec(s.handle, statement)) + "\n";
    // Once more after the end, as a caller may: the answer is the server's.
    bool again = stop == Stop::AtEnd;
    for (int row = 0; row < 50; ++row) {
        if (stop == Stop::AfterTwoRows && row == 2) break;
        ++r.row_calls;
        char text[64];
        int status;
        if (lines) {
            std::memset(text, '#', sizeof text);
            status = hl_dorv_next_row(s.handle, text, sizeof text);
            r.transcript += "row " + std::to_string(status) + " [" + text + "]\n";
        } else {
            status = hl_dorv_next_val(s.handle);
            r.transcript += "val " + std::to_string(status) + "\n";
            if (status == 0) {
                for (int f = 0; f < 10; ++f) {
                    int result = hl_dorv_field(s.handle, text, sizeof text);
                    r.transcript += " field " + std::to_string(result);
                    if (result != 0) break;
                    r.transcript += std::string(" [") + text + "]";
                    if (stop == Stop::MidRecord && row == 1) break;
                }
                r.transcript += "\n";
            }
        }
        if (status != 0 && r.calls_to_stop == 0) r.calls_to_stop = r.row_calls;
        if (status != 0 && again) {
            again = false;
            continue;
        }
        if (status != 0 || (stop == Stop::MidRecord && row == 1)) break;
    }
    if (r.calls_to_stop == 0) r.calls_to_stop = r.row_calls;
    char version[1100] = "";
    r.transcript +=
        "version " + std::to_string(hl_dorv_version(s.handle, version)) + " [" + version + "]\n";
    // A box names the socket ("handle = 172"), which Windows numbers anew for
    // each connection: the transcripts compare the texts without it.
    for (auto box : boxes.summary()) {
        for (size_t at = box.find("handle = "); at != std::string::npos;
             at = box.find("handle = ", at + 1)) {
            size_t digits = at + 9, end = digits;
            while (end < box.size() && box[end] >= '0' && box[end] <= '9')
                ++end;
            box.replace(digits, end - digits, "#");
        }
        r.transcript += "box " + box + "\n";
    }
    s.close();
    r.wire = s.peer.received();
    std::string row_request = lines ? request('R', std::string(1, '\0')) : request('F');
    for (size_t at = r.wire.find(row_request); at != std::string::npos;
         at = r.wire.find(row_request, at + 1))
        ++r.rows_requested;
    return r;
}

TEST_F(ReadAhead, ResultsReadExactlyAsWithOneRequestPerRow) {
    const int depth = 4;
    std::vector<std::string> failing = value_rows(3);
    failing[1] = status_block(7, "");
    std::vector<std::string> message = value_rows(3);
    message[1] = wire_block('M', "Table locked");
    std::vector<std::string> split = {status_block(0, field("Sfirst") + "Ssec", false) +
                                          status_block(0, "ond" + field("")),
                                      status_block(0, field("N2"))};
    std::vector<std::string> message_more = value_rows(3);
    message_more[0] = wire_block('M', "Part one", false) + wire_block('M', "part two");
    std::vector<std::string> lines = {status_block(0, "Cr\xE8me"),
                                      status_block(0, "first ", false) + status_block(0, "half"),
                                      status_block(3, "odd")};
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        bool lines;
        Stop stop;
    } cases[] = {
        {"empty", {}, false, Stop::AtEnd},
        {"one row", value_rows(1), false, Stop::AtEnd},
        {"depth - 1 rows", value_rows(depth - 1), false, Stop::AtEnd},
        {"depth rows", value_rows(depth), false, Stop::AtEnd},
        {"depth + 1 rows", value_rows(depth + 1), false, Stop::AtEnd},
        {"many rows", value_rows(3 * depth + 2), false, Stop::AtEnd},
        {"record over two blocks", split, false, Stop::AtEnd},
        {"failing status mid-result", failing, false, Stop::AtEnd},
        {"message in place of a reply", message, false, Stop::AtEnd},
        {"message of two blocks in place of a reply", message_more, false, Stop::AtEnd},
        {"abandoned after two rows", value_rows(9), false, Stop::AfterTwoRows},
        {"abandoned inside a record", value_rows(9), false, Stop::MidRecord},
        {"lines", lines, true, Stop::AtEnd},
        {"lines, empty", {}, true, Stop::AtEnd},
        {"lines abandoned", value_rows(9), true, Stop::AfterTwoRows},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        set_depth(0);
        Reading plain = read_result(c.replies, c.lines, c.stop, 0);
        EXPECT_NE(plain.transcript.find("version 0 [version 7]"), std::string::npos)
            << plain.transcript;
        // Without read-ahead the wire carries one request per row, each sent
        // when the caller asks: exactly the bytes of a plain installation.
        std::string row_request = c.lines ? request('R', std::string(1, '\0')) : request('F');
        EXPECT_EQ(printable(plain.wire),
                  printable(exec_request("select") + repeat(row_request, plain.rows_requested) +
                            request('A')));
        for (int n : {1, depth, static_cast<int>(MAX_READ_AHEAD)}) {
            SCOPED_TRACE(n);
            set_depth(n);
            Reading ahead = read_result(c.replies, c.lines, c.stop, n);
            EXPECT_EQ(ahead.transcript, plain.transcript);
            // Requests go ahead by the depth less the one being answered, and
            // none are sent ahead once a reply ended the rows.
            EXPECT_EQ(ahead.rows_requested, std::max(plain.row_calls, plain.calls_to_stop + n - 1));
        }
    }
}

TEST_F(ReadAhead, AServerThatReadsOneRequestAtATimeIsServedInStep) {
    // Each request is read and answered only after the previous answer left:
    // the requests sent ahead wait in the socket until the server reads them.
    set_depth(4);
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(exec_request("q")).send(status_block(0, ""));
    // Two rows, then end of data: 4 requests at the first call, one more at
    // each of the next two, so 6 in all; the 3 owed are drained before 'A'.
    const std::string replies[] = {status_block(0, field("Sa")), status_block(0, field("Sb")),
                                   status_block(-9, ""),         status_block(-9, ""),
                                   status_block(-9, ""),         status_block(-9, "")};
    for (const auto& reply : replies)
        s.peer.expect(request('F')).pause(20).send(reply);
    s.peer.expect(request('A')).send(status_block(0, "v"));
    s.open();
    char statement[] = "q";
    ASSERT_EQ(hl_dorv_exec(s.handle, statement), 0);
    char text[16];
    EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
    EXPECT_EQ(hl_dorv_field(s.handle, text, sizeof text), 0);
    EXPECT_STREQ(text, "a");
    EXPECT_EQ(hl_dorv_next_val(s.handle), 0);
    EXPECT_EQ(hl_dorv_field(s.handle, text, sizeof text), 0);
    EXPECT_STREQ(text, "b");
    EXPECT_EQ(hl_dorv_next_val(s.handle), -9);
    EXPECT_EQ(s.record()->in_flight, 3);
    char version[1100];
    EXPECT_EQ(hl_dorv_version(s.handle, version), 0);
    EXPECT_STREQ(version, "v");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ReadAhead, ReplyTimeoutStillEndsAWaitForARowRequestedAhead) {
    write_text_file(windorv_ini_path(), "[Global]\nReadAhead=8\nReplyTimeout=1\n");
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(exec_request("q")).send(status_block(0, "")).expect(repeat(request('F'), 8));
    s.open();
    char statement[] = "q";
    ASSERT_EQ(hl_dorv_exec(s.handle, statement), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hl_dorv_next_val(s.handle), 100);
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
    EXPECT_GE(waited, 900);
    EXPECT_LT(waited, 5000);
    ASSERT_FALSE(boxes.boxes.empty());
    // The connection is broken: only hl_disconnect is accepted, and it reads nothing.
    EXPECT_EQ(hl_dorv_next_val(s.handle), 100);
    EXPECT_EQ(hl_disconnect(s.handle), 0);
    s.handle = -1;
    EXPECT_TRUE(s.peer.wait_closed_by_client(1));
}

TEST_F(ReadAhead, DisconnectWithRequestsInFlightJustCloses) {
    set_depth(16);
    BoxCapture boxes;
    PeerSession s;
    s.peer.answer_each(ResultServer{value_rows(40)});
    s.open();
    char statement[] = "q";
    ASSERT_EQ(hl_dorv_exec(s.handle, statement), 0);
    ASSERT_EQ(hl_dorv_next_val(s.handle), 0);
    EXPECT_EQ(s.record()->in_flight, 15);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hl_disconnect(s.handle), 0);
    s.handle = -1;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count(),
              1000);
    EXPECT_EQ(connection_count, 0);
    EXPECT_TRUE(s.peer.wait_closed_by_client(1))
        << s.peer.accepted() << " " << s.peer.received().size();
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ReadAhead, OnlyReadAheadTurnsOffNaglesAlgorithm) {
    // Without read-ahead the socket keeps the system's defaults.
    for (int depth : {0, 8}) {
        SCOPED_TRACE(depth);
        set_depth(depth);
        PeerSession s;
        s.open();
        // Zero first: Windows may store the option in a single byte.
        int on = 0;
        socklen_t length = sizeof on;
        ASSERT_EQ(
            getsockopt(s.handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on), &length),
            0);
        EXPECT_EQ(on != 0, depth > 0);
    }
}

TEST_F(ReadAhead, TheDepthComesFromTheSectionThenItsGlobalThenWindorvIni) {
    struct Case {
        const char* windorv;      // section Global of windorv.ini
        const char* file_global;  // section Global of the connection file
        const char* file_section; // the connection's own section
        int global, configured;
    } cases[] = {
        {"", "", "", 0, 0},
        {"ReadAhead=8\n", "", "", 8, 8},
        {"ReadAhead=8\n", "ReadAhead=16\n", "", 8, 16},
        {"ReadAhead=8\n", "ReadAhead=16\n", "ReadAhead=0\n", 8, 0}, // 0 in the section: off
        {"ReadAhead=8\n", "", "ReadAhead=\n", 8, 8},                // empty counts as absent
        {"ReadAhead=64\n", "", "", 64, 64},
        {"ReadAhead=65\n", "", "ReadAhead=99999999999\n", 64, 64}, // cut to the largest depth
        {"ReadAhead=-4\n", "", "ReadAhead=abc\n", 0, 0},           // not a depth: off
        {"ReadAhead=12 rows\n", "", "", 12, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.windorv) + "|" + c.file_global + "|" + c.file_section);
        write_text_file(windorv_ini_path(), std::string("[Global]\n") + c.windorv);
        std::string file = test_temp_dir() + "/read_ahead.ini";
        write_text_file(file,
                        std::string("[Global]\n") + c.file_global + "[Db]\n" + c.file_section);
        EXPECT_EQ(global_read_ahead(), c.global);
        EXPECT_EQ(configured_read_ahead(native_path(file).c_str(), "Db"), c.configured);
    }
}

TEST_F(ReadAhead, AConnectFileSectionSetsTheDepthOfItsConnection) {
    ScriptedPeer peer;
    peer.start();
    std::string file = test_temp_dir() + "/read_ahead_connect.ini";
    write_text_file(file, "[Db]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + peer.service() +
                              "\nReadAhead=5\n");
    BoxCapture boxes;
    std::string path = native_path(file);
    int handle = hl_connect_ini(path.c_str(), "Db", 0, 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(connection_table[connection_count - 1].read_ahead, 5);
    EXPECT_EQ(hl_disconnect(handle), 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

} // namespace
