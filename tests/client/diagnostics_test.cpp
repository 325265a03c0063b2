// The library's debug log, error boxes and server message boxes.
#include "client/include/dorv32.h"
#include "common/diagnostics.h"
#include "platform/platform.h"
#include "support/box_capture.h"
#include "support/test_files.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

// "Wed Jan 02 02:03:55 1980": weekday, month, two-digit day, time, year.
bool is_asctime(const std::string& t) {
    static const std::string days = "SunMonTueWedThuFriSat",
                             months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (t.size() != 24) return false;
    auto digits = [&](size_t at, size_t n) {
        for (size_t i = at; i < at + n; ++i)
            if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
        return true;
    };
    return days.find(t.substr(0, 3)) % 3 == 0 && days.find(t.substr(0, 3)) != std::string::npos &&
           months.find(t.substr(4, 3)) % 3 == 0 &&
           months.find(t.substr(4, 3)) != std::string::npos && t[3] == ' ' && t[7] == ' ' &&
           digits(8, 2) && t[10] == ' ' && digits(11, 2) && t[13] == ':' && digits(14, 2) &&
           t[16] == ':' && digits(17, 2) && t[19] == ' ' && digits(20, 4);
}

TEST(Diagnostics, DebugOffCreatesNoFileAndTracesNothingButErrorBoxesStillShow) {
    std::string path = test_temp_dir() + "/never.log";
    remove_file(path);
    restart_debug_log("[Global]\nDebug=0\nDLLDebugFile=" + path + "\n");
    BoxCapture boxes;
    debug_print("\nnothing %d", 1);
    error_box("Something %s", "failed");
    end_debug_log();
    EXPECT_FALSE(file_exists(path));
    ASSERT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Something failed"});
    EXPECT_EQ(boxes.boxes[0].style, 0x30u); // OK button, exclamation mark
    restart_debug_log("");
}

TEST(Diagnostics, StartAndEndLinesAreAppendedAtEveryAttach) {
    std::string path;
    {
        TraceLog log;
        path = log.path;
        debug_print("\nfirst %s", "run");
        log.text();
        restart_debug_log("[Global]\nDebug=1\nDLLDebugFile=" + path + "\n");
        debug_print("\nsecond run");
        log.text();
    }
    std::string text = read_log_file(path);
    // "\nStart: <asctime>\n\n\n" ... "\n\nEnde: <asctime>\n", twice.
    size_t at = 0;
    for (const char* body : {"\nfirst run", "\nsecond run"}) {
        ASSERT_EQ(text.compare(at, 8, "\nStart: "), 0) << text;
        EXPECT_TRUE(is_asctime(text.substr(at + 8, 24))) << text.substr(at + 8, 24);
        at += 32;
        ASSERT_EQ(text.compare(at, 3, "\n\n\n"), 0);
        at += 3;
        ASSERT_EQ(text.compare(at, std::strlen(body), body), 0);
        at += std::strlen(body);
        ASSERT_EQ(text.compare(at, 8, "\n\nEnde: "), 0);
        EXPECT_TRUE(is_asctime(text.substr(at + 8, 24)));
        at += 32;
        ASSERT_EQ(text.compare(at, 2, "\n\n"), 0);
        at += 2;
    }
    EXPECT_EQ(at, text.size());
}

TEST(Diagnostics, PercentSignsInArgumentsAreWrittenUnchanged) {
    TraceLog log;
    BoxCapture boxes;
    debug_print("\nhl_dorv_exec(), stmt_len = %d\n   [%s]", 37,
                "SELECT * FROM t WHERE name LIKE 'A%s%'");
    error_box("Statement [%s]", "LIKE '%d%%'");
    std::string text = log.text();
    EXPECT_NE(
        text.find("\nhl_dorv_exec(), stmt_len = 37\n   [SELECT * FROM t WHERE name LIKE 'A%s%']"),
        std::string::npos);
    // error_box writes its own text to the log, unchanged, after the box.
    EXPECT_NE(text.find("Statement [LIKE '%d%%']"), std::string::npos);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Statement [LIKE '%d%%']"});
}

TEST(Diagnostics, LongTextsAreCutTo1023Characters) {
    TraceLog log;
    BoxCapture boxes;
    std::string long_text(3000, 'L');
    debug_print("<%s>", long_text.c_str());
    error_box("%s", long_text.c_str());
    std::string text = log.text();
    EXPECT_NE(text.find("<" + std::string(1022, 'L') + std::string(1023, 'L')), std::string::npos);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, std::string(1023, 'L'));
}

TEST(Diagnostics, ALogThatCannotBeOpenedIsReportedOnceAndTracingGoesOn) {
    BoxCapture boxes;
    restart_debug_log("[Global]\nDebug=1\nDLLDebugFile=" + test_temp_dir() +
                      "/no/such/folder/x.log\n");
    ASSERT_EQ(boxes.summary(), std::vector<std::string>{"DORV.DLL|Unable to open Debug Log file"});
    EXPECT_EQ(boxes.boxes[0].style, 0u); // OK only, no icon
    EXPECT_EQ(debug_enabled, 1u);
    restart_debug_log("");
    EXPECT_EQ(debug_enabled, 0u);
}

