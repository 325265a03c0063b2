// hl_dorv_select_entry against the scripted peer: the dialog driven as a user
// would (the real dialog on Windows, the answerer on POSIX), and the paths
// that end before anything is shown.
#include "peer_session.h"
#include "select_dialog_driver.h"
#include "support/box_capture.h"
#include "support/test_files.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string HEADER = "NAME        CODE  CITY";
const std::string NO_ROW_ARGUMENT(1, '\0');

// The peer's answers to a selection: the header line (code 2), then each row
// as it is asked for, then end of data when `eof` says so.
void script_rows(ScriptedPeer& peer, const std::string& header,
                 const std::vector<std::string>& rows, bool eof = true) {
    peer.expect(request('H', std::string(1, 2))).send(status_block(0, header));
    for (const auto& row : rows)
        peer.expect(request('R', NO_ROW_ARGUMENT)).send(status_block(0, row));
    if (eof) peer.expect(request('R', NO_ROW_ARGUMENT)).send(status_block(-9, ""));
}

// A configuration file for the connection: its own section "Conn" and "Global".
void configure(PeerSession& s, const std::string& section_text, const std::string& global_text,
               const char* section = "Conn") {
    std::string path = test_temp_dir() + "/select.ini";
    write_text_file(path, "[Conn]\n" + section_text + "[Global]\n" + global_text);
    ConnectionRecord* r = s.record();
    ASSERT_NE(r, nullptr);
    std::snprintf(r->ini_file, sizeof r->ini_file, "%s", native_path(path).c_str());
    std::snprintf(r->ini_section, sizeof r->ini_section, "%s", section);
}

struct Keyfield {
    char text[256];
    explicit Keyfield(const char* name) {
        std::memset(text, '#', sizeof text);
        std::snprintf(text, sizeof text, "%s", name);
    }
};

DialogAnswer pick(int index) {
    return {DialogAnswer::Ok, index};
}

const std::vector<std::string> CITIES = {
    "Wagner      W17   Wien",
    "Albers      A03   Aachen",
    "berger      B22   Bern",
};
// As the list sorts them: by text, regardless of case.
const std::vector<std::string> CITIES_SORTED = {CITIES[1], CITIES[2], CITIES[0]};

TEST(SelectDialog, ShowsTheRowsSortedWithTheFirstSelectedAndTakesThePick) {
    struct Case {
        DialogAnswer answer;
        int result;
        std::string key;
    } cases[] = {
        {{DialogAnswer::Ok, 2}, 1, "W17"},
        {{DialogAnswer::DoubleClick, 1}, 1, "B22"},
        {{DialogAnswer::Ok, 0}, 1, "A03"},
        {{DialogAnswer::Cancel, 0}, 0, "CODE"}, // left as it was
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        BoxCapture boxes;
        EntryDialogDriver driver(boxes);
        driver.answer = [&](const SeenDialog&) { return c.answer; };
        PeerSession s;
        script_rows(s.peer, HEADER, CITIES);
        s.open();
        Keyfield key("CODE");
        EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 6, 0), c.result);
        EXPECT_STREQ(key.text, c.key.c_str());
        ASSERT_EQ(driver.seen.size(), 1u);
        const SeenDialog& d = driver.seen[0];
        EXPECT_EQ(d.caption, "Please select an entry");
        EXPECT_EQ(d.rows, CITIES_SORTED);
        EXPECT_EQ(d.selected, 0);
        EXPECT_EQ(d.status, "3 Entries qualified");
        EXPECT_EQ(d.ok_text, "OK");
        EXPECT_EQ(d.cancel_text, "Cancel");
        EXPECT_EQ(d.font_height, -13); // "13, Courier" when nothing is configured
        EXPECT_EQ(d.font_width, -8);
        EXPECT_EQ(d.font_face, "Courier");
        EXPECT_TRUE(boxes.boxes.empty()) << boxes.summary()[0];
    }
}

