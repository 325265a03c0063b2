// Binding of the 3-D controls library at attach, its wrappers, its use by the
// password dialog and its release at detach. The same program runs three
// times (DORV_CTL3D_DOUBLE): next to a complete test double of ctl3d32, next
// to one without Ctl3dColorChange, and where there is none.
#include "client/connection/connection_table.h"
#include "client/connection/dialog_support.h"
#include "client/connection/library.h"
#include "client/connection/password_entry.h"
#include "support/box_capture.h"
#include "support/password_dialog_driver.h"
#include "support/test_files.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "client/resources/string_table.h"
#include <dlfcn.h>
#endif

namespace {

enum class Double { Complete, Incomplete, None };

Double scenario() {
    const char* kind = std::getenv("DORV_CTL3D_DOUBLE");
    std::string k = kind != nullptr ? kind : "none";
    return k == "complete"     ? Double::Complete
           : k == "incomplete" ? Double::Incomplete
                               : Double::None;
}

// Whether the double is loaded in the process, without holding it.
bool double_loaded() {
#ifdef _WIN32
    return GetModuleHandleA("ctl3d32.dll") != nullptr;
#else
    void* handle = dlopen("libctl3d32.so", RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
#endif
}

// The double's record of calls; "" when it is not loaded.
std::string double_calls() {
    void* library = plat_load_library("ctl3d32.dll");
    if (library == nullptr) return "";
    typedef int (*CallsFunction)(char*, int);
    auto calls = reinterpret_cast<CallsFunction>(plat_get_proc(library, "ctl3d_double_calls"));
    char text[16384] = "";
    if (calls != nullptr) calls(text, sizeof text);
    plat_free_library(library);
    return text;
}

void clear_double_calls() {
    void* library = plat_load_library("ctl3d32.dll");
    if (library == nullptr) return;
    typedef void (*ClearFunction)();
    auto clear = reinterpret_cast<ClearFunction>(plat_get_proc(library, "ctl3d_double_clear"));
    if (clear != nullptr) clear();
    plat_free_library(library);
}

#ifdef _WIN32
std::string hex(const void* window) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}
#endif

PlatInstance own_instance() {
#ifdef _WIN32
    return GetModuleHandleA(nullptr);
#else
    return dorv32_string_table();
#endif
}

// Attaches the library with tracing into a log of its own, and detaches it again.
class Attached : public ::testing::Test {
  protected:
    void SetUp() override {
        static int serial = 0;
        log_path = test_temp_dir() + "/ctl3d" + std::to_string(++serial) + ".log";
        remove_file(log_path);
        write_text_file(windorv_ini_path(), "[Global]\nDebug=1\nDLLDebugFile=" + log_path + "\n");
        dorv_library_attach(own_instance());
        attached = true;
    }
    void TearDown() override { detach(); }
    void detach() {
        if (attached) dorv_library_detach();
        attached = false;
        remove_file(windorv_ini_path());
    }
    std::string log() { return read_log_file(log_path); }
    std::string log_path;
    bool attached = false;
};

TEST_F(Attached, BindsAllFiveEntryPointsOrNothing) {
    Double d = scenario();
    EXPECT_EQ(ctl3d_available, d == Double::Complete ? 1 : 0);
    EXPECT_EQ(double_loaded(), d == Double::Complete);
    detach();
    std::string text = log();
    const char* expected = d == Double::Complete ? "load_ctl3d successful !\n"
                           : d == Double::Incomplete
                               ? "Unable to establish dynamic\nlinkage to CTL3D32.DLL\nWinErrno="
                               : "Unable to load CTL3D32.DLL\nWinErrno=";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST_F(Attached, WrappersPassTheirArgumentsOrReturnZero) {
    Double d = scenario();
    clear_double_calls();
    void* window = reinterpret_cast<void*>(uintptr_t{0x5A17});
    std::vector<long long> results = {
        ctl3d_register(window), ctl3d_subclass_dlg(window, 0xFFFF),
        static_cast<long long>(ctl3d_dlg_frame_paint(window, 0x86, 1, 0x77)), ctl3d_color_change(),
        ctl3d_unregister(window)};
    if (d == Double::Complete) {
        EXPECT_EQ(results, (std::vector<long long>{11, 13, 14, 15, 12}));
        EXPECT_EQ(
            double_calls(),
            "Ctl3dRegister 5a17\nCtl3dSubclassDlg 5a17 ffff\nCtl3dDlgFramePaint 5a17 86 1 77\n"
            "Ctl3dColorChange\nCtl3dUnregister 5a17\n");
    } else {
        EXPECT_EQ(results, (std::vector<long long>{0, 0, 0, 0, 0}));
        EXPECT_EQ(double_calls(), "");
    }
}

TEST_F(Attached, ThePasswordDialogWorksWithAndWithoutTheControls) {
    Double d = scenario();
    clear_double_calls();
    ConnectionRecord record;
    std::memset(&record, 0, sizeof record);
    std::snprintf(password_exchange.db_name, sizeof password_exchange.db_name, "%s", "vault");
    std::snprintf(password_exchange.db_pswd, sizeof password_exchange.db_pswd, "%s", "*");
    BoxCapture boxes;
    PasswordDialogDriver dialogs(boxes);
    PasswordAnswer answer;
    answer.typed = "pw";
    dialogs.answers.push_back(answer);
    std::string caption_after;
#ifdef _WIN32
    // While it is open the dialog's caption is set and the system colours change.
    dialogs.with_window = [&](void* window) {
        HWND dialog = static_cast<HWND>(window);
        SetWindowTextA(dialog, "Renamed");
        SendMessageA(dialog, WM_SYSCOLORCHANGE, 0, 0);
        char text[64];
        GetWindowTextA(dialog, text, sizeof text);
        caption_after = text;
    };
#endif
    EXPECT_EQ(run_password_dialog(&record), 1);
    EXPECT_STREQ(password_exchange.db_pswd, "pw");
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_TRUE(boxes.boxes.empty());
    std::string calls = double_calls();
    if (d != Double::Complete) {
        EXPECT_EQ(calls, "");
#ifdef _WIN32
        EXPECT_EQ(caption_after, "Renamed");
#endif
        return;
    }
#ifdef _WIN32
    std::string w = hex(dialogs.seen[0].window);
    // Registered and subclassed first, on the dialog itself.
    EXPECT_EQ(calls.rfind("Ctl3dRegister " + w + "\nCtl3dSubclassDlg " + w + " ffff\n", 0), 0u)
        << calls;
    // The frame messages go to the controls library as they came (here it lets
    // the default handling set the caption); the colour change reaches it too.
    for (const char* frame : {" c 0 ", " 85 ", " 86 "}) // WM_SETTEXT, WM_NCPAINT, WM_NCACTIVATE
        EXPECT_NE(calls.find("Ctl3dDlgFramePaint " + w + frame), std::string::npos)
            << frame << calls;
    // Unregistered once, when OK ended the dialog (after what was done while it was open).
    EXPECT_EQ(count_of(calls, "Ctl3dUnregister " + w + "\n"), 1u) << calls;
    EXPECT_GT(calls.find("Ctl3dUnregister"), calls.find("Ctl3dColorChange\n")) << calls;
    EXPECT_EQ(caption_after, "Renamed");
#else
    // The stand-in dialog has no window: the same handle goes to all three calls.
    char window[32];
    ASSERT_EQ(std::sscanf(calls.c_str(), "Ctl3dRegister %31s", window), 1) << calls;
    std::string w = window;
    EXPECT_EQ(calls, "Ctl3dRegister " + w + "\nCtl3dSubclassDlg " + w + " ffff\nCtl3dUnregister " +
                         w + "\n");
#endif
}

TEST_F(Attached, DetachReleasesTheLibraryExactlyOnce) {
    Double d = scenario();
    if (d == Double::None) {
        detach();
        EXPECT_FALSE(double_loaded());
        return;
    }
    // The test holds the double too: an extra release at detach would unload it.
    void* held = plat_load_library("ctl3d32.dll");
    ASSERT_NE(held, nullptr);
    if (d == Double::Incomplete) {
        // Released at once when it was found incomplete, so a second binding
        // leaves it loaded only by the test as well.
        EXPECT_EQ(load_ctl3d(), 0);
        EXPECT_EQ(ctl3d_available, 0);
    }
    detach();
    EXPECT_TRUE(double_loaded());
    plat_free_library(held);
    EXPECT_FALSE(double_loaded());
}

} // namespace