#ifndef _WIN32
TEST(Diagnostics, DebugOnWithoutAFileTracesToTheDebuggerOutput) {
    restart_debug_log("[Global]\nDebug=1\n");
    BoxCapture boxes;
    testing::internal::CaptureStderr();
    debug_print("\ntrace %d", 42);
    error_box("boxed");
    std::string out = testing::internal::GetCapturedStderr();
    restart_debug_log("");
    EXPECT_EQ(out, "\ntrace 42boxed");
}
#endif

TEST(Diagnostics, ServerTextsAreShownUpTo1019Characters) {
    struct Case {
        size_t length;
        size_t shown;
    } cases[] = {{0, 0}, {5, 5}, {1019, 1019}, {1020, 1019}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        char block[1024];
        std::memset(block, '#', sizeof block);
        unsigned short length = static_cast<unsigned short>(c.length + 4);
        std::memcpy(block, &length, 2);
        block[2] = 'M';
        block[3] = 1;
        for (size_t i = 0; i < c.length; ++i)
            block[4 + i] = static_cast<char>('a' + i % 26);
        char before[1024];
        std::memcpy(before, block, sizeof block);
        BoxCapture boxes;
        server_message_box(block);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].caption, "Dorv SERVER:");
        EXPECT_EQ(boxes.boxes[0].text, std::string(block + 4, c.shown));
        EXPECT_EQ(boxes.boxes[0].style, 0x30u);
        EXPECT_EQ(std::memcmp(before, block, sizeof block), 0); // the block is left as it came
    }
}

TEST(Messages, TheSettingAndItsEnvironmentVariableChooseWhereBoxesGo) {
    struct Case {
        const char* ini;         // value of "Messages", or null for no key
        const char* environment; // DORV_MESSAGES, or null when unset
        MessagesMode mode;
    } cases[] = {
        {nullptr, nullptr, MESSAGES_BOX},     {"box", nullptr, MESSAGES_BOX},
        {"log", nullptr, MESSAGES_LOG},       {"stderr", nullptr, MESSAGES_STDERR},
        {"STDERR", nullptr, MESSAGES_STDERR}, {"popup", nullptr, MESSAGES_BOX},
        {"log", "stderr", MESSAGES_STDERR},   {nullptr, "log", MESSAGES_LOG},
        {"stderr", "box", MESSAGES_BOX},      {"log", "nonsense", MESSAGES_BOX},
        {"stderr", "", MESSAGES_STDERR}, // an empty variable is no choice
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ini ? c.ini : "-") + "/" +
                     (c.environment ? c.environment : "-"));
        MessagesEnvironment environment(c.environment);
        restart_debug_log(c.ini != nullptr ? std::string("[Global]\nMessages=") + c.ini + "\n"
                                           : "[Global]\n");
        EXPECT_EQ(messages_mode, c.mode);
    }
    restart_debug_log("");
    EXPECT_EQ(messages_mode, MESSAGES_BOX);
}

// Every kind of box the library shows, as each mode delivers it.
void show_every_kind() {
    error_box("Unable to connect host.\n Host = %s", "h");
    char block[1024] = {};
    unsigned short length = 4 + 5;
    std::memcpy(block, &length, 2);
    block[2] = 'M';
    std::memcpy(block + 4, "hello", 5);
    EXPECT_EQ(server_message_box(block), PLAT_IDOK);
    EXPECT_EQ(plat_message_box("no such table", "Explain Dorv - Message",
                               PLAT_MB_OK | PLAT_MB_ICONEXCLAMATION),
              PLAT_IDOK);
}

TEST(Messages, StderrModeWritesCaptionAndTextAndShowsNoBox) {
    MessagesEnvironment environment("stderr");
    restart_debug_log("[Global]\n");
    BoxCapture boxes;
    boxes.answer = PLAT_IDCANCEL; // a box that came would say so
    testing::internal::CaptureStderr();
    show_every_kind();
    EXPECT_EQ(plat_message_box("asked", "Dorv", PLAT_MB_OKCANCEL), PLAT_IDOK);
    std::string out = testing::internal::GetCapturedStderr();
    restart_debug_log("");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(out, "Dorv: Unable to connect host.\n Host = h\n"
                   "Dorv SERVER: hello\n" // the caption's own colon, not a second one
                   "Explain Dorv - Message: no such table\n"
                   "Dorv: asked\n");
}

TEST(Messages, LogModeWritesTheBoxIntoTheLogWithItsCaption) {
    std::string path = test_temp_dir() + "/messages.log";
    remove_file(path);
    restart_debug_log("[Global]\nDebug=1\nDLLDebugFile=" + path + "\nMessages=log\n");
    BoxCapture boxes;
    testing::internal::CaptureStderr();
    show_every_kind();
    std::string out = testing::internal::GetCapturedStderr();
    end_debug_log();
    std::string text = read_log_file(path);
    restart_debug_log("");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(out, "");
    // error_box's own trace of its text follows, as with a box.
    EXPECT_NE(text.find("\n[Dorv] Unable to connect host.\n Host = h\n"
                        "Unable to connect host.\n Host = h"
                        "\n[Dorv SERVER:] hello\n"
                        "\n[Explain Dorv - Message] no such table\n"),
              std::string::npos)
        << text;
}