TEST(SelectDialog, TheKeyIsCutFromTheRowUnderTheKeyColumn) {
    const std::string long_row =
        std::string(254, 'x') + "yz" + std::string(44, 'q'); // 300: cut to 255
    struct Case {
        const char* keyfield;
        int keylen;
        std::string row; // the one picked; a second row makes the dialog appear
        std::string key;
    } cases[] = {
        {"CODE", 6, "Smith       AB1   Paris", "AB1"}, // offset 12, blanks dropped
        {"CODE", 2, "Smith       AB1   Paris", "AB"},
        {"CODE", 6, "Smith       AB1234Paris", "AB1234"},
        {"CITY", 20, "Smith       AB1   Paris", "Paris"},   // keylen beyond the row's end
        {"MISSING", 6, "Smith       AB1   Paris", "Smith"}, // not in the header: from the start
        {"code", 6, "Smith       AB1   Paris", "Smith"},    // the search counts case
        {"", 6, "Smith       AB1   Paris", "Smith"},
        {"CODE", 0, "Smith       AB1   Paris   ", "Smith       AB1   Paris"}, // keylen 0: whole row
        {"CODE", 6, "Bo", ""},                           // the row ends before the key column
        {"CODE", 6, "Short" + std::string(13, ' '), ""}, // key column all blanks
        {"CODE", 0, long_row, long_row.substr(0, 255)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.keyfield) + "/" + std::to_string(c.keylen) + "/" +
                     c.row.substr(0, 30));
        BoxCapture boxes;
        EntryDialogDriver driver(boxes);
        driver.answer = [&](const SeenDialog& d) {
            for (size_t i = 0; i < d.rows.size(); ++i)
                if (d.rows[i] == c.row.substr(0, 255)) return pick(static_cast<int>(i));
            ADD_FAILURE() << "row not shown";
            return DialogAnswer{DialogAnswer::Cancel, 0};
        };
        PeerSession s;
        script_rows(s.peer, HEADER, {c.row, "~other row"});
        s.open();
        Keyfield key(c.keyfield);
        EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, c.keylen, 0), 1);
        EXPECT_EQ(std::string(key.text), c.key);
        EXPECT_EQ(driver.seen.size(), 1u);
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST(SelectDialog, ConfiguredButtonTextsStatusLineAndFont) {
    struct Case {
        std::string section, global;
        const char* ini_section;
        std::string ok, cancel, status;
        int font_height, font_width;
        std::string face;
    } cases[] = {
        // Section first, then Global.
        {"DlgOK=Nehmen\nDlgFont=20,Arial\n",
         "DlgOK=Global OK\nDlgCancel=Abbrechen\nDlgStatusText=%d Zeilen\n", "Conn", "Nehmen",
         "Abbrechen", "3 Zeilen", -20, -12, "Arial"},
        {"DlgStatusText=Found: %5d\n", "DlgFont=Arial\n", "Conn", "OK", "Cancel", "Found:     3",
         -13, -8, "Arial"},
        {"DlgFont=9, Times New Roman\n", "", "Conn", "OK", "Cancel", "3 Entries qualified", -9, -5,
         "Times New Roman"},
        // Texts with other directives than one integer are shown as they stand.
        {"DlgStatusText=%s rows\n", "", "Conn", "OK", "Cancel", "%s rows", -13, -8, "Courier"},
        {"DlgStatusText=%d of %d\n", "", "Conn", "OK", "Cancel", "%d of %d", -13, -8, "Courier"},
        {"DlgStatusText=100%% %d\n", "", "Conn", "OK", "Cancel", "100%% %d", -13, -8, "Courier"},
        {"DlgStatusText=%n%d\n", "", "Conn", "OK", "Cancel", "%n%d", -13, -8, "Courier"},
        {"DlgStatusText=just text\n", "", "Conn", "OK", "Cancel", "just text", -13, -8, "Courier"},
        // A face name longer than a font description holds is cut to 31 characters.
        {"DlgFont=12,ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n", "", "Conn", "OK", "Cancel",
         "3 Entries qualified", -12, -7, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        // No section: the texts stay the template's, the font is still read.
        {"", "DlgOK=Global OK\nDlgStatusText=%d Zeilen\nDlgFont=20,Arial\n", "", "OK", "Cancel",
         "3 Entries qualified", -20, -12, "Arial"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section + "|" + c.global);
        BoxCapture boxes;
        EntryDialogDriver driver(boxes);
        driver.answer = [](const SeenDialog&) { return pick(0); };
        PeerSession s;
        script_rows(s.peer, HEADER, CITIES);
        s.open();
        configure(s, c.section, c.global, c.ini_section);
        Keyfield key("CODE");
        EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 6, 0), 1);
        EXPECT_STREQ(key.text, "A03");
        ASSERT_EQ(driver.seen.size(), 1u);
        const SeenDialog& d = driver.seen[0];
        EXPECT_EQ(d.ok_text, c.ok);
        EXPECT_EQ(d.cancel_text, c.cancel);
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(d.font_height, c.font_height);
        EXPECT_EQ(d.font_width, c.font_width);
        EXPECT_EQ(d.font_face, c.face);
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST(SelectDialog, TracesTheDialogAndTheFont) {
    TraceLog log;
    BoxCapture boxes;
    EntryDialogDriver driver(boxes);
    driver.answer = [](const SeenDialog&) { return pick(0); };
    PeerSession s;
    script_rows(s.peer, HEADER, CITIES);
    s.open();
    configure(s, "DlgFont=20,Arial\n", "");
    Keyfield key("CODE");
    EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 6, 0), 1);
    std::string text = log.text();
    const char* steps[] = {
        "\nhl_dorv_select_entry: before call ListDlgProc", "\nListDlgProc: WM_INITDIALOG Start",
        "\nFont: Name= [Arial], Width= -12, Height=  -20", "\nListDlgProc: WM_INITDIALOG End",
        "\nhl_dorv_select_entry: after  call ListDlgProc"};
    size_t at = 0;
    for (const char* step : steps) {
        size_t found = text.find(step, at);
        EXPECT_NE(found, std::string::npos) << step << "\nin:\n" << text;
        if (found != std::string::npos) at = found;
    }
}

