// The message layer and the calls on a connection record whose bytes come
// from memory: what a hostile server's bytes do to a call is recorded on the
// connection, shown by nobody below the exported call, and shown once, in
// its order, when the report is shown.
#include "client/protocol/connection_calls.h"
#include "client/protocol/message_layer.h"
#include "common/diagnostics.h"
#include "peer_session.h"
#include "support/box_capture.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A server in memory: hands out its bytes at most `piece` at a time, and
// keeps what the library sends.
struct MemoryServer {
    std::string bytes;
    size_t piece = 1024;
    size_t pos = 0;
    std::string sent;
    ByteLink link{this, receive, take};

    static int receive(void* self, char* buffer, int length) {
        MemoryServer& s = *static_cast<MemoryServer*>(self);
        size_t n = std::min({static_cast<size_t>(length), s.piece, s.bytes.size() - s.pos});
        std::memcpy(buffer, s.bytes.data() + s.pos, n);
        s.pos += n;
        return static_cast<int>(n);
    }
    static int take(void* self, const char* bytes, int length) {
        static_cast<MemoryServer*>(self)->sent.append(bytes, static_cast<size_t>(length));
        return length;
    }
};

// A fresh connection record, as hl_connect leaves it, on a memory server.
struct MemoryConnection {
    MemoryServer server;
    std::unique_ptr<ConnectionRecord> record{new ConnectionRecord()};
    explicit MemoryConnection(const std::string& bytes, size_t piece = 1024, int warnings = 0) {
        server.bytes = bytes;
        server.piece = piece;
        record->socket = 7;
        record->warnings = warnings;
        record->link = &server.link;
    }
    std::vector<std::string> recorded() const {
        std::vector<std::string> out;
        for (int i = 0; i < record->report.count; ++i)
            out.push_back(std::string(record->report.entries[i].caption) + "|" +
                          record->report.entries[i].text);
        return out;
    }
};

std::string block_of(unsigned length) {
    std::string b = wire_length(length) + "S\x01" + std::string("\0\0", 2);
    b.resize(length, 'x');
    return b;
}

enum class Call { Exec, Version, Echo };

int make_call(Call call, ConnectionRecord& record) {
    char text[1100];
    switch (call) {
    case Call::Exec:
        return exec_call(record, "select 1");
    case Call::Version:
        return version_call(record, text);
    case Call::Echo:
        return echo_call(record, "hello");
    }
    return 0;
}

