// The add-in loaded as Excel loads it: LoadLibraryA with its full path, from a
// folder that is neither the program's (this test program plays Excel, with
// the fake xlcall32.dll beside it) nor the current folder, and not on PATH.
// The add-in must find dorv32.dll in its own folder, bind its calls there by
// ordinal, say which file it looked for where when it cannot, and let go of
// the library when it is unloaded.
#include "excel_args.h"
#include "fake_excel.h"
#include "support/box_capture.h"
#include "xll_loader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

// The folder that holds the test's folders (the program's folder "excel" among them).
std::string root() {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string path(exe, n);
    path = path.substr(0, path.find_last_of('\\'));
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string folder(const char* name) {
    return root() + name;
}

std::string current_folder() {
    char here[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof here, here);
    return std::string(here, n);
}

// The file a loaded module came from, or "" when no module of that name is loaded.
std::string loaded_from(const char* module_name) {
    HMODULE module = GetModuleHandleA(module_name);
    if (module == nullptr) return "";
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, n);
}

bool same_path(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

class AddinFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_reset();
        // The three folders differ, and nothing else offers a dorv32.dll.
        ASSERT_FALSE(same_path(current_folder(), folder("excel")));
        ASSERT_FALSE(same_path(current_folder(), folder("addin")));
        ASSERT_EQ(GetFileAttributesA((folder("excel") + "\\dorv32.dll").c_str()),
                  INVALID_FILE_ATTRIBUTES);
        ASSERT_EQ(GetFileAttributesA((current_folder() + "\\dorv32.dll").c_str()),
                  INVALID_FILE_ATTRIBUTES);
        ASSERT_EQ(loaded_from("dorv32.dll"), "") << "loaded before the add-in";
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
        // Unloading the add-in let go of the library it loaded.
        EXPECT_EQ(loaded_from("dorv32.dll"), "");
    }

    // Loads FOLDER\DORV32.XLL as Excel does; the error code when it fails.
    DWORD load(const char* name) {
        xll_file_ = folder(name) + "\\DORV32.XLL";
        module_ = LoadLibraryA(xll_file_.c_str());
        return module_ == nullptr ? GetLastError() : 0;
    }
    XllExports exports() {
        XllExports x{};
        std::string missing;
        EXPECT_TRUE(find_exports(module_, &x, &missing)) << missing;
        return x;
    }

    BoxCapture boxes;
    HMODULE module_ = nullptr;
    std::string xll_file_;
    Opers op;
};

TEST_F(AddinFolder, FindsItsLibraryBesideItselfAndCallsIt) {
    ASSERT_EQ(load("addin"), 0u) << xll_file_;
    EXPECT_TRUE(same_path(loaded_from("dorv32.dll"), folder("addin") + "\\dorv32.dll"))
        << loaded_from("dorv32.dll");
    XllExports x = exports();
    ASSERT_NE(x.XDorvConnect, nullptr);
    // Both answers come from that library: its failure values and its own
    // message boxes.
    excel::Oper* handle =
        x.XDorvConnect(op.str("NOSUCH"), op.str("127.0.0.1"), op.str("1"), op.missing());
    EXPECT_EQ(describe(handle), int_text(-1));
    EXPECT_EQ(describe(x.XDorvVersion(op.num(9999))), err_text(excel::ErrValue));
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv|Unknown transport: NOSUCH\n",
                                        "Dorv|Invalid connection handle:\n handle = 9999"}));
}

TEST_F(AddinFolder, WithoutItsLibraryTheBoxNamesTheFileItLookedFor) {
    DWORD error = load("alone");
    EXPECT_EQ(module_, nullptr) << "the load must fail";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    ASSERT_EQ(boxes.boxes.size(), 1u) << testing::PrintToString(boxes.summary());
    EXPECT_EQ(boxes.boxes[0].caption, "DORV32.XLL");
    EXPECT_EQ(boxes.boxes[0].text,
              "Unable to load " + folder("alone") + "\\dorv32.dll\nWinErrno=126");
    EXPECT_EQ(boxes.boxes[0].style, 0x10u); // MB_OK | MB_ICONSTOP
    // Excel's callback library was not even tried: no second box, and Excel
    // was not called.
    EXPECT_EQ(fake_call_count(), 0);
}

