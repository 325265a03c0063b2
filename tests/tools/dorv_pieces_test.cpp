// Command line, output formatting and terminal encoding of the dorv client.
#include "client/protocol/charset.h"
#include "encoding.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "script.h"

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

TEST(DorvOptions, HelpVersionHeaderFormatAndFiles) {
    Options help;
    std::string error;
    ASSERT_TRUE(parse({"--help"}, &help, &error));
    EXPECT_TRUE(help.help);
    Options version;
    ASSERT_TRUE(parse({"-s", "h", "--version", "bogus"}, &version, &error));
    EXPECT_TRUE(version.version);

    Options o;
    ASSERT_TRUE(parse({"-s", "h", "-p", "1", "-q", "-F", "csv", "-f", "a.sql", "version", "-f", "-",
                       "pick", "select 1", "-f", "b.sql"},
                      &o, &error))
        << error;
    EXPECT_TRUE(o.no_header);
    EXPECT_EQ(o.format, "csv");
    std::vector<std::string> order;
    for (const Command& c : o.commands)
        order.push_back(c.name + ":" + c.argument + ":" + c.keyfield);
    // A file after pick is not taken for its key field.
    EXPECT_EQ(order, (std::vector<std::string>{
                         "file:a.sql:", "version::", "file:-:", "pick:select 1:", "file:b.sql:"}));

    Options defaults;
    ASSERT_TRUE(parse({"-s", "h", "-p", "1", "--no-header", "-f", "x"}, &defaults, &error));
    EXPECT_TRUE(defaults.no_header);
    EXPECT_EQ(defaults.format, "query");

    for (std::vector<std::string> words :
         {std::vector<std::string>{"-s", "h", "-p", "1", "-F", "json", "version"},
          std::vector<std::string>{"-s", "h", "-p", "1", "version", "-f"}}) {
        Options bad;
        EXPECT_FALSE(parse(words, &bad, &error)) << words[4];
    }
}