TEST(SelectDialog, ConfiguredSizeIsHeldBetweenTheSmallestSizeAndTheScreen) {
    int screen_width = 0, screen_height = 0;
    plat_screen_size(&screen_width, &screen_height);
    struct Case {
        std::string config;
        int width, height; // -1: the template's size
    } cases[] = {
        {"DlgWidth=100\nDlgHeight=100\n", 260, 230},
        {"DlgWidth=400\nDlgHeight=300\n", 400, 300},
        {"DlgWidth=-5\nDlgHeight=229\n", 260, 230},
        {"DlgWidth=0\nDlgHeight=0\n", -1, -1},
        {"", -1, -1},
        {"DlgWidth=" + std::to_string(screen_width + 500) + "\nDlgHeight=240\n", screen_width, 240},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        BoxCapture boxes;
        EntryDialogDriver driver(boxes);
        int template_width = 0, template_height = 0; // the template's client size (POSIX: 0)
        driver.answer = [&](const SeenDialog& d) {
#ifdef _WIN32
            RECT t{0, 0, 184, 162}; // dialog units
            MapDialogRect(static_cast<HWND>(d.window), &t);
            template_width = t.right;
            template_height = t.bottom;
#else
            (void)d;
#endif
            return DialogAnswer{DialogAnswer::Cancel, 0};
        };
        PeerSession s;
        script_rows(s.peer, HEADER, CITIES);
        s.open();
        configure(s, c.config, "");
        Keyfield key("CODE");
        EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 6, 0), 0);
        ASSERT_EQ(driver.seen.size(), 1u);
        const SeenDialog& d = driver.seen[0];
        EXPECT_EQ(d.client_width, c.width == -1 ? template_width : c.width);
        EXPECT_EQ(d.client_height, c.height == -1 ? template_height : c.height);
    }
}

