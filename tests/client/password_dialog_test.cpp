// Dialog 101 as the user meets it: what it shows, how its field takes input,
// and what OK and Cancel leave in password_exchange. On Windows the real
// dialog runs and is driven through the WH_CBT hook.
#include "client/connection/password_entry.h"
#include "client/transport/wnsk.h"
#include "support/box_capture.h"
#include "support/password_dialog_driver.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

ConnectionRecord record_for(const std::string& file, const std::string& section) {
    ConnectionRecord record;
    std::memset(&record, 0, sizeof record);
    std::snprintf(record.ini_file, sizeof record.ini_file, "%s", file.c_str());
    std::snprintf(record.ini_section, sizeof record.ini_section, "%s", section.c_str());
    return record;
}

void set_exchange(const char* name, const char* password) {
    std::snprintf(password_exchange.db_name, sizeof password_exchange.db_name, "%s", name);
    std::snprintf(password_exchange.db_pswd, sizeof password_exchange.db_pswd, "%s", password);
}

TEST(PasswordDialog, ShowsTheNameAndTakesAtMost16Characters) {
    BoxCapture boxes;
    PasswordDialogDriver dialogs(boxes);
    PasswordAnswer answer;
    answer.typed = "abcdefghijklmnopqrst"; // 20 keys
    dialogs.answers.push_back(answer);
    set_exchange("Customers 1996", "*");
    ConnectionRecord record = record_for("", "");
    EXPECT_EQ(run_password_dialog(&record), 1);
    EXPECT_STREQ(password_exchange.db_pswd, "abcdefghijklmnop");
    EXPECT_STREQ(password_exchange.db_name, "Customers 1996");
    ASSERT_EQ(dialogs.seen.size(), 1u);
    const PasswordDialogView& seen = dialogs.seen[0];
    EXPECT_EQ(seen.caption, "Input Password");
    EXPECT_EQ(seen.database, "Customers 1996");
    EXPECT_EQ(seen.name_label, "&Datenbank Name:");
    EXPECT_EQ(seen.password_label, "&Password:");
    EXPECT_EQ(seen.ok_text, "OK");
    EXPECT_EQ(seen.cancel_text, "Cancel");
    EXPECT_EQ(seen.limit, 16);
#ifdef _WIN32
    EXPECT_EQ(seen.field_text, "abcdefghijklmnop");
    EXPECT_TRUE(seen.name_read_only);
    EXPECT_TRUE(seen.focus_on_password);
    EXPECT_TRUE(seen.centred);
#endif
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(PasswordDialog, OkAndCancel) {
    struct Case {
        const char* name;
        bool ok;
        std::string typed;
        int result;
        const char* password_after; // in password_exchange
    } cases[] = {
        {"OK with a password", true, "s3cr3t", 1, "s3cr3t"},
        {"OK with an empty field", true, "", 1, ""},
        {"Cancel leaves the exchange as it was", false, "typed", 0, "*ask"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoxCapture boxes;
        PasswordDialogDriver dialogs(boxes);
        PasswordAnswer answer;
        answer.ok = c.ok;
        answer.typed = c.typed;
        dialogs.answers.push_back(answer);
        set_exchange("db", "*ask");
        ConnectionRecord record = record_for("", "");
        EXPECT_EQ(run_password_dialog(&record), c.result);
        EXPECT_STREQ(password_exchange.db_pswd, c.password_after);
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST(PasswordDialog, TextsFromTheRecordsFileWhenItHasFileAndSection) {
    std::string file = test_temp_dir() + "/dialog_texts.ini";
    write_text_file(
        file,
        "[Global]\nPswdText1=Datenbank:\nPswdText2=Kennwort:\nPswdOK=Weiter\nPswdCancel=Abbrechen\n"
        "[sales]\nPswdOK=Los\n");
    struct Case {
        std::string file, section;
        std::string ok_text, name_label;
    } cases[] = {
        {file, "sales", "Los", "Datenbank:"},
        {file, "", "OK", "&Datenbank Name:"},
        {"", "sales", "OK", "&Datenbank Name:"},
        {file, "nowhere", "Weiter", "Datenbank:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " [" + c.section + "]");
        BoxCapture boxes;
        PasswordDialogDriver dialogs(boxes);
        dialogs.answers.push_back(PasswordAnswer{});
        ConnectionRecord record = record_for(c.file, c.section);
        set_exchange("db", "*");
        EXPECT_EQ(run_password_dialog(&record), 1);
        ASSERT_EQ(dialogs.seen.size(), 1u);
        EXPECT_EQ(dialogs.seen[0].ok_text, c.ok_text);
        EXPECT_EQ(dialogs.seen[0].name_label, c.name_label);
    }
}

TEST(PasswordDialog, ADialogThatCannotBeShownIsReported) {
    BoxCapture boxes;
    ConnectionRecord record = record_for("", "");
    set_exchange("db", "*");
#ifdef _WIN32
    // A module without template 101.
    PlatInstance own = library_instance;
    library_instance = GetModuleHandleA("kernel32.dll");
    EXPECT_EQ(run_password_dialog(&record), -1);
    library_instance = own;
#else
    // No answerer installed: nobody can answer it.
    EXPECT_EQ(run_password_dialog(&record), -1);
#endif
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|Unable to open the password dialog"});
    EXPECT_STREQ(password_exchange.db_pswd, "*");
}

} // namespace
