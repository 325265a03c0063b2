// hl_echo, hl_uxcmd, hl_fetch_blk and hl_fetch_ln against the scripted peer.
#include "client/protocol/message_layer.h"
#include "peer_session.h"
#include "support/box_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string eof_block = wire_block('M', "EOF");
std::string output_block(const std::string& bytes) {
    return wire_block('U', bytes, false);
}

std::string invalid_handle_box(int handle) {
    return "Dorv|Invalid connection handle:\n handle = " + std::to_string(handle);
}
std::string blk_sequence_box(int handle, const char* type) {
    return "Dorv|Sequence error (hl_fetch_blk):\n No pending HPUX transfer\n handle = " +
           std::to_string(handle) + "\n type   = " + type;
}
std::string ln_sequence_box(int handle, const char* type) {
    return "Dorv|Sequence error (hl_fetch_ln):\n No pending HPUX transfer\n handle = " +
           std::to_string(handle) + "\n type   = " + type;
}

TEST(Echo, RequestsRepliesAndTheirFailures) {
    struct Case {
        const char* name;
        std::string text;
        bool sent;         // the request reaches the server
        std::string reply; // what the server answers
        int result;
        std::string box;
    } cases[] = {
        {"longest text", std::string(1020, 'e'), true, wire_block('E', std::string(1020, 'e')), 0,
         ""},
        {"one too long", std::string(1021, 'e'), false, "", -1,
         "Dorv|Message size exceeds maximum (1020)"},
        {"empty text", "", true, wire_block('E', ""), 0, ""},
        {"untranslated", "\xA3 \x96 \xE8", true, wire_block('E', "\xA3 \x96 \xE8"), 0, ""},
        {"reply one byte short", "hello", true, wire_block('E', "hell"), -1,
         "Dorv|Unexpected message size: 4"},
        {"reply one byte long", "hello", true, wire_block('E', "hello!"), -1,
         "Dorv|Unexpected message size: 6"},
        {"reply differs", "hello", true, wire_block('E', "hellO"), -1, "Dorv|Verification failed"},
        {"server text", "hello", true, wire_block('M', "Server going down"), -1,
         "Dorv SERVER:|Server going down"},
        {"wrong type", "hello", true, status_block(0, "hello"), -1,
         "Dorv|Protocol error (hl_echo):\nUnexpected message type (S)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoxCapture boxes;
        PeerSession s;
        if (c.sent) s.peer.expect(wire_block('E', c.text)).send(c.reply);
        s.open();
        EXPECT_EQ(hl_echo(s.handle, c.text.c_str()), c.result);
        std::vector<std::string> expected;
        if (!c.box.empty()) expected.push_back(c.box);
        EXPECT_EQ(boxes.summary(), expected);
    }
    EXPECT_EQ(wire_block('E', std::string(1020, 'e')).size(), 1024u);
}

TEST(Echo, ANullTextOrAnInvalidHandleSendsNothing) {
    BoxCapture boxes;
    PeerSession s;
    s.open();
    EXPECT_EQ(hl_echo(s.handle, nullptr), -1);
    EXPECT_EQ(hl_echo(s.handle + 1000, "x"), -1);
    EXPECT_EQ(boxes.summary(), (std::vector<std::string>{"Dorv|No text given (hl_echo)",
                                                         invalid_handle_box(s.handle + 1000)}));
}

TEST(HostCommand, AnAcceptedCommandLeavesOutputPending) {
    BoxCapture boxes;
    PeerSession s;
    // The command goes out in the server's character set: the pound sign is 0xBB there.
    s.peer.expect(wire_block('U', "echo \xBB")).send(wire_block('M', "OK"));
    s.open();
    EXPECT_EQ(hl_uxcmd(s.handle, "echo \xA3"), 0);
    EXPECT_EQ(s.record()->transfer_kind, 'U');
    EXPECT_EQ(s.record()->more, 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(HostCommand, RefusalsAndFailuresAreShownAndLeaveNothingPending) {
    struct Case {
        const char* name;
        std::string command;
        bool sent;
        std::string reply;
        std::string box;
    } cases[] = {
        {"OK with a blank", "ls", true, wire_block('M', "OK "), "Dorv SERVER:|OK "},
        {"ok in lower case", "ls", true, wire_block('M', "ok"), "Dorv SERVER:|ok"},
        {"refused", "ls", true, wire_block('M', "Host commands are not allowed"),
         "Dorv SERVER:|Host commands are not allowed"},
        {"wrong type", "ls", true, wire_block('U', "OK"),
         "Dorv|Protocol error (hl_uxcmd):\nUnexpected message type (U)"},
        {"one too long", std::string(1021, 'c'), false, "",
         "Dorv|Command size exceeds maximum (1020)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoxCapture boxes;
        PeerSession s;
        if (c.sent) s.peer.expect(wire_block('U', c.command)).send(c.reply);
        s.open();
        EXPECT_EQ(hl_uxcmd(s.handle, c.command.c_str()), -1);
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{c.box});
        EXPECT_NE(s.record()->transfer_kind, 'U');
        EXPECT_EQ(s.record()->more, 0);
    }
}

TEST(HostCommand, TheLongestCommandIsSentAndANullCommandIsRefused) {
    BoxCapture boxes;
    PeerSession s;
    std::string longest(1020, 'c');
    s.peer.expect(wire_block('U', longest)).send(wire_block('M', "OK"));
    s.open();
    EXPECT_EQ(hl_uxcmd(s.handle, nullptr), -1);
    EXPECT_EQ(hl_uxcmd(s.handle, longest.c_str()), 0);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|No command given (hl_uxcmd)"});
}

// A session whose command was accepted and whose output follows.
void start_command(PeerSession& s, const std::string& output, int warnings = 0) {
    s.peer.expect(wire_block('U', "cmd")).send(wire_block('M', "OK") + output);
    s.open(warnings);
    ASSERT_EQ(hl_uxcmd(s.handle, "cmd"), 0);
}

TEST(FetchBlock, BlocksAreCopiedUnchangedWithoutTerminatorUpToTheEnd) {
    BoxCapture boxes;
    PeerSession s;
    std::string first = "line one\n\xE8\xFF", second(1020, 'z');
    start_command(s, output_block(first) + output_block(second) + eof_block);
    char buffer[1100];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, static_cast<int>(first.size())),
              static_cast<int>(first.size()));
    EXPECT_EQ(std::string(buffer, first.size()), first);
    EXPECT_EQ(buffer[first.size()], '#');
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, sizeof buffer), 1020);
    EXPECT_EQ(std::string(buffer, 1020), second);
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, sizeof buffer), 0);
    EXPECT_EQ(s.record()->more, 0);
    EXPECT_TRUE(boxes.boxes.empty());
    // After the end: the sequence error, with the transfer still marked as host output.
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, sizeof buffer), -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{blk_sequence_box(s.handle, "55")});
}