TEST(SelectDialog, TheDeclaredLimitStopsReadingAndWarnsButTheRowsAreShown) {
    std::vector<std::string> twelve;
    for (int i = 12; i >= 1; --i) {
        char row[32];
        std::snprintf(row, sizeof row, "Row %02d      K%02d", i, i);
        twelve.push_back(row);
    }
    struct Case {
        size_t available;
        std::string config;
        std::string message;
    } cases[] = {
        {12, "",
         "Dorv|More than the declared number of entries qualified.\nPlease restrict your "
         "selection"},
        {10, "",
         "Dorv|More than the declared number of entries qualified.\nPlease restrict your "
         "selection"},
        {12, "MsgTooMuch=Too many\\nrows\n", "Dorv|Too many\nrows"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.available);
        BoxCapture boxes;
        EntryDialogDriver driver(boxes);
        driver.answer = [](const SeenDialog&) { return pick(9); };
        PeerSession s;
        std::vector<std::string> served(twelve.begin(), twelve.begin() + 10);
        // Ten rows are taken; one more is asked for, and no further one.
        s.peer.expect(request('H', std::string(1, 2))).send(status_block(0, HEADER));
        for (const auto& row : served)
            s.peer.expect(request('R', NO_ROW_ARGUMENT)).send(status_block(0, row));
        s.peer.expect(request('R', NO_ROW_ARGUMENT))
            .send(c.available > 10 ? status_block(0, twelve[10]) : status_block(-9, ""));
        s.open();
        configure(s, c.config, "");
        Keyfield key("CODE");
        EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 4, 10), 1);
        EXPECT_STREQ(key.text, "K12"); // the last of the ten sorted rows: "Row 12"
        EXPECT_EQ(boxes.summary(), std::vector<std::string>{c.message});
        ASSERT_EQ(driver.seen.size(), 1u);
        EXPECT_EQ(driver.seen[0].rows.size(), 10u);
        EXPECT_EQ(driver.seen[0].status, "10 Entries qualified");
    }
}

TEST(SelectEntry, EndsWithoutShowingTheDialogWhenThereIsNothingToChoose) {
    struct Case {
        const char* what;
        std::vector<std::string> rows; // served in this order
        bool eof;                      // the peer is asked once more and says end of data
        int max_select;
        std::string config;
        int result;
        std::string key;
        std::vector<std::string> boxes;
    } cases[] = {
        {"max 1 takes the first row served", {"Zeta        Z01"}, false, 1, "", 1, "Z01", {}},
        {"max 1 without rows", {}, true, 1, "", 0, "CODE", {}},
        {"one row", {"Alpha       A01"}, true, 0, "", 1, "A01", {}},
        {"one row, limit 5", {"Alpha       A01"}, true, 5, "", 1, "A01", {}},
        {"no row", {}, true, 0, "", 0, "CODE", {}},
        {"no row, limit 5", {}, true, 5, "", 0, "CODE", {"Dorv|No entries qualified"}},
        {"no row, limit 5, configured",
         {},
         true,
         5,
         "MsgNoEntries=Nothing\\nfound\\\\here\n",
         0,
         "CODE",
         {"Dorv|Nothing\nfoundhere"}},
        {"no row, limit 5, configured text with a directive",
         {},
         true,
         5,
         "MsgNoEntries=100% %s\n",
         0,
         "CODE",
         {"Dorv|100% %s"}},
        {"negative limit reads no row", {}, false, -1, "", 0, "CODE", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BoxCapture boxes;
        EntryDialogDriver driver(boxes);
        PeerSession s;
        script_rows(s.peer, HEADER, c.rows, c.eof);
        s.open();
        configure(s, c.config, "");
        Keyfield key("CODE");
        EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 4, c.max_select), c.result);
        EXPECT_EQ(std::string(key.text), c.key);
        EXPECT_EQ(boxes.summary(), c.boxes);
        EXPECT_TRUE(driver.seen.empty());
        s.close();
    }
}

