// One version everywhere: every place that names the release's version names
// the version of project() in CMakeLists.txt (DORV_SOURCE_VERSION, "2.10"):
// the version resources of dorv32.dll, DORV32.XLL and dorv.exe (FILEVERSION
// and PRODUCTVERSION 2,10,0,0, the texts "2.10", the add-in's product version
// "A.02.10"), dorv --version, dorvd --version, the pkg-config file and the
// shared object's file name.
#include "pe_version.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include "support/wine_fixture.h"
#include <windows.h>
#endif

namespace {

struct SourceVersion {
    unsigned major = 0, minor = 0;
};

SourceVersion source_version() {
    SourceVersion v;
    int used = 0;
    const std::string text = DORV_SOURCE_VERSION;
    if (std::sscanf(text.c_str(), "%u.%u%n", &v.major, &v.minor, &used) != 2 ||
        used != static_cast<int>(text.size()))
        ADD_FAILURE() << "the version is not MAJOR.MINOR: " << text;
    return v;
}

TEST(VersionSource, IsMajorDotMinorWithTwoDigitsAtMost) {
    SourceVersion v = source_version();
    EXPECT_LT(v.major, 100u);
    EXPECT_LT(v.minor, 100u);
    EXPECT_EQ(std::to_string(v.major) + "." + std::to_string(v.minor), DORV_SOURCE_VERSION);
}

TEST(PeVersionReader, RefusesWhatIsNoPeFile) {
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"empty", {}},
        {"text", std::vector<unsigned char>(100, 'x')},
        {"MZ alone", {'M', 'Z'}},
        {"MZ pointing past the end",
         [] {
             std::vector<unsigned char> b(64, 0);
             b[0] = 'M', b[1] = 'Z', b[0x3C] = 0xF0, b[0x3D] = 0xFF;
             return b;
         }()},
        {"PE header cut short",
         [] {
             std::vector<unsigned char> b(80, 0);
             b[0] = 'M', b[1] = 'Z', b[0x3C] = 64, b[64] = 'P', b[65] = 'E';
             return b;
         }()},
    };
    for (const auto& c : cases) {
        PeVersion v;
        std::string error;
        EXPECT_FALSE(read_pe_version(c.bytes.data(), c.bytes.size(), &v, &error)) << c.what;
        EXPECT_NE(error, "") << c.what;
    }
}

#ifdef _WIN32

// The add-in's product version: the same two numbers, two digits each, after "A.".
std::string addin_product_version(const SourceVersion& v) {
    char text[32];
    std::snprintf(text, sizeof text, "A.%02u.%02u", v.major, v.minor);
    return text;
}

// The built binaries, copied beside this program.
std::string beside(const char* file) {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string path(exe, n);
    return path.substr(0, path.find_last_of('\\') + 1) + file;
}

struct Binary {
    const char* file;
    std::string product_version; // the text; the numbers are the file version's
};

std::vector<Binary> binaries() {
    SourceVersion v = source_version();
    return {{"dorv32.dll", DORV_SOURCE_VERSION},
            {"DORV32.XLL", addin_product_version(v)},
            {"dorv.exe", DORV_SOURCE_VERSION}};
}

TEST(Version, EveryBinaryCarriesTheOneVersionInNumbersAndTexts) {
    SourceVersion v = source_version();
    const uint32_t ms = v.major << 16 | v.minor;
    for (const auto& b : binaries()) {
        SCOPED_TRACE(b.file);
        PeVersion pe;
        std::string error;
        ASSERT_TRUE(read_pe_version_file(beside(b.file), &pe, &error)) << error;
        EXPECT_EQ(fixed_version_text(pe.file_ms, pe.file_ls), fixed_version_text(ms, 0));
        EXPECT_EQ(fixed_version_text(pe.product_ms, pe.product_ls), fixed_version_text(ms, 0));
        EXPECT_EQ(pe.texts["FileVersion"], DORV_SOURCE_VERSION);
        EXPECT_EQ(pe.texts["ProductVersion"], b.product_version);
        EXPECT_EQ(pe.texts["OriginalFilename"], b.file);
    }
}

