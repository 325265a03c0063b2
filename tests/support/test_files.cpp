#include "support/test_files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

std::string test_temp_dir() {
    static std::string dir;
    if (!dir.empty()) return dir;
#ifdef _WIN32
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%sdorv_test_%lu", base, GetCurrentProcessId());
    CreateDirectoryA(name, nullptr);
    dir = name;
#else
    char name[] = "/tmp/dorv_test_XXXXXX";
    char* made = mkdtemp(name);
    dir = made != nullptr ? made : "/tmp";
    setenv("DORV_INI_DIR", dir.c_str(), 1);
#endif
    return dir;
}

void write_text_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string read_text_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool file_exists(const std::string& path) {
    std::ifstream in(path);
    return in.good();
}

void remove_file(const std::string& path) {
    std::remove(path.c_str());
}

std::string windorv_ini_path() {
#ifdef _WIN32
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\windorv.ini";
#else
    return test_temp_dir() + "/windorv.ini";
#endif
}

std::string native_path(const std::string& path) {
    return path;
}

std::string read_log_file(const std::string& path) {
    // The log is a text file: CR LF line ends on Windows.
    std::string text = read_text_file(path), out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TemporaryFolderOverride::TemporaryFolderOverride() {
    static int serial = 0;
    path = test_temp_dir() + "/tmp" + std::to_string(++serial);
#ifdef _WIN32
    CreateDirectoryA(path.c_str(), nullptr);
    char old[1024];
    DWORD n = GetEnvironmentVariableA("TMP", old, sizeof old);
    had_value_ = n > 0 && n < sizeof old;
    if (had_value_) saved_ = old;
    SetEnvironmentVariableA("TMP", path.c_str());
#else
    mkdir(path.c_str(), 0700);
    const char* old = getenv("TMPDIR");
    had_value_ = old != nullptr;
    if (had_value_) saved_ = old;
    setenv("TMPDIR", path.c_str(), 1);
#endif
}

TemporaryFolderOverride::~TemporaryFolderOverride() {
#ifdef _WIN32
    SetEnvironmentVariableA("TMP", had_value_ ? saved_.c_str() : nullptr);
#else
    if (had_value_)
        setenv("TMPDIR", saved_.c_str(), 1);
    else
        unsetenv("TMPDIR");
#endif
}
