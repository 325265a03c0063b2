// hl_connect_ini, hl_set_inifile and the opening of configured databases,
// against the scripted peer; passwords from the file, the cache and the dialog.
#include "client/connection/database_cache.h"
#include "client/connection/password_entry.h"
#include "peer_session.h"
#include "support/box_capture.h"
#include "support/password_dialog_driver.h"
#include "support/test_files.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string write_config(const std::string& text) {
    static int serial = 0;
    std::string path = test_temp_dir() + "/connect" + std::to_string(++serial) + ".ini";
    write_text_file(path, text);
    return path;
}

std::string explain_request() {
    return request('M', std::string(1, '\0'));
}

class ConfiguredConnect : public ::testing::Test {
  protected:
    void SetUp() override { release_database_cache(); }
    void TearDown() override {
        while (connection_count > 0)
            hl_disconnect(connection_table[0].socket);
        peer.stop();
        auto failures = peer.failures();
        EXPECT_TRUE(failures.empty()) << failures[0];
        release_database_cache();
    }
    // "Server" and "Service" lines that reach the peer.
    std::string address() const { return "Server=127.0.0.1\nService=" + peer.service() + "\n"; }
    ConnectionRecord* record(int handle) {
        for (int i = 0; i < connection_count; ++i)
            if (connection_table[i].socket == handle) return &connection_table[i];
        return nullptr;
    }

    ScriptedPeer peer;
    BoxCapture boxes;
    PasswordDialogDriver dialogs{boxes};
};

TEST_F(ConfiguredConnect, KeysComeFromTheSectionFirstThenFromGlobal) {
    struct Case {
        const char* name;
        std::string text; // {ADDRESS} stands for the peer's server and service lines
        bool connects;
        std::string box;
    } cases[] = {
        {"all in the section", "[Global]\nTransport=NONE\n[conn]\nTransport=WINSOCK\n{ADDRESS}",
         true, ""},
        {"transport only in Global", "[Global]\nTransport=WINSOCK\n[conn]\n{ADDRESS}", true, ""},
        {"an empty value falls back",
         "[Global]\n{ADDRESS}\n[conn]\nTransport=winsock\nServer=\nService=\n", true, ""},
        {"service missing", "[conn]\nTransport=WINSOCK\nServer=127.0.0.1\n", false,
         "Dorv|Missing configuration data\nPlease check file {FILE}, section conn"},
        {"server missing", "[conn]\nTransport=WINSOCK\nService=2000\n", false,
         "Dorv|Missing configuration data\nPlease check file {FILE}, section conn"},
        {"transport missing", "[Global]\n{ADDRESS}[conn]\n", false,
         "Dorv|Missing configuration data\nPlease check file {FILE}, section conn"},
        {"section of another name", "[other]\nTransport=WINSOCK\n{ADDRESS}", false,
         "Dorv|Missing configuration data\nPlease check file {FILE}, section conn"},
        {"unknown transport", "[conn]\nTransport=decnet\n{ADDRESS}", false,
         "Dorv|Unknown transport: DECNET\n"},
    };
    peer.start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        if (text.find("{ADDRESS}") != std::string::npos)
            text.replace(text.find("{ADDRESS}"), 9, address());
        std::string file = write_config(text);
        boxes.clear();
        int handle = hl_connect_ini(file.c_str(), "conn", 3, 0);
        if (c.connects) {
            ASSERT_GE(handle, 0);
            ConnectionRecord* r = record(handle);
            ASSERT_NE(r, nullptr);
            EXPECT_STREQ(r->ini_file, file.c_str());
            EXPECT_STREQ(r->ini_section, "conn");
            EXPECT_EQ(r->warnings, 3);
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_EQ(hl_disconnect(handle), 0);
        } else {
            EXPECT_EQ(handle, -1);
            std::string box = c.box;
            if (box.find("{FILE}") != std::string::npos) box.replace(box.find("{FILE}"), 6, file);
            EXPECT_EQ(boxes.summary(), std::vector<std::string>{box});
            EXPECT_EQ(connection_count, 0);
        }
    }
    // Only the three that connected reached the peer (its acceptor runs behind).
    for (int i = 0; i < 200 && peer.accepted() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(peer.accepted(), 3);
}

