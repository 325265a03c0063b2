// The built library loaded as a client program loads it (LoadLibraryA,
// dlopen): its exports, its resources, and what attach and detach do.
#include "client/include/dorv32.h"
#include "support/box_capture.h"
#include "support/scripted_peer.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct Export {
    const char* name;
    int ordinal;
    int argument_bytes; // on 32-bit Windows
};

const Export exports[] = {
    {"hl_connect", 1, 16},
    {"hl_connect_ini", 2, 16},
    {"hl_disconnect", 3, 4},
    {"hl_echo", 4, 8},
    {"hl_uxcmd", 5, 8},
    {"hl_fetch_blk", 6, 12},
    {"hl_fetch_ln", 7, 12},
    {"hl_dorv_version", 8, 8},
    {"hl_dorv_exec", 9, 8},
    {"hl_dorv_explain", 10, 16},
    {"hl_dorv_hdr_ln", 11, 16},
    {"hl_dorv_next_row", 12, 12},
    {"hl_dorv_hdr_val", 13, 4},
    {"hl_dorv_next_val", 14, 4},
    {"hl_dorv_tfield", 15, 12},
    {"hl_dorv_field", 16, 12},
    {"hl_dorv_select_entry", 17, 16},
    {"hl_set_inifile", 18, 12},
};

// The library, loaded for one test and unloaded again.
class Library {
  public:
    Library() {
#ifdef _WIN32
        handle_ = LoadLibraryA("dorv32.dll");
#else
        handle_ = dlopen(DORV32_LIBRARY, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~Library() {
        unload();
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    void unload() {
        if (handle_ == nullptr) return;
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
        handle_ = nullptr;
    }
    void* symbol(const char* name) const {
#ifdef _WIN32
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
        return dlsym(handle_, name);
#endif
    }
    void* handle() const {
        return handle_;
    }

  private:
    void* handle_ = nullptr;
};

TEST(Library, ExportsEveryCallByItsNameAndNothingInside) {
    Library library;
    ASSERT_NE(library.handle(), nullptr);
    for (const auto& e : exports) {
        SCOPED_TRACE(e.name);
        EXPECT_NE(library.symbol(e.name), nullptr);
    }
    for (const char* inside : {"find_connection", "ll_dorv_read", "wnsk_connect", "debug_print",
                               "error_box", "open_databases", "database_cache", "request_block"})
        EXPECT_EQ(library.symbol(inside), nullptr) << inside;
}

TEST(Library, UnloadingClosesTheConnectionsStillOpen) {
    struct Case {
        int connections;
        size_t unload_lines;
    } cases[] = {{2, 1}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connections);
        std::string log = test_temp_dir() + "/dll" + std::to_string(c.connections) + ".log";
        remove_file(log);
        write_text_file(windorv_ini_path(), "[Global]\nDebug=1\nDLLDebugFile=" + log + "\n");
        ScriptedPeer peer;
        peer.start();
        {
            BoxCapture boxes;
            Library library;
            ASSERT_NE(library.handle(), nullptr);
            auto connect = reinterpret_cast<decltype(&hl_connect)>(library.symbol("hl_connect"));
            ASSERT_NE(connect, nullptr);
            for (int i = 0; i < c.connections; ++i) {
                char transport[] = "WINSOCK";
                EXPECT_GE(connect(transport, "127.0.0.1", peer.service().c_str(), 0), 0);
            }
            library.unload();
            EXPECT_TRUE(boxes.boxes.empty());
        }
        EXPECT_TRUE(peer.wait_closed_by_client(c.connections));
        EXPECT_EQ(peer.closed_by_client(), c.connections);
        remove_file(windorv_ini_path());
        std::string text = read_log_file(log);
        EXPECT_EQ(text.rfind("\nStart: ", 0), 0u) << text;
        EXPECT_EQ(count_of(text, "\nConnections still active at UNLOAD"), c.unload_lines) << text;
        EXPECT_EQ(count_of(text, "wnsk_disconnect successfull"),
                  static_cast<size_t>(c.connections));
        // Closed before the log ends.
        size_t ende = text.find("\n\nEnde: ");
        ASSERT_NE(ende, std::string::npos) << text;
        EXPECT_EQ(text.find("Connections still active", ende), std::string::npos);
        peer.stop();
        EXPECT_TRUE(peer.failures().empty());
    }
}

#ifdef _WIN32

TEST(Library, ExportsAreUndecoratedAtTheirFixedOrdinals) {
    Library library;
    ASSERT_NE(library.handle(), nullptr);
    for (const auto& e : exports) {
        SCOPED_TRACE(e.name);
        void* by_name = library.symbol(e.name);
        EXPECT_NE(by_name, nullptr);
        EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library.handle()),
                                                         MAKEINTRESOURCEA(e.ordinal))),
                  by_name);
        std::string decorated = std::string(e.name) + "@" + std::to_string(e.argument_bytes);
        EXPECT_EQ(library.symbol(decorated.c_str()), nullptr);
        EXPECT_EQ(library.symbol(("_" + decorated).c_str()), nullptr);
    }
    // The export directory holds these and nothing else, under the library's own name.
    auto* base = static_cast<const unsigned char*>(library.handle());
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + directory->Name), "dorv32.dll");
    EXPECT_EQ(directory->Base, 1u);
    EXPECT_EQ(directory->NumberOfFunctions, 18u);
    EXPECT_EQ(directory->NumberOfNames, 18u);
    auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    auto* ordinals = reinterpret_cast<const WORD*>(base + directory->AddressOfNameOrdinals);
    std::vector<std::string> listed, expected;
    for (DWORD i = 0; i < directory->NumberOfNames; ++i)
        listed.push_back(std::string(reinterpret_cast<const char*>(base + names[i])) + "@" +
                         std::to_string(ordinals[i] + directory->Base));
    for (const auto& e : exports)
        expected.push_back(std::string(e.name) + "@" + std::to_string(e.ordinal));
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

