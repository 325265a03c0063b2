// Command line, output formatting and terminal encoding of the dorv client.
#include "encoding.h"
#include "options.h"
#include "output.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool parse(std::vector<std::string> words, Options* options, std::string* error) {
    std::vector<char*> argv;
    static std::string program = "dorv";
    argv.push_back(program.data());
    for (auto& w : words)
        argv.push_back(w.data());
    return parse_options(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(DorvOptions, ConnectionAndCommandsAreReadInOrder) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"-s", "db1", "-p", "2000", "-w", "exec", "OPEN DATABASE 'x'", "query",
                       "select 1", "version", "pick", "select 2", "NAME", "6", "10"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.host, "db1");
    EXPECT_EQ(o.service, "2000");
    EXPECT_EQ(o.warnings, 1);
    ASSERT_EQ(o.commands.size(), 4u);
    EXPECT_EQ(o.commands[0].name, "exec");
    EXPECT_EQ(o.commands[0].argument, "OPEN DATABASE 'x'");
    EXPECT_EQ(o.commands[2].name, "version");
    EXPECT_EQ(o.commands[3].keyfield, "NAME");
    EXPECT_EQ(o.commands[3].keylen, 6);
    EXPECT_EQ(o.commands[3].max_select, 10);

    Options zero;
    ASSERT_TRUE(
        parse({"-s", "h", "-p", "1", "pick", "select 3", "KEY", "0", "version"}, &zero, &error))
        << error;
    ASSERT_EQ(zero.commands.size(), 2u);
    EXPECT_EQ(zero.commands[0].keylen, 0);
    EXPECT_EQ(zero.commands[1].name, "version");
}

TEST(DorvOptions, MistakesAreNamed) {
    struct Case {
        std::vector<std::string> words;
        std::string error;
    } cases[] = {
        {{"version"}, "give either -s HOST -p SERVICE or -c FILE -S SECTION"},
        {{"-s", "h", "version"}, "give either -s HOST -p SERVICE or -c FILE -S SECTION"},
        {{"-s", "h", "-p", "1", "-c", "f", "-S", "s", "version"},
         "give either -s HOST -p SERVICE or -c FILE -S SECTION"},
        {{"-s", "h", "-p", "1"}, "no command given"},
        {{"-s", "h", "-p", "1", "query"}, "command query needs an argument"},
        {{"-s", "h", "-p", "1", "drop"}, "unknown command drop"},
        {{"-x"}, "unknown option -x"},
        {{"-s"}, "option -s needs a value"},
    };
    for (auto& c : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(parse(c.words, &o, &error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(DorvOutput, CsvFieldsAreQuotedOnlyWhenNeeded) {
    EXPECT_EQ(csv_field("plain"), "plain");
    EXPECT_EQ(csv_field(""), "");
    EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
    EXPECT_EQ(csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csv_field("two\nlines"), "\"two\nlines\"");
}

TEST(DorvOutput, TypedValuesShowTheirType) {
    EXPECT_EQ(typed_value("N42"), "N:42");
    EXPECT_EQ(typed_value(" text"), "S:text");
    EXPECT_EQ(typed_value("D19960301120000"), "D:19960301120000");
    EXPECT_EQ(typed_value(""), "-:");
    EXPECT_EQ(rule_for("id name   "), "-------");
}

#ifndef _WIN32
TEST(DorvEncoding, TerminalTextsConvertToAndFromCodePage1252) {
    struct Case {
        std::string ansi, utf8;
    } cases[] = {
        {"M\xFCller", "M\xC3\xBCller"},
        {"\x80 \x96 \x9F", "\xE2\x82\xAC \xE2\x80\x93 \xC5\xB8"},
        {"plain", "plain"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(ansi_to_terminal(c.ansi), c.utf8);
        EXPECT_EQ(terminal_to_ansi(c.utf8), c.ansi);
    }
    EXPECT_EQ(terminal_to_ansi("\xE4\xB8\xAD"), "?"); // no such character in code page 1252
    EXPECT_EQ(terminal_to_ansi("\xC3"), "?");         // cut off in the middle
    EXPECT_EQ(ansi_to_terminal("\x81"), "?");         // a hole of code page 1252
}
#endif

} // namespace