TEST_F(ConfiguredConnect, NoFileOrNoSectionIsMissingConfiguration) {
    peer.start();
    EXPECT_EQ(hl_connect_ini(nullptr, "conn", 0, 1), -1);
    EXPECT_EQ(hl_connect_ini("", nullptr, 0, 1), -1);
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{
                  "Dorv|Missing configuration data\nPlease check file , section conn",
                  "Dorv|Missing configuration data\nPlease check file , section "}));
    EXPECT_EQ(peer.accepted(), 0);
}

TEST_F(ConfiguredConnect, WithoutDbopenNothingIsOpened) {
    std::string file =
        write_config("[conn]\nTransport=WINSOCK\n" + address() + "Database=sales\nPassword=x\n");
    peer.start();
    int handle = hl_connect_ini(file.c_str(), "conn", 0, 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(database_cache_count, 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConfiguredConnect, DatabasesAreOpenedWithOneStatement) {
    struct Case {
        const char* name;
        std::string global; // further keys of "Global"
        std::string sections;
        std::string statement;
    } cases[] = {
        {"the section itself without DBopen", "", "[conn]\nDatabase=sales\n",
         "OPEN DATABASE 'sales'"},
        {"three sections by comma and semicolon", "Password=common\n",
         "[conn]\nDBopen=one,two;three\n[one]\nDatabase=First\nPassword=p1\n"
         "[two]\nDatabase=Second\nPassword=\n[three]\nDatabase=Third\n",
         "OPEN DATABASE 'First' AS 'p1', 'Second' AS 'common', 'Third' AS 'common'"},
        {"DBopen from Global, trailing separator adds nothing", "DBopen=one;\n",
         "[conn]\n[one]\nDatabase=First\n", "OPEN DATABASE 'First'"},
        // Two separators in a row: an element of no name, a section no file has, so "Global".
        {"an empty element reads Global", "Database=FromGlobal\n",
         "[conn]\nDBopen=one,,two\n[one]\nDatabase=A\n[two]\nDatabase=B\n",
         "OPEN DATABASE 'A', 'FromGlobal', 'B'"},
        {"names and passwords as they are", "", "[conn]\nDatabase=it's\nPassword=a'b;c\n",
         "OPEN DATABASE 'it's' AS 'a'b;c'"},
        // Windows finds [two] for the element " two " too: so must every build.
        {"blanks around the elements", "",
         "[conn]\nDBopen=one, two ;\tthree\n[one]\nDatabase=First\n[two]\nDatabase=Second\n"
         "[three]\nDatabase=Third\n",
         "OPEN DATABASE 'First', 'Second', 'Third'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer server;
        server.expect(exec_request(c.statement)).send(status_block(0, ""));
        server.start();
        std::string file = write_config("[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                                        server.service() + "\n" + c.global + c.sections);
        release_database_cache();
        boxes.clear();
        int handle = hl_connect_ini(file.c_str(), "conn", 0, 1);
        EXPECT_GE(handle, 0);
        EXPECT_TRUE(boxes.boxes.empty());
        if (handle >= 0) hl_disconnect(handle);
        server.stop();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
    }
    EXPECT_TRUE(dialogs.seen.empty());
}

TEST_F(ConfiguredConnect, FailuresBeforeTheStatementCloseTheConnection) {
    struct Case {
        const char* name;
        std::string config;
        std::string box;
    } cases[] = {
        {"no database name", "[conn]\nDBopen=one,two\n[one]\nDatabase=A\n[two]\n",
         "Dorv|Missing database name"},
        {"an empty database name", "[conn]\nDatabase=\n", "Dorv|Missing database name"},
        {"an empty list", "[conn]\nDBopen=;\n", "Dorv|Missing database name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer server;
        server.start();
        std::string file = write_config("[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                                        server.service() + "\n" + c.config);
        boxes.clear();
        EXPECT_EQ(hl_connect_ini(file.c_str(), "conn", 0, 1), -1);
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{c.box});
        EXPECT_EQ(connection_count, 0);
        EXPECT_TRUE(server.wait_closed_by_client(1));
        server.stop();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
    }
}

TEST_F(ConfiguredConnect, AServerStatusAboveZeroIsExplainedAndClosesTheConnection) {
    struct Case {
        int status;
        bool opened;
        int cached; // entries in the cache afterwards: only an accepted password stays
    } cases[] = {{0, true, 1}, {-9, true, 1}, {-1, true, 1}, {25, false, 0}, {100, false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        ScriptedPeer server;
        server.expect(exec_request("OPEN DATABASE 'sales' AS 'pw'"))
            .send(status_block(c.status, ""));
        if (!c.opened)
            server.expect(explain_request()).send(status_block(c.status, "Wrong password\n\n"));
        server.start();
        std::string file = write_config("[conn]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                                        server.service() + "\nDatabase=sales\nPassword=pw\n");
        boxes.clear();
        int handle = hl_connect_ini(file.c_str(), "conn", 0, 1);
        if (c.opened) {
            EXPECT_GE(handle, 0);
            EXPECT_TRUE(boxes.boxes.empty());
            hl_disconnect(handle);
        } else {
            EXPECT_EQ(handle, -1);
            EXPECT_EQ(boxes.summary(),
                      std::vector<std::string>{"Explain Dorv - Message|Wrong password"});
            EXPECT_EQ(connection_count, 0);
            EXPECT_TRUE(server.wait_closed_by_client(1));
        }
        EXPECT_EQ(database_cache_count, c.cached);
        server.stop();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
    }
}

// Four databases: three of name 200 and password 40 characters, then one whose
// name and password come to `last` characters. The statement is 772 + last
// characters long; the check before the fourth sees 764 + last.
std::string long_list_config(int last) {
    std::string text = "[conn]\nDBopen=d1,d2,d3,d4\n";
    for (int i = 1; i <= 3; ++i)
        text += "[d" + std::to_string(i) + "]\nDatabase=" + std::string(199, 'a') +
                std::to_string(i) + "\nPassword=" + std::string(40, 'p') + "\n";
    text += "[d4]\nDatabase=" + std::string(static_cast<size_t>(last - 40), 'z') +
            "\nPassword=" + std::string(40, 'q') + "\n";
    return text;
}

TEST_F(ConfiguredConnect, StatementLengthLimits) {
    struct Case {
        int last;
        int statement_length;
        std::vector<std::string> boxes; // empty: the databases are opened
    } cases[] = {
        {246, 1018, {}},
        {247,
         1019,
         {"Dorv|Statement size exceeds maximum (1018)", "Explain Dorv - Message|no explanation"}},
        {248,
         1020,
         {"Dorv|Statement size exceeds maximum (1018)", "Explain Dorv - Message|no explanation"}},
        {249,
         1021,
         {"Dorv|Statement size exceeds maximum (1018)", "Explain Dorv - Message|no explanation"}},
        {250, 0, {"Dorv|Not enough memory to open all databases"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        std::string statement = "OPEN DATABASE ";
        for (int i = 1; i <= 3; ++i)
            statement += "'" + std::string(199, 'a') + std::to_string(i) + "' AS '" +
                         std::string(40, 'p') + "', ";
        statement += "'" + std::string(static_cast<size_t>(c.last - 40), 'z') + "' AS '" +
                     std::string(40, 'q') + "'";
        if (c.statement_length != 0) {
            ASSERT_EQ(statement.size(), static_cast<size_t>(c.statement_length));
        }
        ScriptedPeer server;
        if (c.boxes.empty())
            server.expect(exec_request(statement)).send(status_block(0, ""));
        else if (c.statement_length != 0)
            server.expect(explain_request())
                .send(status_block(0, "no explanation")); // refused locally: 100
        server.start();
        std::string file = write_config("[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                                        server.service() + "\n" + long_list_config(c.last));
        boxes.clear();
        int handle = hl_connect_ini(file.c_str(), "conn", 0, 1);
        EXPECT_EQ(boxes.summary(), c.boxes);
        if (c.boxes.empty()) {
            EXPECT_GE(handle, 0);
            hl_disconnect(handle);
        } else {
            EXPECT_EQ(handle, -1);
            EXPECT_EQ(connection_count, 0);
            EXPECT_TRUE(server.wait_closed_by_client(1));
        }
        server.stop();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
        release_database_cache();
    }
}

TEST_F(ConfiguredConnect, TheUserIsAskedOncePerProcessAndDatabaseName) {
    TraceLog log;
    peer.expect(exec_request("OPEN DATABASE 'vault' AS 'typed secret', 'open'"))
        .send(status_block(0, ""));
    peer.next_connection()
        .expect(exec_request("OPEN DATABASE 'vault' AS 'typed secret', 'open'"))
        .send(status_block(0, ""));
    peer.start();
    std::string config = "[conn]\nTransport=WINSOCK\n" + address() +
                         "DBopen=v,o\n[v]\nDatabase=vault\nPassword=*\n" + "[o]\nDatabase=open\n";
    PasswordAnswer answer;
    answer.typed = "typed secret";
    dialogs.answers.push_back(answer);
    int first = hl_connect_ini(write_config(config).c_str(), "conn", 0, 1);
    ASSERT_GE(first, 0);
    // Another file names another password: the cached one is used, nobody is asked.
    std::string other = config;
    other.replace(other.find("Password=*"), 10, "Password=changed");
    int second = hl_connect_ini(write_config(other).c_str(), "conn", 0, 1);
    ASSERT_GE(second, 0);
    EXPECT_EQ(dialogs.seen.size(), 1u);
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_EQ(database_cache_count, 2);
    EXPECT_STREQ(database_cache[0].db_name, "vault");
    EXPECT_STREQ(database_cache[0].db_pswd, "typed secret");
    EXPECT_STREQ(database_cache[1].db_name, "open");
    EXPECT_STREQ(database_cache[1].db_pswd, "");

    std::string trace = log.text();
    EXPECT_EQ(count_of(trace, "   read password: ["), 2u) << trace; // vault once, open once
    EXPECT_EQ(count_of(trace, "   database name: [vault]\n"), 2u);
    // Passwords appear masked in the lines that carry them; they enter the
    // cache once the server has accepted the statement.
    EXPECT_NE(trace.find("   database name: [vault]\n   read password: [********]\n"
                         "   edit password: [********]\n   database name: [open]\n"
                         "   read password: []\n"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("\nOPEN DATABASE:  status: [0]\n   database list entry: 1\n"
                         "   db_name: [vault]\n   db_pswd: [********]\n \n"
                         "   database list entry: 2\n   db_name: [open]\n   db_pswd: []\n \n"),
              std::string::npos)
        << trace;
    EXPECT_EQ(count_of(trace, "\nOPEN DATABASE:  status: [0]\n"), 2u);
    EXPECT_EQ(count_of(trace, "   database list entry: "), 2u);
    EXPECT_EQ(trace.find("password: [typed"), std::string::npos);
    EXPECT_EQ(trace.find("password: [*]"), std::string::npos);
    EXPECT_EQ(trace.find("db_pswd: [typed"), std::string::npos);
}

TEST_F(ConfiguredConnect, DialogAnswers) {
    struct Case {
        const char* name;
        bool ok;
        std::string typed;
        std::string statement; // empty: nothing is sent, the connection is closed
    } cases[] = {
        {"OK with a password", true, "abc", "OPEN DATABASE 'vault' AS 'abc'"},
        {"OK with an empty field gives the name without AS", true, "", "OPEN DATABASE 'vault'"},
        {"the field takes 16 characters", true, "12345678901234567890",
         "OPEN DATABASE 'vault' AS '1234567890123456'"},
        {"Cancel", false, "typed but cancelled", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer server;
        if (!c.statement.empty())
            server.expect(exec_request(c.statement)).send(status_block(0, ""));
        server.start();
        std::string file = write_config("[conn]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                                        server.service() + "\nDatabase=vault\nPassword=*file\n");
        release_database_cache();
        boxes.clear();
        dialogs.seen.clear();
        PasswordAnswer answer;
        answer.ok = c.ok;
        answer.typed = c.typed;
        dialogs.answers.push_back(answer);
        int handle = hl_connect_ini(file.c_str(), "conn", 0, 1);
        ASSERT_EQ(dialogs.seen.size(), 1u);
        EXPECT_EQ(dialogs.seen[0].database, "vault");
        EXPECT_TRUE(boxes.boxes.empty()); // also no message for Cancel
        EXPECT_EQ(password_dialog_busy, 0);
        if (c.statement.empty()) {
            EXPECT_EQ(handle, -1);
            EXPECT_EQ(connection_count, 0);
            EXPECT_EQ(database_cache_count, 0);
            EXPECT_TRUE(server.wait_closed_by_client(1));
        } else {
            EXPECT_GE(handle, 0);
            if (handle >= 0) hl_disconnect(handle);
        }
        server.stop();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
    }
}

TEST_F(ConfiguredConnect, APasswordInTheFileIsUsedInFullAndTheDialogIsNotShown) {
    std::string longest(255, 'k');
    peer.expect(exec_request("OPEN DATABASE 'vault' AS '" + longest + "'"))
        .send(status_block(0, ""));
    peer.start();
    std::string file = write_config("[conn]\nTransport=WINSOCK\n" + address() +
                                    "Database=vault\nPassword=" + longest + "toolong\n");
    EXPECT_GE(hl_connect_ini(file.c_str(), "conn", 0, 1), 0);
    EXPECT_TRUE(dialogs.seen.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConfiguredConnect, TheDialogTakesItsTextsFromAConfiguredConnectionOnly) {
    struct Case {
        const char* name;
        std::string global_keys;
        std::string section_keys;
        std::string section;
        std::vector<std::string> texts; // name label, password label, OK, Cancel
    } cases[] = {
        {"section first, then Global",
         "PswdText1=Global one\nPswdText2=Kennwort:\nPswdCancel=Abbrechen\n",
         "PswdText1=Datenbank:\nPswdOK=Weiter\nPswdText2=\n",
         "conn",
         {"Datenbank:", "Kennwort:", "Weiter", "Abbrechen"}},
        {"none configured: the template's texts",
         "",
         "",
         "conn",
         {"&Datenbank Name:", "&Password:", "OK", "Cancel"}},
        {"some configured",
         "",
         "PswdOK=Ja\n",
         "conn",
         {"&Datenbank Name:", "&Password:", "Ja", "Cancel"}},
        // Connected through "Global" alone: no section, so the template's texts.
        {"no section",
         "PswdText1=Global one\nPswdOK=Ja\n",
         "PswdOK=Nein\n",
         "",
         {"&Datenbank Name:", "&Password:", "OK", "Cancel"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer server;
        server.expect(exec_request("OPEN DATABASE 'vault' AS 'pw'")).send(status_block(0, ""));
        server.start();
        std::string file = write_config(
            "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" + server.service() +
            "\nDBopen=db\n" + c.global_keys + "[conn]\n" + c.section_keys +
            "[db]\nDatabase=vault\nPassword=*\n");
        release_database_cache();
        dialogs.seen.clear();
        PasswordAnswer answer;
        answer.typed = "pw";
        dialogs.answers.push_back(answer);
        int handle = hl_connect_ini(file.c_str(), c.section.c_str(), 0, 1);
        EXPECT_GE(handle, 0);
        ASSERT_EQ(dialogs.seen.size(), 1u);
        const auto& seen = dialogs.seen[0];
        EXPECT_EQ(seen.caption, "Input Password");
        EXPECT_EQ((std::vector<std::string>{seen.name_label, seen.password_label, seen.ok_text,
                                            seen.cancel_text}),
                  c.texts);
        EXPECT_EQ(seen.database, "vault");
        EXPECT_EQ(seen.limit, 16);
        if (handle >= 0) hl_disconnect(handle);
        server.stop();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConfiguredConnect, ARequestWhileTheDialogIsOpenIsRefused) {
    // The first connection waits in the dialog; a second configured connect
    // that needs a password is refused and closed.
    peer.expect(exec_request("OPEN DATABASE 'vault' AS 'outer'")).send(status_block(0, ""));
    peer.next_connection();
    peer.start();
    std::string file =
        write_config("[Global]\nTransport=WINSOCK\n" + address() +
                     "[outer]\nDatabase=vault\nPassword=*\n[inner]\nDatabase=other\nPassword=*\n");
    int inner = 0;
    PasswordAnswer answer;
    answer.typed = "outer";
    answer.while_open = [&] { inner = hl_connect_ini(file.c_str(), "inner", 0, 1); };
    dialogs.answers.push_back(answer);
    int outer = hl_connect_ini(file.c_str(), "outer", 0, 1);
    EXPECT_GE(outer, 0);
    EXPECT_EQ(inner, -1);
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Password dialog is not reentrant"});
    EXPECT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(connection_count, 1);
    EXPECT_TRUE(peer.wait_closed_by_client(1));
    EXPECT_EQ(password_dialog_busy, 0);
}

TEST_F(ConfiguredConnect, ACallWhileTheDialogIsOpenMayMoveTheRecord) {
    // A connection opened earlier is closed while the dialog waits: the new
    // connection's record moves down one slot and the statement still goes out on it.
    ScriptedPeer early;
    early.start();
    char transport[] = "WINSOCK";
    int first = hl_connect(transport, "127.0.0.1", early.service().c_str(), 0);
    ASSERT_GE(first, 0);
    peer.expect(exec_request("OPEN DATABASE 'vault' AS 'pw', 'plain'")).send(status_block(0, ""));
    peer.start();
    std::string file =
        write_config("[conn]\nTransport=WINSOCK\n" + address() +
                     "DBopen=a,b\n[a]\nDatabase=vault\nPassword=*\n[b]\nDatabase=plain\n");
    PasswordAnswer answer;
    answer.typed = "pw";
    answer.while_open = [&] { EXPECT_EQ(hl_disconnect(first), 0); };
    dialogs.answers.push_back(answer);
    int handle = hl_connect_ini(file.c_str(), "conn", 0, 1);
    EXPECT_GE(handle, 0);
    EXPECT_EQ(connection_count, 1);
    EXPECT_EQ(connection_table[0].socket, handle);
    EXPECT_TRUE(boxes.boxes.empty());
    early.stop();
}

// One hl_connect_ini: the dialog's answer (if it is to be shown), what the
// server receives and answers, and what the cache holds afterwards.
struct Attempt {
    const char* section;
    const char* typed;              // nullptr: no dialog is shown; "\x18": the user cancels
    std::string statement;          // empty: nothing is sent
    int status;                     // the server's answer to the statement
    std::vector<std::string> cache; // "name=password", in entry order
};

std::vector<std::string> cache_contents() {
    std::vector<std::string> entries;
    for (int i = 0; i < database_cache_count; ++i)
        entries.push_back(std::string(database_cache[i].db_name) + "=" + database_cache[i].db_pswd);
    return entries;
}

TEST_F(ConfiguredConnect, OnlyPasswordsTheServerAcceptedAreCachedAndARefusedOneIsForgotten) {
    const std::string wrong = "OPEN DATABASE 'sales' AS 'wrong'";
    const std::string right = "OPEN DATABASE 'sales' AS 'right'";
    struct Case {
        const char* name;
        std::string sections;
        std::vector<Attempt> attempts;
    } cases[] = {
        {"wrong then right from two sections",
         "[a]\nDatabase=sales\nPassword=wrong\n[b]\nDatabase=sales\nPassword=right\n",
         {{"a", nullptr, wrong, 12, {}},
          {"b", nullptr, right, 0, {"sales=right"}},
          {"a", nullptr, right, 0, {"sales=right"}}}}, // the accepted one, not the file's
        {"a typo in the dialog, then the right password",
         "[v]\nDatabase=vault\nPassword=*\n",
         {{"v", "secert", "OPEN DATABASE 'vault' AS 'secert'", 12, {}},
          {"v", "secret", "OPEN DATABASE 'vault' AS 'secret'", 0, {"vault=secret"}},
          {"v", nullptr, "OPEN DATABASE 'vault' AS 'secret'", 0, {"vault=secret"}}}},
        {"a cached password that the server refuses later",
         "[v]\nDatabase=vault\nPassword=*\n",
         {{"v", "old", "OPEN DATABASE 'vault' AS 'old'", 0, {"vault=old"}},
          {"v", nullptr, "OPEN DATABASE 'vault' AS 'old'", 12, {}},
          {"v", "new", "OPEN DATABASE 'vault' AS 'new'", 0, {"vault=new"}},
          {"v", nullptr, "OPEN DATABASE 'vault' AS 'new'", -9, {"vault=new"}}}},
        {"a refused password from the file is read again",
         "[a]\nDatabase=sales\nPassword=wrong\n",
         {{"a", nullptr, wrong, 12, {}}, {"a", nullptr, wrong, 100, {}}}},
        {"a refused opening of two forgets both cached passwords",
         "[two]\nDBopen=v,o\n[v]\nDatabase=vault\nPassword=*\n[o]\nDatabase=other\nPassword=op\n"
         "[new]\nDBopen=v,n\n[n]\nDatabase=other\nPassword=changed\n",
         {{"two",
           "good",
           "OPEN DATABASE 'vault' AS 'good', 'other' AS 'op'",
           0,
           {"vault=good", "other=op"}},
          {"two", nullptr, "OPEN DATABASE 'vault' AS 'good', 'other' AS 'op'", 7, {}},
          {"new",
           "good",
           "OPEN DATABASE 'vault' AS 'good', 'other' AS 'changed'",
           0,
           {"vault=good", "other=changed"}}}},
        {"a database named twice is asked for once",
         "[twice]\nDBopen=v,v\n[v]\nDatabase=vault\nPassword=*\n",
         {{"twice", "pw", "OPEN DATABASE 'vault' AS 'pw', 'vault' AS 'pw'", 0, {"vault=pw"}}}},
        {"Cancel on the second database caches the first one neither",
         "[both]\nDBopen=a,v\n[a]\nDatabase=sales\nPassword=right\n[v]\nDatabase=vault\n"
         "Password=*\n",
         {{"both", "\x18", "", 0, {}},
          {"both",
           "x",
           "OPEN DATABASE 'sales' AS 'right', 'vault' AS 'x'",
           0,
           {"sales=right", "vault=x"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        release_database_cache();
        ScriptedPeer server;
        bool first = true;
        for (const auto& a : c.attempts) {
            if (!first) server.next_connection();
            first = false;
            if (a.statement.empty()) continue;
            server.expect(exec_request(a.statement)).send(status_block(a.status, ""));
            if (a.status > 0)
                server.expect(explain_request()).send(status_block(a.status, "Wrong password\n"));
        }
        server.start();
        std::string file = write_config("[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=" +
                                        server.service() + "\n" + c.sections);
        for (size_t i = 0; i < c.attempts.size(); ++i) {
            const Attempt& a = c.attempts[i];
            SCOPED_TRACE("attempt " + std::to_string(i + 1));
            boxes.clear();
            dialogs.seen.clear();
            dialogs.answers.clear();
            if (a.typed != nullptr) {
                PasswordAnswer answer;
                answer.ok = std::string(a.typed) != "\x18";
                answer.typed = answer.ok ? a.typed : "";
                dialogs.answers.push_back(answer);
            }
            std::vector<std::string> before = cache_contents();
            TraceLog log;
            int handle = hl_connect_ini(file.c_str(), a.section, 0, 1);
            EXPECT_EQ(dialogs.seen.size(), a.typed != nullptr ? 1u : 0u);
            bool opened = !a.statement.empty() && a.status <= 0;
            if (opened) {
                EXPECT_GE(handle, 0);
                EXPECT_TRUE(boxes.boxes.empty());
            } else {
                EXPECT_EQ(handle, -1);
                EXPECT_EQ(boxes.summary(),
                          a.statement.empty()
                              ? std::vector<std::string>{}
                              : std::vector<std::string>{"Explain Dorv - Message|Wrong password"});
            }
            EXPECT_EQ(cache_contents(), a.cache);
            // A refusal forgets, and traces, the cached passwords it was sent with.
            std::string trace = log.text();
            size_t forgotten = 0;
            for (const auto& entry : before) {
                if (a.status <= 0 ||
                    std::find(a.cache.begin(), a.cache.end(), entry) != a.cache.end())
                    continue;
                ++forgotten;
                std::string name = entry.substr(0, entry.find('='));
                EXPECT_NE(trace.find("   forgotten password of: [" + name + "]\n"),
                          std::string::npos)
                    << trace;
            }
            EXPECT_EQ(count_of(trace, "   forgotten password of: ["), forgotten);
            if (handle >= 0) hl_disconnect(handle);
            EXPECT_TRUE(server.wait_closed_by_client(static_cast<int>(i + 1)));
        }
        server.stop();
        EXPECT_EQ(server.failures(), std::vector<std::string>{});
    }
}

TEST_F(ConfiguredConnect, ARefusedOpeningLeavesWhatAnotherOpeningCachedMeanwhile) {
    // While the dialog for one connection waits, another connection opens the
    // same database with the file's password; the typed one is then refused.
    peer.expect(exec_request("OPEN DATABASE 'vault' AS 'typo'"))
        .send(status_block(12, ""))
        .expect(explain_request())
        .send(status_block(12, "Wrong password\n"));
    peer.next_connection()
        .expect(exec_request("OPEN DATABASE 'vault' AS 'filed'"))
        .send(status_block(0, ""));
    peer.start();
    std::string file = write_config("[Global]\nTransport=WINSOCK\n" + address() +
                                    "[ask]\nDatabase=vault\nPassword=*\n"
                                    "[filed]\nDatabase=vault\nPassword=filed\n");
    int inner = -1;
    PasswordAnswer answer;
    answer.typed = "typo";
    answer.while_open = [&] { inner = hl_connect_ini(file.c_str(), "filed", 0, 1); };
    dialogs.answers.push_back(answer);
    EXPECT_EQ(hl_connect_ini(file.c_str(), "ask", 0, 1), -1);
    EXPECT_GE(inner, 0);
    EXPECT_EQ(cache_contents(), std::vector<std::string>{"vault=filed"});
}

void* refuse_to_grow(void*, size_t) {
    return nullptr;
}

TEST_F(ConfiguredConnect, ACacheThatCannotGrowLosesNothingButTheCaching) {
    peer.expect(exec_request("OPEN DATABASE 'vault' AS 'one'")).send(status_block(0, ""));
    peer.next_connection()
        .expect(exec_request("OPEN DATABASE 'vault' AS 'two'"))
        .send(status_block(0, ""));
    peer.start();
    std::string file =
        write_config("[conn]\nTransport=WINSOCK\n" + address() + "Database=vault\nPassword=*\n");
    auto* grow = database_cache_grow;
    database_cache_grow = refuse_to_grow;
    for (const char* typed : {"one", "two"}) {
        PasswordAnswer answer;
        answer.typed = typed;
        dialogs.answers.push_back(answer);
        EXPECT_GE(hl_connect_ini(file.c_str(), "conn", 0, 1), 0);
    }
    database_cache_grow = grow;
    EXPECT_EQ(dialogs.seen.size(), 2u); // not cached, so asked again
    EXPECT_EQ(database_cache_count, 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConfiguredConnect, SetInifileReplacesFileAndSectionOfAConnection) {
    peer.start();
    char transport[] = "WINSOCK";
    int handle = hl_connect(transport, "127.0.0.1", peer.service().c_str(), 0);
    ASSERT_GE(handle, 0);
    EXPECT_STREQ(record(handle)->ini_file, "");
    EXPECT_EQ(hl_set_inifile(handle, "dorv.ini", "Sales"), 0);
    EXPECT_STREQ(record(handle)->ini_file, "dorv.ini");
    EXPECT_STREQ(record(handle)->ini_section, "Sales");
    std::string long_text(300, 'f');
    EXPECT_EQ(hl_set_inifile(handle, long_text.c_str(), nullptr), 0);
    EXPECT_EQ(std::string(record(handle)->ini_file), std::string(255, 'f'));
    EXPECT_STREQ(record(handle)->ini_section, "");
    EXPECT_EQ(hl_set_inifile(handle + 1000, "x", "y"), -1);
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|Invalid connection handle:\n handle = " +
                                       std::to_string(handle + 1000)});
    EXPECT_STREQ(record(handle)->ini_section, "");
}

} // namespace
