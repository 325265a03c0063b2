// Files for tests: a private temporary folder, and the place where the library
// finds "windorv.ini" (the Windows directory; DORV_INI_DIR on POSIX).
#pragma once

#include <string>

// A fresh folder for this test process (created once).
std::string test_temp_dir();
void write_text_file(const std::string& path, const std::string& text);
std::string read_text_file(const std::string& path);
bool file_exists(const std::string& path);
void remove_file(const std::string& path);
// Full path of "windorv.ini" as the library looks it up.
std::string windorv_ini_path();
// A log file's text with line ends as written (CR LF read back as LF).
std::string read_log_file(const std::string& path);
// How often `what` stands in `text` (overlapping occurrences count).
size_t count_of(const std::string& text, const std::string& what);
// Path as the code under test must be given it (Z:\... under wine).
std::string native_path(const std::string& path);

// Points the user's folder for temporary files (TMP on Windows, TMPDIR on POSIX)
// at a fresh, empty folder of this test process for the life of the object.
class TemporaryFolderOverride {
  public:
    TemporaryFolderOverride();
    ~TemporaryFolderOverride();
    TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
    TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;
    std::string path; // without a trailing separator

  private:
    bool had_value_ = false;
    std::string saved_;
};
