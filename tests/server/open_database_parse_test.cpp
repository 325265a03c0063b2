// Reading the OPEN DATABASE statement.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/session/open_database.h"

namespace {

struct ParseCase {
    const char* text;
    // "name" or "name=password" per database; empty with error_part set
    // when the text is refused.
    std::vector<std::string> expected;
    const char* error_part = nullptr;
};

std::vector<std::string> describe(const std::vector<dorvd::DatabaseRequest>& list) {
    std::vector<std::string> out;
    for (const auto& request : list) {
        out.push_back(request.password ? request.name + "=" + *request.password : request.name);
    }
    return out;
}

class ParseOpenDatabase : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOpenDatabase, ReadsTheList) {
    const ParseCase& c = GetParam();
    EXPECT_TRUE(dorvd::is_open_database(c.text));
    std::string error;
    const auto list = dorvd::parse_open_database(c.text, error);
    if (c.error_part != nullptr) {
        EXPECT_FALSE(list.has_value());
        EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
    } else {
        ASSERT_TRUE(list.has_value()) << error;
        EXPECT_EQ(describe(*list), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseOpenDatabase,
    ::testing::Values(ParseCase{"OPEN DATABASE 'sample'", {"sample"}},
                      ParseCase{"  open\tdatabase 'secret' as 'geheim'", {"secret=geheim"}},
                      ParseCase{"OPEN DATABASE 'secret' AS 'geheim', 'sample'",
                                {"secret=geheim", "sample"}},
                      ParseCase{"Open Database \"a\" As \"p w\",b AS pw2;", {"a=p w", "b=pw2"}},
                      ParseCase{"OPEN DATABASE 'a'AS'x','b'", {"a=x", "b"}},
                      ParseCase{"OPEN DATABASE 'a' AS ''", {"a="}},
                      ParseCase{"OPEN DATABASE", {}, "database name expected"},
                      ParseCase{"OPEN DATABASE 'a',", {}, "database name expected"},
                      ParseCase{"OPEN DATABASE 'a' AS", {}, "password after AS expected"},
                      ParseCase{"OPEN DATABASE 'a", {}, "unterminated quote"},
                      ParseCase{"OPEN DATABASE 'a' 'b'", {}, "unexpected text"},
                      ParseCase{"OPEN DATABASE 'a' AS 'p' extra", {}, "unexpected text"}));

TEST(IsOpenDatabase, NeedsBothKeywords) {
    EXPECT_FALSE(dorvd::is_open_database("SELECT 'OPEN DATABASE'"));
    EXPECT_FALSE(dorvd::is_open_database("OPENDATABASE 'a'"));
    EXPECT_FALSE(dorvd::is_open_database("OPEN DATABASES 'a'"));
    EXPECT_FALSE(dorvd::is_open_database("OPEN"));
}

TEST(ValidDatabaseName, KeepsNamesInsideTheDataFolder) {
    EXPECT_TRUE(dorvd::valid_database_name("sample"));
    EXPECT_TRUE(dorvd::valid_database_name("db_2-old"));
    EXPECT_FALSE(dorvd::valid_database_name(""));
    EXPECT_FALSE(dorvd::valid_database_name("../sample"));
    EXPECT_FALSE(dorvd::valid_database_name("a/b"));
    EXPECT_FALSE(dorvd::valid_database_name("a.b"));
    EXPECT_FALSE(dorvd::valid_database_name(std::string(65, 'a')));
    EXPECT_TRUE(dorvd::valid_database_name(std::string(64, 'a')));
    EXPECT_FALSE(dorvd::valid_database_name("TEMP"));
    EXPECT_FALSE(dorvd::valid_database_name("main"));
    EXPECT_TRUE(dorvd::valid_database_name("maintenance"));
}

} // namespace

// What follows the list is often a password written without AS.
TEST(ParseOpenDatabase, NeverRepeatsTheTextAfterTheList) {
    for (const char* text : {"OPEN DATABASE 'secret' 'geheim'", "OPEN DATABASE secret geheim",
                             "OPEN DATABASE 'a' AS 'p' geheim, 'b'"}) {
        std::string error;
        EXPECT_FALSE(dorvd::parse_open_database(text, error).has_value()) << text;
        EXPECT_NE(error.find("unexpected text after database list"), std::string::npos) << error;
        EXPECT_EQ(error.find("geheim"), std::string::npos) << error;
    }
}