// The reader sees what Windows' own version functions see.
TEST(PeVersionReader, ReadsWhatWindowsReads) {
    for (const auto& b : binaries()) {
        SCOPED_TRACE(b.file);
        std::string path = beside(b.file);
        PeVersion pe;
        std::string error;
        ASSERT_TRUE(read_pe_version_file(path, &pe, &error)) << error;
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(pe.file_ms, fixed->dwFileVersionMS);
        EXPECT_EQ(pe.file_ls, fixed->dwFileVersionLS);
        EXPECT_EQ(pe.product_ms, fixed->dwProductVersionMS);
        EXPECT_EQ(pe.product_ls, fixed->dwProductVersionLS);
        EXPECT_EQ(pe.file_type, fixed->dwFileType);
        for (const char* key : {"FileVersion", "ProductVersion", "FileDescription", "ProductName",
                                "OriginalFilename", "InternalName", "CompanyName"}) {
            void* value = nullptr;
            UINT chars = 0;
            std::string query = std::string("\\StringFileInfo\\040904E4\\") + key;
            ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), &value, &chars)) << key;
            EXPECT_EQ(pe.texts[key], static_cast<const char*>(value)) << key;
        }
    }
}

// Every cut of a real file is refused, or read as the whole file is when
// what it leaves out lies behind the resources.
TEST(PeVersionReader, ACutFileIsRefusedOrReadWhole) {
    std::string whole = read_text_file(beside("dorv32.dll"));
    const auto* bytes = reinterpret_cast<const unsigned char*>(whole.data());
    PeVersion complete;
    std::string error;
    ASSERT_TRUE(read_pe_version(bytes, whole.size(), &complete, &error)) << error;
    int refused = 0;
    for (size_t keep = 0; keep < whole.size(); keep += 61) {
        PeVersion v;
        if (read_pe_version(bytes, keep, &v, &error))
            EXPECT_EQ(v, complete) << keep;
        else
            ++refused;
    }
    EXPECT_GT(refused, 0);
}

// dorv.exe --version, as a user runs it.
TEST(Version, DorvExePrintsIt) {
    char folder[MAX_PATH], out_name[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "dvv", 0, out_name);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(out_name, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = out;
    start.hStdError = out;
    std::string line = "\"" + beside("dorv.exe") + "\" --version";
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &start, &process))
        << GetLastError();
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD status = 99;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(out);
    std::string text = read_log_file(out_name); // without carriage returns
    DeleteFileA(out_name);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(text, std::string("dorv ") + DORV_SOURCE_VERSION + "\n");
}

TEST(Version, ThePkgConfigFileNamesIt) {
    std::string text = read_text_file(wine_path(DORV_PC_FILE));
    EXPECT_NE(text.find(std::string("\nVersion: ") + DORV_SOURCE_VERSION + "\n"), std::string::npos)
        << text;
}

#else

// A program's standard output and exit status.
std::string output_of(const std::string& command, int* status) {
    std::string text;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return text;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        text.append(buffer, n);
    *status = pclose(p);
    return text;
}

TEST(Version, TheProgramsPrintIt) {
    int status = -1;
    EXPECT_EQ(output_of(std::string("'") + DORV_PROGRAM + "' --version", &status),
              std::string("dorv ") + DORV_SOURCE_VERSION + "\n");
    EXPECT_EQ(status, 0);
    std::string server = output_of(std::string("'") + DORVD_PROGRAM + "' --version", &status);
    EXPECT_EQ(server.rfind(std::string("dorvd ") + DORV_SOURCE_VERSION + " (SQLite ", 0), 0u)
        << server;
    EXPECT_EQ(status, 0);
}

TEST(Version, ThePkgConfigFileAndTheSharedObjectNameIt) {
    std::string text = read_text_file(DORV_PC_FILE);
    EXPECT_NE(text.find(std::string("\nVersion: ") + DORV_SOURCE_VERSION + "\n"), std::string::npos)
        << text;
    std::string library = DORV32_LIBRARY;
    std::string suffix = std::string(".so.") + DORV_SOURCE_VERSION;
    ASSERT_GE(library.size(), suffix.size());
    EXPECT_EQ(library.substr(library.size() - suffix.size()), suffix);
}

#endif

} // namespace
