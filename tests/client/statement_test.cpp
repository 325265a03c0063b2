// hl_dorv_version, hl_dorv_exec (statement splitting) and hl_dorv_explain.
#include "client/protocol/message_layer.h"
#include "peer_session.h"
#include "support/box_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::string caller_text_after(const char* text, size_t length) {
    return std::string(text, length);
}

TEST(Exec, StatementsAreSplitAtSemicolonsOutsideQuotesAndTheCallersTextIsLeftAsItWas) {
    struct Case {
        std::string text;
        std::vector<std::string> sent;
    } cases[] = {
        {"select * from t;update t set a='x;y' where b=1",
         {"select * from t", "update t set a='x;y' where b=1"}},
        {"a \"b;c\" d;e", {"a \"b;c\" d", "e"}},
        {"x 'a\"b;' ;y", {"x 'a\"b;' ", "y"}},   // " inside ' is plain
        {"x \"it's;\";y", {"x \"it's;\"", "y"}}, // ' inside " is plain
        {"a;", {"a"}},
        {";;", {"", ""}},
        {"a;;b", {"a", "", "b"}},
        {"'unclosed; still one", {"'unclosed; still one"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.text));
        BoxCapture boxes;
        PeerSession s;
        int status = 0;
        // Run twice: the second run sends every statement again (a VBA
        // variable passed ByVal comes back as it went in).
        for (int run = 0; run < 2; ++run)
            for (const auto& statement : c.sent)
                s.peer.expect(exec_request(statement)).send(status_block(--status, ""));
        s.open();
        std::vector<char> text(c.text.begin(), c.text.end());
        text.push_back('\0');
        int first_last = -static_cast<int>(c.sent.size());
        EXPECT_EQ(hl_dorv_exec(s.handle, text.data()), first_last);
        EXPECT_EQ(caller_text_after(text.data(), c.text.size()), c.text);
        EXPECT_EQ(hl_dorv_exec(s.handle, text.data()), status);
        EXPECT_EQ(caller_text_after(text.data(), c.text.size()), c.text);
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST(Exec, AConstantTextWithSemicolonsIsNeverWrittenTo) {
    // A string literal lives in read-only memory: a write into it faults.
    PeerSession s;
    s.peer.expect(exec_request("select 1")).send(status_block(0, ""));
    s.peer.expect(exec_request("select 2")).send(status_block(0, ""));
    s.open();
    EXPECT_EQ(hl_dorv_exec(s.handle, const_cast<char*>("select 1;select 2;")), 0);
}

TEST(Exec, AnEmptyTextSendsNothingAndReportsEndOfData) {
    BoxCapture boxes;
    PeerSession s;
    s.open();
    char empty[] = "";
    EXPECT_EQ(hl_dorv_exec(s.handle, empty), -9);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Exec, StatementsUpTo1018BytesAreSentLongerOnesRefused) {
    BoxCapture boxes;
    PeerSession s;
    std::string fits(1018, 'f'), too_long(1019, 'L');
    s.peer.expect(exec_request("first")).send(status_block(0, ""));
    s.peer.expect(exec_request(fits)).send(status_block(3, ""));
    s.open();
    EXPECT_EQ(exec_request(fits).size(), 1024u);
    std::string text = "first;" + fits + ";" + too_long + ";never";
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    EXPECT_EQ(hl_dorv_exec(s.handle, buffer.data()), 100);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Statement size exceeds maximum (1018)"});
    EXPECT_EQ(std::string(buffer.data()), text); // left as it was
}

TEST(Exec, AFailingStatementDoesNotStopTheNextAndTheLastStatusIsReturned) {
    PeerSession s;
    s.peer.expect(exec_request("a")).send(status_block(0, ""));
    s.peer.expect(exec_request("b")).send(status_block(25, ""));
    s.peer.expect(exec_request("c")).send(status_block(-9, ""));
    s.open();
    char text[] = "a;b;c";
    EXPECT_EQ(hl_dorv_exec(s.handle, text), -9);
}

TEST(Exec, TheServersTextIsShownOncePerStatementOnlyWithWarnings) {
    for (int warnings : {0, 1}) {
        SCOPED_TRACE(warnings);
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(exec_request("one"))
            .send(status_block(0, "3 rows inserted", false) +
                  status_block(0, "second block: not shown", true));
        s.peer.expect(exec_request("two")).send(status_block(17, std::string(1018, 'm')));
        s.peer.expect(exec_request("three")).send(status_block(0, ""));
        s.open(warnings);
        char text[] = "one;two;three";
        EXPECT_EQ(hl_dorv_exec(s.handle, text), 0);
        std::vector<std::string> expected;
        if (warnings != 0) {
            expected.push_back("Dorv|EXEC message:\n status = 0\n 3 rows inserted");
            // The longest text: cut to what a box shows (1023 characters of formatted text).
            std::string prefix = "EXEC message:\n status = 17\n ";
            expected.push_back("Dorv|" + prefix + std::string(1023 - prefix.size(), 'm'));
        }
        EXPECT_EQ(boxes.summary(), expected);
        EXPECT_EQ(s.record()->more, 0);
    }
}

TEST(Exec, FailuresInTheMiddleOfAReplyGive100) {
    struct Case {
        std::string reply;
        std::string box;
    } cases[] = {
        {wire_block('M', "no such table"), "Dorv SERVER:|no such table"},
        {wire_block('Q', ""), "Dorv|Protocol error (ll_dorv_read):\nUnexpected message type (Q)"},
        {status_block(0, "", false) + wire_block('M', "broken"), "Dorv SERVER:|broken"},
        {"", "Dorv|Inconsistent message:\n read = 0, size = 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.reply));
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(exec_request("x")).send(c.reply);
        if (c.reply.empty()) s.peer.close_connection();
        s.open();
        char text[] = "x;y";
        EXPECT_EQ(hl_dorv_exec(s.handle, text), 100);
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{c.box});
    }
}

TEST(Version, TheTextIsReturnedByteForByte) {
    BoxCapture boxes;
    PeerSession s;
    std::string version = "Dorv A.02.10 \xE8\xFF";
    s.peer.expect(request('A')).send(status_block(55, version));
    s.peer.expect(request('A')).send(status_block(0, std::string(1018, 'v')));
    s.open();
    char text[1019 + 8];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(hl_dorv_version(s.handle, text), 0);
    EXPECT_EQ(std::string(text), version);
    EXPECT_EQ(hl_dorv_version(s.handle, text), 0);
    EXPECT_EQ(std::string(text), std::string(1018, 'v'));
    EXPECT_EQ(text[1019], '#');
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Version, FailuresGive100AndLeaveTheBufferAlone) {
    struct Case {
        std::string reply;
        std::string box;
    } cases[] = {
        {wire_block('M', "server going down"), "Dorv SERVER:|server going down"},
        {wire_block('E', "xy"),
         "Dorv|Protocol error (hl_dorv_version):\nUnexpected message type (E)"},
        {wire_block('S', "\x01"),
         "Dorv|Internal error (hl_dorv_version)\nCorrupted M_DORV message"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.reply));
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(request('A')).send(c.reply);
        s.open();
        char text[32] = "unchanged";
        EXPECT_EQ(hl_dorv_version(s.handle, text), 100);
        EXPECT_STREQ(text, "unchanged");
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{c.box});
    }
}