TEST(RecordedFailures, AHostileReplyIsRecordedOnTheConnectionAndShownOnceInItsOrder) {
    const std::string inconsistent = "Dorv|Inconsistent message:\n read = ";
    struct Row {
        const char* name;
        Call call;
        std::string reply;
        size_t piece;
        int result;
        std::vector<std::string> recorded;
        bool broken;
    } rows[] = {
        {"a good status block in single bytes",
         Call::Exec,
         status_block(0, "text"),
         1,
         0,
         {},
         false},
        {"declared length 2000, its excess in pieces",
         Call::Echo,
         block_of(2000),
         100,
         -1,
         {inconsistent + "1024, size = 2000"},
         false},
        {"declared length 2000, the stream ends in its excess",
         Call::Exec,
         block_of(2000).substr(0, 1500),
         1024,
         100,
         {inconsistent + "1024, size = 2000"},
         true},
        {"declared length 3",
         Call::Exec,
         wire_length(3) + "S",
         1024,
         100,
         {inconsistent + "3, size = 3"},
         false},
        {"declared length 1",
         Call::Version,
         wire_length(1) + "S\x01",
         1024,
         100,
         {inconsistent + "2, size = 1"},
         true},
        {"half a block, then the end",
         Call::Exec,
         status_block(0, "abcd").substr(0, 5),
         2,
         100,
         {inconsistent + "5, size = 10"},
         true},
        {"nothing at all", Call::Version, "", 1024, 100, {inconsistent + "0, size = 0"}, true},
        {"a text message, more blocks to follow",
         Call::Exec,
         wire_block('M', "first", false) + wire_block('M', "second"),
         1024,
         100,
         {"Dorv SERVER:|first"},
         false},
        {"an unknown type",
         Call::Exec,
         wire_block('X', std::string("\0\0", 2)),
         1024,
         100,
         {"Dorv|Protocol error (ll_dorv_read):\nUnexpected message type (X)"},
         false},
        {"a status block without its status",
         Call::Version,
         wire_block('S', "\x01"),
         1024,
         100,
         {"Dorv|Internal error (hl_dorv_version)\nCorrupted M_DORV message"},
         false},
        {"an echo one byte short",
         Call::Echo,
         wire_block('E', "hell"),
         3,
         -1,
         {"Dorv|Unexpected message size: 4"},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BoxCapture boxes;
        MemoryConnection c(row.reply, row.piece);
        EXPECT_EQ(make_call(row.call, *c.record), row.result);
        EXPECT_TRUE(boxes.boxes.empty()) << "shown below the exported call: " << boxes.summary()[0];
        EXPECT_EQ(c.recorded(), row.recorded);
        EXPECT_EQ(c.record->broken != 0, row.broken);
        show_report(&c.record->report);
        EXPECT_EQ(boxes.summary(), row.recorded);
        for (const CapturedBox& box : boxes.boxes)
            EXPECT_EQ(box.style & BOX_ICON_MASK, 0x30u);
        EXPECT_EQ(c.record->report.count, 0);
        boxes.clear();
        show_report(&c.record->report);
        EXPECT_TRUE(boxes.boxes.empty()) << "shown twice";
    }
}

TEST(RecordedFailures, WhatTheDrainMetIsShownBeforeTheRequestGoesOut) {
    // A reply left half read: the drain warns, and a broken block in the rest
    // ends it; then the version request goes out.
    TraceLog log;
    BoxCapture boxes;
    MemoryConnection c(
        status_block(0, "rest", false) + wire_length(3) + "S" + status_block(0, "v2"), 1024, 1);
    c.record->more = 1;
    char version[1019];
    EXPECT_EQ(version_call(*c.record, version), 0);
    EXPECT_STREQ(version, "v2");
    EXPECT_EQ(c.server.sent, request('A'));
    std::vector<std::string> drained = {"Dorv|Pending transfer:\n handle = 7",
                                        "Dorv|Inconsistent message:\n read = 3, size = 3"};
    EXPECT_EQ(boxes.summary(), drained);
    EXPECT_EQ(c.record->report.count, 0);
    // Each box's text is traced behind it, before the request's own trace.
    std::string trace = log.text();
    size_t warned = trace.find("Pending transfer:\n handle = 7");
    size_t broken = trace.find("Inconsistent message:\n read = 3, size = 3");
    size_t written = trace.find("\nwnsk_write successfull");
    ASSERT_NE(warned, std::string::npos) << trace;
    ASSERT_NE(broken, std::string::npos) << trace;
    EXPECT_LT(warned, broken);
    EXPECT_LT(broken, written);
}

TEST(RecordedFailures, EveryBrokenReplyOwedToRowsSentAheadIsShownNoneLost) {
    // Five row requests were sent ahead; each reply owed is a broken block
    // that leaves the stream in step. A header request drains them all.
    const int owed = 5;
    std::string replies;
    for (int i = 0; i < owed; ++i)
        replies += wire_length(3) + static_cast<char>('a' + i);
    BoxCapture boxes;
    MemoryConnection c(replies + status_block(0, ""));
    c.record->read_ahead = owed;
    c.record->in_flight = owed;
    c.record->ahead_code = 'F';
    EXPECT_EQ(record_call(*c.record, 'V'), 0);
    EXPECT_EQ(c.server.sent, request('V'));
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>(owed, "Dorv|Inconsistent message:\n read = 3, size = 3"));
    EXPECT_EQ(c.record->in_flight, 0);
    EXPECT_EQ(c.record->broken, 0);
}

TEST(RecordedFailures, ACallOnABrokenStreamSendsNothingFurther) {
    BoxCapture boxes;
    MemoryConnection c(block_of(2000).substr(0, 1100));
    EXPECT_EQ(exec_call(*c.record, "select 1;select 2"), 100);
    EXPECT_EQ(c.record->broken, 1);
    EXPECT_EQ(c.server.sent, exec_request("select 1")) << "the second statement stays unsent";
    show_report(&c.record->report);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Inconsistent message:\n read = 1024, size = 2000"});
}

} // namespace
