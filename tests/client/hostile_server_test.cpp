// A server that breaks the protocol must not break the library: each reply
// below is answered with a report, the call's failure value, and a
// connection that either carries the next call or says that it is broken.
#include "peer_session.h"
#include "support/box_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

enum class Call { Exec, Version, Echo };
enum class Next { InStep, Broken };

struct Script {
    std::string first; // sent at once after the request
    int pause_ms;      // then this long nothing
    std::string later; // then this
    bool trickle;      // `first` one byte at a time
    bool close;        // then the peer closes
};

Script at_once(const std::string& first) {
    return {first, 0, "", false, false};
}
Script in_two(const std::string& first, int pause_ms, const std::string& later) {
    return {first, pause_ms, later, false, false};
}
Script one_by_one(const std::string& bytes) {
    return {bytes, 0, "", true, false};
}
Script then_close(const std::string& first, int pause_ms = 0) {
    return {first, pause_ms, "", false, true};
}

struct Row {
    const char* name;
    Call call;
    Script script;
    int reply_timeout; // "ReplyTimeout" in windorv.ini; 0: absent
    int result;
    std::vector<std::string> boxes; // "%H" stands for the handle
    Next next;
    int min_ms; // the call takes at least this long
};

// A status block of 10 bytes, and its first half.
std::string ten_bytes() {
    return status_block(0, "abcd");
}
std::string half_block() {
    return ten_bytes().substr(0, 5);
}

std::string block_of(unsigned length) {
    std::string b = wire_length(length) + "S\x01" + std::string("\0\0", 2);
    b.resize(length, 'x');
    return b;
}

std::string request_of(Call call) {
    switch (call) {
    case Call::Exec:
        return exec_request("select 1");
    case Call::Version:
        return request('A');
    case Call::Echo:
        return wire_block('E', "hello");
    }
    return {};
}

int make_call(Call call, int handle) {
    char text[1100];
    switch (call) {
    case Call::Exec: {
        char statement[] = "select 1";
        return hl_dorv_exec(handle, statement);
    }
    case Call::Version:
        return hl_dorv_version(handle, text);
    case Call::Echo:
        return hl_echo(handle, "hello");
    }
    return 0;
}

std::string with_handle(std::string text, int handle) {
    size_t at = text.find("%H");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(handle));
    return text;
}

const std::string broken_box =
    "Dorv|Connection broken:\n handle = %H\n Close it with hl_disconnect.";

const std::string ok_status = status_block(0, "");