// Messages=log puts every message into a file, whatever "Debug" says: the log
// file key's file when it is named, else dorv32.log in the temporary folder.
TEST(Messages, LogModeAlwaysReachesAFile) {
    TemporaryFolderOverride temporary;
    const std::string named = test_temp_dir() + "/named-messages.log";
    const std::string fallback = temporary.path + "/dorv32.log";
    const std::string unopenable = test_temp_dir() + "/no/such/folder/x.log";
    struct Case {
        const char* name;
        std::string keys; // further keys of "Global"
        std::string file; // where the messages are
        bool quiet;       // nothing at all on standard error
        std::string also; // a further record in that file
    } cases[] = {
        {"Debug=0 with a log file named", "Debug=0\nDLLDebugFile=" + named + "\n", named, true, ""},
        {"Debug=0 without a log file", "Debug=0\n", fallback, true, ""},
        {"no Debug key at all", "", fallback, true, ""},
        {"Debug=1 without a log file", "Debug=1\n", fallback, false, ""},
        {"Debug=0 with a log file that cannot be opened", "DLLDebugFile=" + unopenable + "\n",
         fallback, true, ""},
        {"Debug=1 with a log file that cannot be opened",
         "Debug=1\nDLLDebugFile=" + unopenable + "\n", fallback, false,
         "\n[DORV.DLL] Unable to open Debug Log file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remove_file(named);
        remove_file(fallback);
        BoxCapture boxes;
        testing::internal::CaptureStderr();
        restart_debug_log("[Global]\nMessages=log\n" + c.keys);
        show_every_kind();
        end_debug_log();
        std::string out = testing::internal::GetCapturedStderr();
        std::string other = c.file == named ? fallback : named;
        EXPECT_FALSE(file_exists(other));
        std::string text = read_log_file(c.file);
        EXPECT_EQ(text.rfind("\nStart: ", 0), 0u) << text;
        EXPECT_NE(text.find("\n[Dorv] Unable to connect host.\n Host = h\n"), std::string::npos)
            << text;
        EXPECT_NE(text.find("\n[Dorv SERVER:] hello\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\n[Explain Dorv - Message] no such table\n"), std::string::npos);
        EXPECT_NE(text.find("\n\nEnde: "), std::string::npos) << text;
        EXPECT_NE(text.find(c.also), std::string::npos) << text;
        EXPECT_TRUE(boxes.boxes.empty());
        if (c.quiet) {
            EXPECT_EQ(out, "");
        }
    }
    remove_file(named);
    remove_file(fallback);
    // A run without a message leaves no file behind.
    restart_debug_log("[Global]\nMessages=log\n");
    end_debug_log();
    EXPECT_FALSE(file_exists(fallback));
    restart_debug_log("");
}

#ifndef _WIN32
TEST(Messages, WithoutWindowsABoxReadsAsCaptionAndTextWithOneColon) {
    restart_debug_log("");
    char block[1024] = {};
    unsigned short length = 4 + 5;
    std::memcpy(block, &length, 2);
    block[2] = 'M';
    std::memcpy(block + 4, "hello", 5);
    testing::internal::CaptureStderr();
    server_message_box(block);
    error_box("boxed");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Dorv SERVER: hello\nDorv: boxed\n");
}
#endif

TEST(Messages, TheLogThatCannotBeOpenedIsReportedTheChosenWay) {
    MessagesEnvironment environment("stderr");
    BoxCapture boxes;
    testing::internal::CaptureStderr();
    restart_debug_log("[Global]\nDebug=1\nDLLDebugFile=" + test_temp_dir() + "/no/such/x.log\n");
    std::string out = testing::internal::GetCapturedStderr();
    restart_debug_log("");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(out, "DORV.DLL: Unable to open Debug Log file\n");
}

TEST(Messages, AFailedConnectInStderrModeSaysWhyAndReturnsAsAfterTheBox) {
    for (const char* mode : {"stderr", "box"}) {
        SCOPED_TRACE(mode);
        MessagesEnvironment environment(mode);
        restart_debug_log("[Global]\n");
        BoxCapture boxes;
        testing::internal::CaptureStderr();
        char transport[] = "WINSOCK";
        // Port 1 on the loopback: nobody listens there.
        int handle = hl_connect(transport, "127.0.0.1", "1", 0);
        std::string out = testing::internal::GetCapturedStderr();
        restart_debug_log("");
        EXPECT_EQ(handle, -1);
        if (std::string(mode) == "stderr") {
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_EQ(
                out.rfind("Dorv: Unable to connect host.\n Host = 127.0.0.1, Service = 1\n", 0), 0u)
                << out;
        } else {
            ASSERT_EQ(boxes.boxes.size(), 1u);
            EXPECT_EQ(boxes.boxes[0].text.rfind("Unable to connect host.", 0), 0u);
#ifdef _WIN32
            EXPECT_EQ(out, ""); // the real box, nothing on standard error
#endif
        }
    }
}

} // namespace