TEST(FetchBlock, WithoutABufferTheBytesStayInTheConnectionsBlock) {
    PeerSession s;
    start_command(s, output_block("kept here") + eof_block);
    EXPECT_EQ(hl_fetch_blk(s.handle, nullptr, 0), 9);
    EXPECT_EQ(std::string(s.record()->block + 4, 9), "kept here");
}

TEST(FetchBlock, ABufferTooSmallLosesTheBlockAndReadingGoesOn) {
    BoxCapture boxes;
    PeerSession s;
    start_command(s, output_block(std::string(300, 'x')) + output_block("next") + eof_block);
    char buffer[400];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, 100), -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{
                                   "Dorv|Buffer too small (hl_fetch_blk):\n Expected size is 100"});
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, 0), -1); // also a size of 0 with a buffer
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, sizeof buffer), 0);
    EXPECT_EQ(s.record()->more, 0);
}

TEST(FetchBlock, TextMessagesWrongTypesAndEmptyBlocks) {
    struct Case {
        const char* name;
        std::string output;
        std::vector<int> results; // of successive calls with a large buffer
        std::vector<std::string> boxes;
    } cases[] = {
        // A message for the user ends this call; the output goes on.
        {"server text",
         output_block("a") + wire_block('M', "Disk full", false) + output_block("b") + eof_block,
         {1, -1, 1, 0},
         {"Dorv SERVER:|Disk full"}},
        {"EOF with a blank is a message",
         wire_block('M', "EOF ", true),
         {-1},
         {"Dorv SERVER:|EOF "}},
        {"wrong type",
         status_block(0, "", false) + eof_block,
         {-1, 0},
         {"Dorv|Protocol error (hl_fetch_blk):\nUnexpected message type (S)"}},
        // An empty block carries nothing: it does not end the output.
        {"empty block skipped", output_block("") + output_block("data") + eof_block, {4, 0}, {}},
        {"empty last block ends the output",
         output_block("x") + wire_block('U', "", true),
         {1, 0},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoxCapture boxes;
        PeerSession s;
        start_command(s, c.output);
        std::vector<int> results;
        char buffer[1024];
        for (size_t i = 0; i < c.results.size(); ++i)
            results.push_back(hl_fetch_blk(s.handle, buffer, sizeof buffer));
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(boxes.summary(), c.boxes);
        EXPECT_EQ(s.record()->more, 0);
    }
}

TEST(FetchBlock, NeedsAPendingCommandAndAValidHandle) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(wire_block('E', "")).send(wire_block('E', ""));
    s.open();
    char buffer[16];
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, sizeof buffer), -1); // fresh record: kind 0
    EXPECT_EQ(hl_echo(s.handle, ""), 0);                          // drained: kind blank
    EXPECT_EQ(hl_fetch_blk(s.handle, buffer, sizeof buffer), -1);
    EXPECT_EQ(hl_fetch_blk(-7, buffer, sizeof buffer), -1);
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{blk_sequence_box(s.handle, "00"),
                                        blk_sequence_box(s.handle, "20"), invalid_handle_box(-7)}));
}