std::string version_string(const std::vector<char>& info, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || value == nullptr)
        return "<none>";
    return static_cast<const char*>(value);
}

TEST(Library, VersionResource) {
    Library library;
    ASSERT_NE(library.handle(), nullptr);
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(static_cast<HMODULE>(library.handle()), path, sizeof path), 0u);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x0002000Au); // 2.10, as the texts say
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u); // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x0002000Au);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(version_string(info, "FileDescription"), sizeof(void*) == 8
                                                           ? "Dorv Client DLL, 64 Bit Version"
                                                           : "Dorv Client DLL, 32 Bit Version");
    EXPECT_EQ(version_string(info, "FileVersion"), "2.10");
    EXPECT_EQ(version_string(info, "ProductVersion"), "2.10");
    EXPECT_EQ(version_string(info, "OriginalFilename"), "dorv32.dll");
}

// The other Windows deliverables, copied beside this program by the build.
struct VersionCase {
    const char* file;
    DWORD file_type;
    DWORD version_ms; // file and product version
    const char* description;
    const char* product_version;
};

TEST(Library, VersionResourcesOfTheOtherDeliverables) {
    const bool wide = sizeof(void*) == 8;
    const VersionCase cases[] = {
        {"DORV32.XLL", VFT_DLL, 0x0002000Au,
         wide ? "Dorv Excel Interface, 64 Bit" : "Dorv Excel Interface, 32 Bit", "A.02.10"},
        {"dorv.exe", VFT_APP, 0x0002000Au, "Dorv command-line client", "2.10"},
    };
    char folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, folder, sizeof folder);
    ASSERT_GT(n, 0u);
    std::string program(folder, n);
    std::string dir = program.substr(0, program.find_last_of("\\/") + 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = dir + c.file;
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << path;
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, c.version_ms);
        EXPECT_EQ(fixed->dwProductVersionMS, c.version_ms);
        EXPECT_EQ(fixed->dwFileType, c.file_type);
        EXPECT_EQ(version_string(info, "FileDescription"), c.description);
        EXPECT_EQ(version_string(info, "FileVersion"), "2.10");
        EXPECT_EQ(version_string(info, "ProductVersion"), c.product_version);
        EXPECT_EQ(version_string(info, "OriginalFilename"), c.file);
    }
}