TEST(Explain, TheCodeChoosesArgumentDestinationAndBox) {
    struct Case {
        int code;
        char argument;
        bool caller_buffer;
        bool box;
    } cases[] = {
        {2000, 0, false, true},
        {2005, 5, false, true},
        {1005, 5, true, true},
        {5, 5, true, false},
        {0, 0, true, false},
        {999, static_cast<char>(999 % 256), true, false},
        {-5, static_cast<char>(-5), true, false},
        {-1005, static_cast<char>(-5), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(request('M', std::string(1, c.argument)))
            .send(status_block(1, "Table ", false) + status_block(2, "not found \xE8\n\n"));
        s.open();
        char buffer[64] = "untouched";
        EXPECT_EQ(hl_dorv_explain(s.handle, c.caller_buffer ? buffer : nullptr,
                                  c.caller_buffer ? 64 : 0, c.code),
                  2);
        std::string text = "Table not found \xE8";
        EXPECT_EQ(std::string(c.caller_buffer ? buffer : text_buffer), text);
        if (!c.caller_buffer) {
            EXPECT_STREQ(buffer, "untouched");
        }
        std::vector<std::string> expected;
        if (c.box) expected.push_back("Explain Dorv - Message|" + text);
        ASSERT_EQ(boxes.summary(), expected);
        if (c.box) {
            EXPECT_EQ(boxes.boxes[0].style, 0x30u);
        }
    }
}

TEST(Explain, ATextThatFillsTheBufferIsCutAndWarnedAboutOnlyWithWarnings) {
    struct Case {
        int warnings;
        std::string reply_text;
        int size;
        std::string stored;
        bool warned;
    } cases[] = {
        {1, "abcdefg", 8, "abcdefg", true}, // exactly size - 1: still warned
        {0, "abcdefg", 8, "abcdefg", false},    {1, "abcdef", 8, "abcdef", false},
        {1, "abcdefghijk", 8, "abcdefg", true}, {1, "abc\n\n\n", 8, "abc", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply_text);
        BoxCapture boxes;
        PeerSession s;
        // Split over two blocks; every block is read even when the buffer is full.
        s.peer.expect(request('M', std::string(1, 3)))
            .send(status_block(0, c.reply_text.substr(0, 4), false) +
                  status_block(9, c.reply_text.substr(4)))
            .expect(request('A'))
            .send(status_block(0, "v"));
        s.open(c.warnings);
        char buffer[8];
        EXPECT_EQ(hl_dorv_explain(s.handle, buffer, c.size, 3), 9);
        EXPECT_EQ(std::string(buffer), c.stored);
        std::vector<std::string> expected;
        if (c.warned)
            expected.push_back("Dorv|Buffer too small (hl_dorv_explain):\n Buffer truncated.");
        EXPECT_EQ(boxes.summary(), expected);
        char version[1019];
        EXPECT_EQ(hl_dorv_version(s.handle, version), 0); // nothing left over from the explanation
    }
}

TEST(Explain, EveryFailureEndsWithTheFatalBox) {
    const std::string fatal = "Dorv Error|Fatal error occurred while executing explain !";
    struct Case {
        std::string reply;
        std::string first_box;
    } cases[] = {
        {wire_block('M', "explain refused"), "Dorv SERVER:|explain refused"},
        {wire_block('Z', ""), "Dorv|Protocol error (ll_dorv_read):\nUnexpected message type (Z)"},
        {status_block(0, "part", false),
         "Dorv|Inconsistent message:\n read = 0, size = 0"}, // then closed
        {wire_block('S', "\x01"), "Dorv|Internal error (ll_dorv_read)\nCorrupted M_DORV message"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.reply));
        BoxCapture boxes;
        PeerSession s;
        s.peer.expect(request('M', std::string(1, 0))).send(c.reply).close_connection();
        s.open();
        EXPECT_EQ(hl_dorv_explain(s.handle, nullptr, 0, 2000), 100);
        EXPECT_EQ(boxes.summary(), (std::vector<std::string>{c.first_box, fatal}));
    }
    BoxCapture boxes;
    EXPECT_EQ(hl_dorv_explain(4711, nullptr, 0, 2000), 100);
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv|Invalid connection handle:\n handle = 4711", fatal}));
}

TEST(Explain, ASizeBelowOneFailsClearlyWithoutWritingOrSending) {
    BoxCapture boxes;
    PeerSession s;
    s.open();
    char buffer[4] = "abc";
    EXPECT_EQ(hl_dorv_explain(s.handle, buffer, 0, 5), 100);
    EXPECT_EQ(hl_dorv_explain(s.handle, nullptr, 10, 1005), 100);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv|Buffer too small (hl_dorv_explain):\n size = 0",
                                        "Dorv|No buffer given (hl_dorv_explain)"}));
}

} // namespace