// Every call the add-in makes reaches the entry at its fixed ordinal: the stub
// beside it exports them under no name at all, and notes each ordinal called.
TEST_F(AddinFolder, BindsEveryCallByOrdinalOnly) {
    ASSERT_EQ(load("stub"), 0u) << xll_file_;
    using Reached = int (*)(char*, int);
    auto reached_text = reinterpret_cast<Reached>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("dorv32.dll"), "stub_reached")));
    ASSERT_NE(reached_text, nullptr);
    auto reached = [&] {
        char text[200];
        reached_text(text, sizeof text);
        return std::string(text);
    };
    XllExports x = exports();
    ASSERT_NE(x.XDorvSelectEntry, nullptr);
    fake_set_active_sheet(1);
    struct Case {
        const char* call;
        std::function<std::string()> make;
        std::string answer;
        std::string ordinals; // as the stub notes them, in call order
    } cases[] = {
        {"XDorvConnect",
         [&] {
             return describe(
                 x.XDorvConnect(op.str("WINSOCK"), op.str("h"), op.str("s"), op.missing()));
         },
         int_text(7), "1"},
        {"XDorvConnectIni",
         [&] {
             return describe(
                 x.XDorvConnectIni(op.str("f.ini"), op.str("s"), op.missing(), op.missing()));
         },
         int_text(7), "2"},
        {"XDorvDisconnect", [&] { return describe(x.XDorvDisconnect(op.num(7))); }, int_text(0),
         "3"},
        {"XDorvVersion", [&] { return describe(x.XDorvVersion(op.num(7))); },
         str_text("stub version"), "8"},
        {"XDorvExec", [&] { return std::to_string(x.XDorvExec(op.num(7), op.str("select 1"))); },
         "1", "9"},
        // The header's first field fails (status 5): the failure is explained.
        {"XDorvExecRange",
         [&] {
             return std::to_string(
                 x.XDorvExecRange(op.num(7), op.str("select 1"), op.sref(0, 0, 0, 0), op.num(1)));
         },
         "0", "9 13 15 10"},
        {"XDorvRange",
         [&] { return std::to_string(x.XDorvRange(op.num(7), op.sref(0, 0, 0, 0), op.num(0))); },
         "0", "14 15 10"},
        {"XDorvSelectEntry",
         [&] {
             char* key = x.XDorvSelectEntry(op.num(7), op.str("key"), op.num(8), op.num(5));
             return std::string(key != nullptr ? key : "(null)");
         },
         "K1", "17"},
        {"XDorvSetInifile",
         [&] { return std::to_string(x.XDorvSetInifile(op.num(7), op.str("f.ini"), op.str("s"))); },
         "1", "18"},
    };
    std::set<std::string> ordinals;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        reached();
        EXPECT_EQ(c.make(), c.answer);
        std::string got = reached();
        EXPECT_EQ(got, c.ordinals);
        size_t at = 0;
        while (at < got.size()) {
            size_t end = got.find(' ', at);
            if (end == std::string::npos) end = got.size();
            ordinals.insert(got.substr(at, end - at));
            at = end + 1;
        }
    }
    // All eleven calls were reached.
    EXPECT_EQ(ordinals,
              (std::set<std::string>{"1", "2", "3", "8", "9", "10", "13", "14", "15", "17", "18"}));
}

TEST_F(AddinFolder, ALibraryWithoutOneOfTheCallsIsNamedWithTheOrdinal) {
    DWORD error = load("partial");
    EXPECT_EQ(module_, nullptr) << "the load must fail";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    ASSERT_EQ(boxes.boxes.size(), 1u) << testing::PrintToString(boxes.summary());
    EXPECT_EQ(boxes.boxes[0].caption, "DORV32.XLL");
    EXPECT_EQ(boxes.boxes[0].text, "Unable to establish dynamic\nlinkage to " + folder("partial") +
                                       "\\dorv32.dll\nOrdinal=17 WinErrno=127");
    EXPECT_EQ(fake_call_count(), 0);
}

} // namespace