TEST(DorvScript, StatementsEndAtSemicolonsOutsideQuotes) {
    struct Case {
        std::string script;
        std::vector<std::string> statements;
    } cases[] = {
        {"select 1; select 2", {"select 1", "select 2"}},
        {"select 'a;b'; select \"c;d\";", {"select 'a;b'", "select \"c;d\""}},
        {"select 'it''s;'", {"select 'it''s;'"}},
        {"select\n  x\r\nfrom t;\n\n;  ;\n", {"select   x  from t"}},
        {"-- only a comment\n", {}},
        {"select 1 -- one; not two\n;select '--' as d", {"select 1", "select '--' as d"}},
        {"select 'open\nquote", {"select 'open\nquote"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(split_statements(c.script), c.statements) << c.script;
}

TEST(DorvOutput, CsvValuesShowDatesInIso8601AndTellEmptyTextFromNull) {
    struct Case {
        std::string field, csv;
    } cases[] = {
        {"D20240229000000", "2024-02-29"},
        {"D20240229101112", "2024-02-29 10:11:12"},
        {"T19991231235958", "1999-12-31 23:59:58"},
        {"T19700101000000", "1970-01-01 00:00:00"},
        {"D2024", "2024"}, // not 14 digits: as it came
        {"DABCDEFGHIJKLMN", "ABCDEFGHIJKLMN"},
        {"S", "\"\""},
        {" ", "\"\""},
        {"", ""},
        {"N-4.5", "-4.5"},
        {"Sa,b", "\"a,b\""},
        {" plain", "plain"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(csv_value(c.field), c.csv) << c.field;
}

TEST(DorvMessages, LibraryRecordsAreSaidInTheProgramsVoice) {
    struct Case {
        std::string caught, said;
        bool closed;
    } cases[] = {
        {"Dorv: Unable to connect host.\n Host = h, Service = 1\n errno 10061: refused\n",
         "dorv: Unable to connect host.\ndorv:  Host = h, Service = 1\ndorv:  errno 10061: "
         "refused\n",
         false},
        {"Dorv: Inconsistent message:\n read = 0, size = 0\n",
         "dorv: the server closed the connection\n", true},
        {"Dorv: Inconsistent message:\n read = 7, size = 40\n",
         "dorv: the server closed the connection\n", true},
        // One byte of the length, then the end of the stream.
        {"Dorv: Inconsistent message:\n read = 1, size = 0\n",
         "dorv: the server closed the connection\n", true},
        // A block that declares 2 bytes: broken, but the server is still there.
        {"Dorv: Inconsistent message:\n read = 2, size = 2\n",
         "dorv: Inconsistent message:\ndorv:  read = 2, size = 2\n", false},
        {"Dorv: Inconsistent message:\n read = 1024, size = 2000\n",
         "dorv: Inconsistent message:\ndorv:  read = 1024, size = 2000\n", false},
        {"Dorv: Receive failed.\n nSd = 3\n errno 10054: reset\n",
         "dorv: the server closed the connection\n", true},
        {"Dorv: Send failed.\n nSd = 3\n errno 10058: shut down\n",
         "dorv: the server closed the connection\n", true},
        {"Dorv: Receive failed.\n nSd = 3\n errno 10060: timed out\n",
         "dorv: Receive failed.\ndorv:  nSd = 3\ndorv:  errno 10060: timed out\n", false},
        {"Dorv SERVER: host commands are off\r\n", "dorv: server: host commands are off\n", false},
        {"Explain Dorv - Message: no such table: t\nDorv Error: Fatal\n",
         "dorv: no such table: t\ndorv: Fatal\n", false},
        {"database x needs a password\n", "dorv: database x needs a password\n", false},
        // Said once, however often the library tells it.
        {"Dorv: Inconsistent message:\n read = 0, size = 0\nDorv: Inconsistent message:\n read "
         "= 0, size = 0\n",
         "dorv: the server closed the connection\n", true},
        {"", "", false},
    };
    for (const Case& c : cases) {
        bool closed = false;
        EXPECT_EQ(reword_library_messages(c.caught, &closed), c.said) << c.caught;
        EXPECT_EQ(closed, c.closed) << c.caught;
    }
    bool already = true;
    EXPECT_EQ(
        reword_library_messages("Dorv: Inconsistent message:\n read = 0, size = 0\n", &already),
        "");
}

// A connection that can no longer be used ends the run with status 3, as a
// closed one does; the library's text is said as it is.
TEST(DorvMessages, RecordsOfABrokenConnectionAreTold) {
    struct Case {
        std::string caught;
        bool broken;
    } cases[] = {
        {"Dorv: Timed out waiting for the server:\n handle = 5, 1 seconds\n", true},
        {"Dorv: Connection broken:\n handle = 5\n Close it with hl_disconnect.\n", true},
        {"Dorv: Receive failed.\n nSd = 3\n errno 10060: timed out\n", true},
        {"Dorv: Send failed.\n nSd = 3\n errno 10054: reset\n", true},
        {"Dorv: Inconsistent message:\n read = 2, size = 2\n", false},
        {"Explain Dorv - Message: no such table: t\n", false},
        {"Dorv SERVER: Timed out waiting for the server:\n", false}, // the server's own text
        {"Timed out waiting for the server:\n", false},              // no record of the library
    };
    for (const Case& c : cases) {
        bool closed = false, broken = false;
        std::string said = reword_library_messages(c.caught, &closed, &broken);
        EXPECT_EQ(broken, c.broken) << c.caught;
        if (c.caught.rfind("Dorv: ", 0) == 0 && !closed) {
            // Said in the program's voice, line by line.
            EXPECT_EQ(said.rfind("dorv: " + c.caught.substr(6, c.caught.find('\n') - 6), 0), 0u)
                << said;
        }
    }
}

// The blanks the library sends for characters Roman-8 lacks, told before they go.
TEST(DorvEncoding, CharactersRoman8LacksAreTheOnesTheLibrarySendsAsBlanks) {
    init_charset_tables();
    for (int c = 0x80; c < 0x100; ++c) {
        std::string one(1, static_cast<char>(c));
        EXPECT_EQ(roman8_lacks(one) == one, ansi_to_roman8[c] == ' ') << std::hex << c;
    }
    struct Case {
        std::string ansi, lost;
    } cases[] = {
        {"select 'M\xFCller', 'Gro\xDF', '\xA3 5'", ""}, // all of them in Roman-8
        {"select '5 \x80 \xD7 2 \xF7 \x84x\x93 \x80'", "\x80\xD7\xF7\x84\x93"}, // each once
        {"plain ASCII ~ { }", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(roman8_lacks(c.ansi), c.lost) << c.ansi;
#ifndef _WIN32
    EXPECT_EQ(named_characters("\x80\xD7\xA0\xAD"),
              "\xE2\x82\xAC \xC3\x97 (no-break space) (soft hyphen)");
#else
    EXPECT_EQ(named_characters("\x80\xD7\xA0\xAD"), "\x80 \xD7 (no-break space) (soft hyphen)");
#endif
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