TEST(SelectEntry, ARowThatCannotBeReadShowsTheServersExplanation) {
    BoxCapture boxes;
    EntryDialogDriver driver(boxes);
    PeerSession s;
    script_rows(s.peer, HEADER, {CITIES[0]}, false);
    s.peer.expect(request('R', NO_ROW_ARGUMENT))
        .send(status_block(17, ""))
        .expect(request('M', std::string(1, '\0')))
        .send(status_block(0, "Table is locked\n"));
    s.open();
    Keyfield key("CODE");
    EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 4, 0), -1);
    EXPECT_STREQ(key.text, "CODE");
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Explain Dorv - Message|Table is locked"});
    EXPECT_TRUE(driver.seen.empty());
}

TEST(SelectEntry, ACallDuringTheDialogIsRefusedAndTheRunningSelectionGoesOn) {
    BoxCapture boxes;
    EntryDialogDriver driver(boxes);
    PeerSession s;
    script_rows(s.peer, HEADER, CITIES);
    // After the dialog: a new query's selection works again.
    script_rows(s.peer, HEADER, {"Kiel        K01   Kiel", "Jena        J01   Jena"});
    s.open();
    Keyfield inner("CITY");
    int inner_result = 0;
    std::vector<std::string> boxes_inside;
    driver.answer = [&](const SeenDialog&) {
        inner_result = hl_dorv_select_entry(s.handle, inner.text, 3, 0);
        boxes_inside = boxes.summary();
        return pick(2);
    };
    Keyfield key("CODE");
    EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, 6, 0), 1);
    EXPECT_EQ(inner_result, -1);
    EXPECT_STREQ(inner.text, "CITY");
    EXPECT_EQ(boxes_inside,
              std::vector<std::string>{"Dorv|hl_dorv_select_entry() is not reentrant"});
    EXPECT_STREQ(key.text, "W17"); // keyfield, keylen and key column of the first call

    driver.answer = [](const SeenDialog&) { return pick(0); };
    Keyfield again("CODE");
    EXPECT_EQ(hl_dorv_select_entry(s.handle, again.text, 6, 0), 1);
    EXPECT_STREQ(again.text, "J01");
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(SelectEntry, BadArgumentsAreReportedAndNothingIsSent) {
    BoxCapture boxes;
    PeerSession s;
    s.open();
    char unterminated[256];
    std::memset(unterminated, 'k', sizeof unterminated);
    Keyfield key("CODE");
    EXPECT_EQ(hl_dorv_select_entry(s.handle, nullptr, 6, 0), -1);
    EXPECT_EQ(hl_dorv_select_entry(s.handle, unterminated, 6, 0), -1);
    EXPECT_EQ(hl_dorv_select_entry(s.handle, key.text, -1, 0), -1);
    EXPECT_EQ(hl_dorv_select_entry(s.handle + 1000, key.text, 6, 0), -1);
    EXPECT_STREQ(key.text, "CODE");
    EXPECT_EQ(
        boxes.summary(),
        (std::vector<std::string>{"Dorv|Invalid argument (hl_dorv_select_entry):\n keyfield = NULL",
                                  "Dorv|Invalid argument (hl_dorv_select_entry):\n keyfield is not "
                                  "terminated within 256 bytes",
                                  "Dorv|Invalid argument (hl_dorv_select_entry):\n keylen = -1",
                                  "Dorv|Invalid connection handle:\n handle = " +
                                      std::to_string(s.handle + 1000)}));
    // The refusals left no selection running.
    s.close();
    PeerSession t;
    script_rows(t.peer, HEADER, {CITIES[0]});
    t.open();
    EXPECT_EQ(hl_dorv_select_entry(t.handle, key.text, 6, 0), 1);
    EXPECT_STREQ(key.text, "W17");
}

} // namespace
