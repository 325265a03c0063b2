// The add-in's diagnostics: its own captions, log key, time text and traces.
#include "common/diagnostics.h"
#include "support/box_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

void restart(const std::string& ini) {
    end_debug_log();
    write_text_file(windorv_ini_path(), ini);
    start_debug_log();
}

// "12/8/96 9:05:03": month/day/two-digit year, hour without leading zero.
bool is_short_time(const std::string& t) {
    size_t i = 0;
    auto number = [&](size_t min, size_t max) {
        size_t start = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i;
        return i - start >= min && i - start <= max &&
               !(i - start == 2 && max == 2 && min == 1 && t[start] == '0');
    };
    auto sep = [&](char c) { return i < t.size() && t[i++] == c; };
    return number(1, 2) && sep('/') && number(1, 2) && sep('/') && number(2, 2) && sep(' ') &&
           number(1, 2) && sep(':') && number(2, 2) && sep(':') && number(2, 2) && i == t.size();
}

TEST(AddinDiagnostics, ErrorBoxesAndTheirTraceLines) {
    std::string path = test_temp_dir() + "/xll.log";
    remove_file(path);
    // The library's key is not the add-in's: its file stays untouched.
    std::string dll_log = test_temp_dir() + "/dll.log";
    restart("[Global]\nDebug=1\nXLLDebugFile=" + path + "\nDLLDebugFile=" + dll_log + "\n");
    BoxCapture boxes;
    error_box("Value %d of %s", 7, "100% wrong");
    debug_print("\nafter");
    end_debug_log();
    ASSERT_EQ(boxes.summary(), std::vector<std::string>{"Dorv XLL|Value 7 of 100% wrong"});
    EXPECT_EQ(boxes.boxes[0].style, 0x30u);
    std::string text = read_log_file(path);
    ASSERT_EQ(text.rfind("\nStart: ", 0), 0u) << text;
    size_t end_of_time = text.find("\n\n", 8);
    EXPECT_TRUE(is_short_time(text.substr(8, end_of_time - 8))) << text.substr(8, end_of_time - 8);
    EXPECT_NE(text.find("\n\n\nERROR: [Value 7 of 100% wrong]\n\nafter\n\nEnde: "),
              std::string::npos)
        << text;
    EXPECT_FALSE(file_exists(dll_log));
}

TEST(AddinDiagnostics, ErrorBoxesShowWithoutTracingWhenDebugIsOff) {
    std::string path = test_temp_dir() + "/xll-off.log";
    remove_file(path);
    restart("[Global]\nDebug=0\nXLLDebugFile=" + path + "\n");
    BoxCapture boxes;
    error_box("shown");
    end_debug_log();
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv XLL|shown"});
    EXPECT_FALSE(file_exists(path));
}

TEST(AddinDiagnostics, ALogThatCannotBeOpenedNamesTheAddin) {
    BoxCapture boxes;
    restart("[Global]\nDebug=1\nXLLDebugFile=" + test_temp_dir() + "/missing/dir/x.log\n");
    end_debug_log();
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"DORV.XLL|Unable to open Debug Log file"});
    remove_file(windorv_ini_path());
}

TEST(AddinDiagnostics, UnattendedModesReachTheAddinsCopyToo) {
    std::string path = test_temp_dir() + "/xll-messages.log";
    remove_file(path);
    {
        MessagesEnvironment environment("stderr");
        restart("[Global]\nMessages=log\n"); // the variable wins over the setting
        BoxCapture boxes;
        testing::internal::CaptureStderr();
        error_box("Value %d", 7);
        std::string out = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_EQ(out, "Dorv XLL: Value 7\n");
    }
    restart("[Global]\nDebug=1\nXLLDebugFile=" + path + "\nMessages=log\n");
    BoxCapture boxes;
    error_box("Value %d", 8);
    end_debug_log();
    EXPECT_TRUE(boxes.boxes.empty());
    std::string text = read_log_file(path);
    EXPECT_NE(text.find("\n[Dorv XLL] Value 8\n\nERROR: [Value 8]\n"), std::string::npos) << text;
    restart("[Global]\n");
    BoxCapture shown;
    error_box("boxed again");
    EXPECT_EQ(shown.summary(), std::vector<std::string>{"Dorv XLL|boxed again"});
    end_debug_log();
    remove_file(windorv_ini_path());
}

TEST(AddinDiagnostics, LogModeWithoutALogFileWritesTheAddinsOwnFile) {
    TemporaryFolderOverride temporary;
    const std::string fallback = temporary.path + "/dorvxll32.log";
    const std::string named = test_temp_dir() + "/xll-named.log";
    struct Case {
        const char* name;
        std::string keys;
        std::string file;
    } cases[] = {
        {"no log file", "Debug=0\n", fallback},
        {"the add-in's log file, tracing off", "XLLDebugFile=" + named + "\n", named},
        // The library's key is not the add-in's.
        {"only the library's log file", "DLLDebugFile=" + named + "\n", fallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remove_file(fallback);
        remove_file(named);
        restart("[Global]\nMessages=log\n" + c.keys);
        BoxCapture boxes;
        testing::internal::CaptureStderr();
        error_box("Value %d", 9);
        end_debug_log();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(boxes.boxes.empty());
        std::string text = read_log_file(c.file);
        EXPECT_EQ(text.rfind("\nStart: ", 0), 0u) << text;
        EXPECT_NE(text.find("\n[Dorv XLL] Value 9\n"), std::string::npos) << text;
        EXPECT_EQ(text.find("ERROR:"), std::string::npos) << "no trace while tracing is off";
        EXPECT_FALSE(file_exists(c.file == named ? fallback : named));
    }
    remove_file(fallback);
    remove_file(named);
    remove_file(windorv_ini_path());
}

} // namespace