// A dialog template read back: the dialog and its controls in template order.
struct TemplateItem {
    std::string class_name;
    std::string text;
    int id;
    int x, y, cx, cy;
    DWORD style;
    bool operator==(const TemplateItem& o) const {
        return class_name == o.class_name && text == o.text && id == o.id && x == o.x && y == o.y &&
               cx == o.cx && cy == o.cy && style == o.style;
    }
};

std::ostream& operator<<(std::ostream& out, const TemplateItem& i) {
    char style[16];
    std::snprintf(style, sizeof style, "%08lx", static_cast<unsigned long>(i.style));
    return out << i.class_name << " \"" << i.text << "\" " << i.id << " " << i.x << "," << i.y
               << "," << i.cx << "," << i.cy << " " << style;
}

// Reads a sz_Or_Ord field (class, caption); ordinals of the predefined classes become their names.
std::string read_name(const WORD*& p) {
    if (*p == 0) {
        ++p;
        return "";
    }
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80:
            return "BUTTON";
        case 0x81:
            return "EDIT";
        case 0x82:
            return "STATIC";
        default:
            return "#" + std::to_string(ordinal);
        }
    }
    std::string text;
    while (*p != 0)
        text += static_cast<char>(*p++);
    ++p;
    for (auto& ch : text)
        ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    return text;
}

std::string read_text(const WORD*& p) {
    if (*p == 0xFFFF) {
        p += 2;
        return "";
    }
    std::string text;
    while (*p != 0)
        text += static_cast<char>(*p++);
    ++p;
    return text;
}

TEST(Library, PasswordDialogTemplate) {
    Library library;
    ASSERT_NE(library.handle(), nullptr);
    HMODULE module = static_cast<HMODULE>(library.handle());
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)); // RT_DIALOG
    ASSERT_NE(found, nullptr);
    auto* tmpl = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(tmpl, nullptr);
    EXPECT_EQ(tmpl->style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                              DS_MODALFRAME | DS_SETFONT | DS_3DLOOK));
    EXPECT_EQ(tmpl->dwExtendedStyle, 0u);
    EXPECT_EQ((std::vector<int>{tmpl->x, tmpl->y, tmpl->cx, tmpl->cy}),
              (std::vector<int>{200, 100, 199, 52}));
    ASSERT_EQ(tmpl->cdit, 6);
    const WORD* p = reinterpret_cast<const WORD*>(tmpl + 1);
    EXPECT_EQ(read_name(p), ""); // no menu
    EXPECT_EQ(read_name(p), ""); // the standard dialog class
    EXPECT_EQ(read_text(p), "Input Password");
    EXPECT_EQ(*p++, 8); // point size
    EXPECT_EQ(read_text(p), "MS Sans Serif");
    std::vector<TemplateItem> items;
    for (int i = 0; i < tmpl->cdit; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t{3});
        auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        p = reinterpret_cast<const WORD*>(item + 1);
        TemplateItem read;
        read.style = item->style;
        read.x = item->x;
        read.y = item->y;
        read.cx = item->cx;
        read.cy = item->cy;
        read.id = item->id;
        read.class_name = read_name(p);
        read.text = read_text(p);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const char*>(p) + extra);
        EXPECT_EQ(item->dwExtendedStyle, 0u);
        items.push_back(read);
    }
    const DWORD child = WS_CHILD | WS_VISIBLE;
    std::vector<TemplateItem> expected = {
        {"EDIT", "", 1003, 73, 30, 73, 14,
         child | WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL},
        {"BUTTON", "OK", IDOK, 154, 12, 38, 14, child | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {"BUTTON", "Cancel", IDCANCEL, 154, 30, 38, 14, child | WS_TABSTOP | BS_PUSHBUTTON},
        {"STATIC", "&Password:", 1004, 6, 32, 63, 12, child | WS_GROUP | SS_LEFT},
        {"STATIC", "&Datenbank Name:", 1006, 6, 14, 63, 12, child | WS_GROUP | SS_LEFT},
        {"EDIT", "", 1005, 73, 12, 73, 14, child | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL},
    };
    EXPECT_EQ(items, expected);
}

#endif

} // namespace
