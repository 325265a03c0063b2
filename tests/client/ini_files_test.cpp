// Initialisation files as the library reads them. The same cases run against
// our own reader on POSIX and against the real profile functions on Windows.
#include "platform/platform.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char* const sample = "; a comment\n"
                           "[Global]\n"
                           "Transport = WINSOCK   \n"
                           "Quoted=\"  spaced out  \"\n"
                           "Empty=\n"
                           "Number= 42 \n"
                           "Mixed=12abc\n"
                           "Word=abc\n"
                           "List=sample, secret ;  other\n"
                           "Commented=300 ; five minutes\n"
                           "\n"
                           "[Second Section]\n"
                           "Server=dbhost\n"
                           "[second section]\n"
                           "Server=ignored\n"
                           "Extra=also ignored\n";

class IniFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string dir = windorv_ini_path();
        dir = dir.substr(0, dir.find_last_of("/\\") + 1);
        bare = "dorv_ini_test.ini";
        full = dir + bare;
        write_text_file(full, sample);
    }
    void TearDown() override { remove_file(full); }
    std::string read(const char* section, const char* key, const char* deflt = "(none)",
                     int size = 256) {
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        int n = plat_ini_string(section, key, deflt, buffer, size, bare.c_str());
        EXPECT_EQ(n, static_cast<int>(std::strlen(buffer)));
        return buffer;
    }
    std::string bare, full;
};

TEST_F(IniFiles, StringsAreFoundIgnoringCaseAndTrimmed) {
    struct Case {
        const char* section;
        const char* key;
        std::string value;
    } cases[] = {
        {"Global", "Transport", "WINSOCK"},
        {"GLOBAL", "transport", "WINSOCK"},
        {"Global", "Quoted", "  spaced out  "}, // quotes keep the blanks inside
        {"Global", "Empty", ""},                // present but empty: not the default
        {"Global", "Missing", "(none)"},
        {"Nowhere", "Transport", "(none)"},
        {"second section", "Server", "dbhost"}, // the first section of that name
        {"Second Section", "Extra", "(none)"},  // a later copy of the section is not read
        // Names asked for with blanks around them, as a list element " secret" is.
        {" Global", "Transport", "WINSOCK"},
        {"second section  ", "Server", "dbhost"},
        {"\tsecond section", " Server", "dbhost"},
        {"Global", "Transport ", "WINSOCK"},
        {"Sec ond Section", "Server", "(none)"}, // a blank inside a name counts
        // Blanks inside a value stay; a ';' after a value is part of the value.
        {"Global", "List", "sample, secret ;  other"},
        {"Global", "Commented", "300 ; five minutes"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.section, c.key), c.value) << c.section << "/" << c.key;
}

TEST_F(IniFiles, ValuesAreCutToTheBuffer) {
    EXPECT_EQ(read("Global", "Transport", "", 5), "WINS");
    EXPECT_EQ(read("Global", "Missing", "default text", 4), "def");
    EXPECT_EQ(read("Global", "Transport", "", 1), "");
}

TEST_F(IniFiles, IntegersReadTheirLeadingDigits) {
    EXPECT_EQ(plat_ini_int("Global", "Number", 7, bare.c_str()), 42u);
    EXPECT_EQ(plat_ini_int("Global", "Mixed", 7, bare.c_str()), 12u);
    EXPECT_EQ(plat_ini_int("Global", "Word", 7, bare.c_str()), 0u);
    EXPECT_EQ(plat_ini_int("Global", "Missing", 7, bare.c_str()), 7u);
    EXPECT_EQ(plat_ini_int("Global", "Number", 7, "no_such_file.ini"), 7u);
}

TEST_F(IniFiles, AFileWithAPathIsReadWhereItIs) {
    std::string elsewhere = test_temp_dir() + "/elsewhere.ini";
    write_text_file(elsewhere, "[S]\nKey=found\n");
    char buffer[32];
    plat_ini_string("S", "Key", "", buffer, sizeof buffer, elsewhere.c_str());
    EXPECT_STREQ(buffer, "found");
    remove_file(elsewhere);
}

} // namespace