TEST(FetchBlock, ANewRequestEndsTheOutputAndDrainsItsRest) {
    for (int warnings : {0, 1}) {
        SCOPED_TRACE(warnings);
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(wire_block('U', "cmd"))
            .send(wire_block('M', "OK") + output_block("one") + output_block("two") + eof_block)
            .expect(wire_block('E', "ping"))
            .send(wire_block('E', "ping"));
        s.open(warnings);
        ASSERT_EQ(hl_uxcmd(s.handle, "cmd"), 0);
        char buffer[16];
        EXPECT_EQ(hl_fetch_blk(s.handle, buffer, sizeof buffer), 3);
        EXPECT_EQ(hl_echo(s.handle, "ping"), 0);
        EXPECT_EQ(s.record()->transfer_kind, ' ');
        std::vector<std::string> expected;
        if (warnings != 0)
            expected.push_back("Dorv|Pending transfer:\n handle = " + std::to_string(s.handle));
        EXPECT_EQ(boxes.summary(), expected);
    }
}

struct LineCall {
    int size;
    int result;
    std::string text;
};

TEST(FetchLine, LinesAcrossBlocksTruncationAndTheEnd) {
    struct Case {
        const char* name;
        std::string output;
        std::vector<LineCall> calls;
        std::vector<std::string> warned; // boxes with warnings switched on
    } cases[] = {
        // The last line has no line feed: the call that returns it also reads the EOF.
        {"last line without line feed",
         output_block("ab\ncd") + eof_block,
         {{64, 3, "ab\n"}, {64, 2, "cd"}},
         {"Dorv|Buffer too small (hl_fetch_ln):\n Buffer truncted."}},
        {"end after a line feed",
         output_block("ab\n") + eof_block,
         {{64, 3, "ab\n"}, {64, 0, ""}},
         {}},
        {"lines across blocks",
         output_block("one\ntw") + output_block("o\nthree") + output_block("\n") + eof_block,
         {{64, 4, "one\n"}, {64, 4, "two\n"}, {64, 6, "three\n"}, {64, 0, ""}},
         {}},
        {"a long line in pieces of size - 1",
         output_block("abcdefg\n") + eof_block,
         {{4, 3, "abc"}, {4, 3, "def"}, {4, 2, "g\n"}, {4, 0, ""}},
         {"Dorv|Buffer too small (hl_fetch_ln):\n Buffer truncted.",
          "Dorv|Buffer too small (hl_fetch_ln):\n Buffer truncted."}},
        // Size 1 reads nothing; the line is still there for the next call.
        {"size 1",
         output_block("x\n") + eof_block,
         {{1, 0, ""}, {1, 0, ""}, {8, 2, "x\n"}, {8, 0, ""}},
         {}},
        {"server characters translated",
         output_block("\xE8\xBB\x85\n") + eof_block,
         {{8, 4, "\xD2\xA3 \n"}, {8, 0, ""}},
         {}},
        {"empty blocks between lines",
         output_block("a") + output_block("") + output_block("\n") + eof_block,
         {{8, 2, "a\n"}, {8, 0, ""}},
         {}},
    };
    for (const auto& c : cases) {
        for (int warnings : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + (warnings != 0 ? ", warnings" : ""));
            BoxCapture boxes;
            PeerSession s;
            start_command(s, c.output, warnings);
            for (const auto& call : c.calls) {
                std::vector<char> buffer(static_cast<size_t>(call.size) + 4, '#');
                EXPECT_EQ(hl_fetch_ln(s.handle, buffer.data(), call.size), call.result);
                EXPECT_EQ(std::string(buffer.data()), call.text);
                EXPECT_EQ(buffer[static_cast<size_t>(call.size)], '#');
            }
            EXPECT_EQ(boxes.summary(), warnings != 0 ? c.warned : std::vector<std::string>{});
        }
    }
}