const Row rows[] = {
    {"length split after one byte",
     Call::Exec,
     in_two(ok_status.substr(0, 1), 50, ok_status.substr(1)),
     0,
     0,
     {},
     Next::InStep,
     0},
    {"every byte in its own segment",
     Call::Exec,
     one_by_one(status_block(0, "text")),
     0,
     0,
     {},
     Next::InStep,
     0},
    {"version, length split after one byte",
     Call::Version,
     in_two(status_block(0, "v1").substr(0, 1), 50, status_block(0, "v1").substr(1)),
     0,
     0,
     {},
     Next::InStep,
     0},
    {"declared length 2000",
     Call::Exec,
     at_once(block_of(2000)),
     0,
     100,
     {"Dorv|Inconsistent message:\n read = 1024, size = 2000"},
     Next::InStep,
     0},
    {"declared length 2000, its excess in pieces",
     Call::Echo,
     in_two(block_of(2000).substr(0, 1500), 50, block_of(2000).substr(1500)),
     0,
     -1,
     {"Dorv|Inconsistent message:\n read = 1024, size = 2000"},
     Next::InStep,
     0},
    {"declared length 2000, closed before its end",
     Call::Exec,
     then_close(block_of(2000).substr(0, 1500)),
     0,
     100,
     {"Dorv|Inconsistent message:\n read = 1024, size = 2000"},
     Next::Broken,
     0},
    {"declared length 2000, silent before its end, ReplyTimeout 1",
     Call::Exec,
     at_once(block_of(2000).substr(0, 1500)),
     1,
     100,
     {"Dorv|Inconsistent message:\n read = 1024, size = 2000",
      "Dorv|Timed out waiting for the server:\n handle = %H, 1 seconds"},
     Next::Broken,
     900},
    {"declared length 3",
     Call::Exec,
     at_once(wire_length(3) + "S"),
     0,
     100,
     {"Dorv|Inconsistent message:\n read = 3, size = 3"},
     Next::InStep,
     0},
    {"declared length 1",
     Call::Exec,
     at_once(wire_length(1) + "S\x01"),
     0,
     100,
     {"Dorv|Inconsistent message:\n read = 2, size = 1"},
     Next::Broken,
     0},
    {"half a block then close",
     Call::Exec,
     then_close(half_block()),
     0,
     100,
     {"Dorv|Inconsistent message:\n read = 5, size = 10"},
     Next::Broken,
     0},
    {"one byte of the length then close",
     Call::Exec,
     then_close(ok_status.substr(0, 1)),
     0,
     100,
     {"Dorv|Inconsistent message:\n read = 1, size = 0"},
     Next::Broken,
     0},
    {"half a block then silence, ReplyTimeout 1",
     Call::Exec,
     at_once(half_block()),
     1,
     100,
     {"Dorv|Timed out waiting for the server:\n handle = %H, 1 seconds"},
     Next::Broken,
     900},
    {"no reply at all, ReplyTimeout 1",
     Call::Version,
     at_once(""),
     1,
     100,
     {"Dorv|Timed out waiting for the server:\n handle = %H, 1 seconds"},
     Next::Broken,
     900},
    {"half a block then silence without ReplyTimeout, closed later",
     Call::Exec,
     then_close(half_block(), 300),
     0,
     100,
     {"Dorv|Inconsistent message:\n read = 5, size = 10"},
     Next::Broken,
     250},
    {"half a block then a slow rest within ReplyTimeout 2",
     Call::Exec,
     in_two(half_block(), 300, ten_bytes().substr(5)),
     2,
     0,
     {},
     Next::InStep,
     0},
    {"exec answered by an 'M' flagged not last",
     Call::Exec,
     at_once(wire_block('M', "first", false) + wire_block('M', "second")),
     0,
     100,
     {"Dorv SERVER:|first"},
     Next::InStep,
     0},
    {"version answered by an 'M' flagged not last",
     Call::Version,
     at_once(wire_block('M', "first", false) + wire_block('M', "second")),
     0,
     100,
     {"Dorv SERVER:|first"},
     Next::InStep,
     0},
    {"echo answered by an 'M' flagged not last",
     Call::Echo,
     at_once(wire_block('M', "first", false) + wire_block('M', "second")),
     0,
     -1,
     {"Dorv SERVER:|first"},
     Next::InStep,
     0},
};

class HostileServer : public ::testing::TestWithParam<Row> {
  protected:
    void TearDown() override { remove_file(windorv_ini_path()); }
};

TEST_P(HostileServer, TheReplyIsReportedAndTheStreamStaysInStepOrIsMarkedBroken) {
    const Row& row = GetParam();
    if (row.reply_timeout != 0)
        write_text_file(windorv_ini_path(),
                        "[Global]\nReplyTimeout=" + std::to_string(row.reply_timeout) + "\n");
    else
        remove_file(windorv_ini_path());
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request_of(row.call));
    if (row.script.trickle)
        s.peer.trickle(row.script.first);
    else if (!row.script.first.empty())
        s.peer.send(row.script.first);
    if (row.script.pause_ms > 0) s.peer.pause(row.script.pause_ms);
    if (!row.script.later.empty()) s.peer.send(row.script.later);
    if (row.script.close) s.peer.close_connection();
    if (row.next == Next::InStep)
        s.peer.expect(wire_block('E', "next")).send(wire_block('E', "next"));
    s.open();

    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(make_call(row.call, s.handle), row.result);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started)
                    .count();
    EXPECT_GE(took, row.min_ms);
    EXPECT_LT(took, row.min_ms + 4000);
    std::vector<std::string> expected;
    for (const auto& box : row.boxes)
        expected.push_back(with_handle(box, s.handle));
    EXPECT_EQ(boxes.summary(), expected);

    boxes.clear();
    if (row.next == Next::InStep) {
        EXPECT_EQ(hl_echo(s.handle, "next"), 0);
        EXPECT_TRUE(boxes.boxes.empty()) << boxes.summary()[0];
    } else {
        EXPECT_EQ(hl_echo(s.handle, "next"), -1);
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{with_handle(broken_box, s.handle)});
    }
    // A broken connection is closed like any other.
    EXPECT_EQ(hl_disconnect(s.handle), 0);
    EXPECT_EQ(connection_count, 0);
    s.handle = -1;
    s.close();
}

std::string row_name(const ::testing::TestParamInfo<Row>& info) {
    std::string name;
    for (const char* p = info.param.name; *p != '\0'; ++p)
        if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9'))
            name += *p;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    return std::to_string(info.index) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileServer, ::testing::ValuesIn(rows), row_name);

} // namespace
