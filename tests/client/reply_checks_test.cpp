// The checks every call makes on the reply to its request: a text message in
// its place, a record type it does not expect, a status block too short to
// hold a status. Each is shown as the call shows it, and the connection stays
// usable for the next request.
#include "peer_session.h"
#include "support/box_capture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Call {
    const char* name;
    std::string request; // what the peer expects
    std::string preface; // what it answers before the reply that is checked
    std::function<int(int handle)> run;
    int failed; // the call's result when the reply is refused
    // The boxes of a record of type 'X' and of a status block one byte long.
    std::string unknown_type_box;
    std::string short_status_box;
    std::string last_box; // shown after each of the failures; empty: none
};

const std::string type_x_error = "\nUnexpected message type (X)";
const std::string type_s_error = "\nUnexpected message type (S)";
const std::string explain_fatal = "Dorv Error|Fatal error occurred while executing explain !";

std::vector<Call> calls() {
    return {
        {"echo", wire_block('E', "ping"), "", [](int h) { return hl_echo(h, "ping"); }, -1,
         "Dorv|Protocol error (hl_echo):" + type_x_error,
         "Dorv|Protocol error (hl_echo):" + type_s_error, ""},
        {"host command", wire_block('U', "ls"), "", [](int h) { return hl_uxcmd(h, "ls"); }, -1,
         "Dorv|Protocol error (hl_uxcmd):" + type_x_error,
         "Dorv|Protocol error (hl_uxcmd):" + type_s_error, ""},
        {"host command output", wire_block('U', "ls"), wire_block('M', "OK"),
         [](int h) {
             char buffer[64];
             return hl_uxcmd(h, "ls") == 0 ? hl_fetch_blk(h, buffer, sizeof buffer) : -2;
         },
         -1, "Dorv|Protocol error (hl_fetch_blk):" + type_x_error,
         "Dorv|Protocol error (hl_fetch_blk):" + type_s_error, ""},
        {"version", request('A'), "",
         [](int h) {
             char text[1024];
             return hl_dorv_version(h, text);
         },
         100, "Dorv|Protocol error (hl_dorv_version):" + type_x_error,
         "Dorv|Internal error (hl_dorv_version)\nCorrupted M_DORV message", ""},
        {"exec", exec_request("select 1"), "",
         [](int h) {
             char text[] = "select 1";
             return hl_dorv_exec(h, text);
         },
         100, "Dorv|Protocol error (ll_dorv_read):" + type_x_error,
         "Dorv|Internal error (ll_dorv_read)\nCorrupted M_DORV message", ""},
        {"explain", request('M', std::string(1, '\0')), "",
         [](int h) { return hl_dorv_explain(h, nullptr, 0, 2000); }, 100,
         "Dorv|Protocol error (ll_dorv_read):" + type_x_error,
         "Dorv|Internal error (ll_dorv_read)\nCorrupted M_DORV message", explain_fatal},
    };
}

enum ReplyKind { SERVER_TEXT, SERVER_TEXT_WITH_MORE, UNKNOWN_TYPE, SHORT_STATUS };

struct Reply {
    const char* name;
    ReplyKind kind;
    std::string bytes;
};

const Reply replies[] = {
    {"server text", SERVER_TEXT, wire_block('M', "Table locked")},
    // The blocks behind the text are thrown away by the next request.
    {"server text, more blocks follow", SERVER_TEXT_WITH_MORE,
     wire_block('M', "Table locked", false) + status_block(0, "rest", false) +
         wire_block('U', "last", true)},
    {"unknown record type", UNKNOWN_TYPE, wire_block('X', std::string("\0\0", 2))},
    {"status block too short", SHORT_STATUS, wire_block('S', "\x01")},
};

std::vector<std::string> expected_boxes(const Call& call, ReplyKind kind) {
    std::vector<std::string> boxes;
    switch (kind) {
    case SERVER_TEXT:
    case SERVER_TEXT_WITH_MORE:
        boxes.push_back("Dorv SERVER:|Table locked");
        break;
    case UNKNOWN_TYPE:
        boxes.push_back(call.unknown_type_box);
        break;
    case SHORT_STATUS:
        boxes.push_back(call.short_status_box);
        break;
    }
    if (!call.last_box.empty()) boxes.push_back(call.last_box);
    return boxes;
}

TEST(ReplyChecks, EveryCallRefusesAReplyItCannotUseAndTheNextRequestWorks) {
    for (const Call& call : calls()) {
        for (const Reply& reply : replies) {
            SCOPED_TRACE(std::string(call.name) + ": " + reply.name);
            BoxCapture boxes;
            PeerSession s;
            s.peer.expect(call.request)
                .send(call.preface + reply.bytes)
                .expect(wire_block('E', "after"))
                .send(wire_block('E', "after"));
            s.open();
            EXPECT_EQ(call.run(s.handle), call.failed);
            EXPECT_EQ(boxes.summary(), expected_boxes(call, reply.kind));
            ASSERT_NE(s.record(), nullptr);
            EXPECT_EQ(s.record()->broken, 0);
            boxes.clear();
            EXPECT_EQ(hl_echo(s.handle, "after"), 0);
            EXPECT_TRUE(boxes.boxes.empty());
        }
    }
}

} // namespace