TEST(FetchLine, AfterTheEndTheSequenceErrorOfFetchBlock) {
    BoxCapture boxes;
    PeerSession s;
    start_command(s, output_block("ab\ncd") + eof_block);
    char line[16];
    EXPECT_EQ(hl_fetch_ln(s.handle, line, sizeof line), 3);
    EXPECT_EQ(hl_fetch_ln(s.handle, line, sizeof line), 2);
    EXPECT_EQ(hl_fetch_ln(s.handle, line, sizeof line), -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{blk_sequence_box(s.handle, "55")});
}

TEST(FetchLine, AFailureLosesWhatWasGathered) {
    BoxCapture boxes;
    PeerSession s;
    start_command(s, output_block("par") + wire_block('M', "Killed", false) +
                         output_block("rest\n") + eof_block);
    char line[32];
    std::memset(line, '#', sizeof line);
    EXPECT_EQ(hl_fetch_ln(s.handle, line, sizeof line), -1);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv SERVER:|Killed"});
    EXPECT_EQ(hl_fetch_ln(s.handle, line, sizeof line), 5);
    EXPECT_STREQ(line, "rest\n");
}

TEST(FetchLine, RefusesWithoutPendingOutputOrUsableBuffer) {
    BoxCapture boxes;
    PeerSession s;
    start_command(s, output_block("x\n") + eof_block);
    char line[8];
    std::memset(line, '#', sizeof line);
    EXPECT_EQ(hl_fetch_ln(s.handle, nullptr, 8), -1);
    EXPECT_EQ(hl_fetch_ln(s.handle, line, 0), -1);
    EXPECT_EQ(line[0], '#');
    EXPECT_EQ(hl_fetch_ln(s.handle + 1000, line, sizeof line), -1);
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv|No buffer given (hl_fetch_ln)",
                                        "Dorv|Buffer too small (hl_fetch_ln):\n size = 0",
                                        invalid_handle_box(s.handle + 1000)}));
    boxes.clear();
    EXPECT_EQ(hl_fetch_ln(s.handle, line, sizeof line), 2); // nothing was read by the refusals
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(FetchLine, BeforeAnyCommandTheSequenceError) {
    BoxCapture boxes;
    PeerSession s;
    s.open();
    char line[8];
    EXPECT_EQ(hl_fetch_ln(s.handle, line, sizeof line), -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{ln_sequence_box(s.handle, "00")});
}

} // namespace
