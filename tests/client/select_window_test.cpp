// The entry dialog as a window: its template, sizing by the user, the smallest
// size, a dialog wider than the screen; and what POSIX does with nobody to ask.
#include "client/connection/dialog_support.h"
#include "client/transport/wnsk.h"
#include "peer_session.h"
#include "select_dialog_driver.h"
#include "support/box_capture.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string HEADER = "NAME        CODE  CITY";

void script_rows(ScriptedPeer& peer, const std::vector<std::string>& rows) {
    peer.expect(request('H', std::string(1, 2))).send(status_block(0, HEADER));
    for (const auto& row : rows)
        peer.expect(request('R', std::string(1, '\0'))).send(status_block(0, row));
    peer.expect(request('R', std::string(1, '\0'))).send(status_block(-9, ""));
}

const std::vector<std::string> ROWS = {"Wagner      W17   Wien", "Albers      A03   Aachen"};

#ifdef _WIN32

// Runs a selection of ROWS with an optional configuration and lets `inspect`
// look at (and handle) the shown dialog; it is then cancelled.
void with_shown_dialog(const std::string& config, const std::function<void(HWND)>& inspect) {
    BoxCapture boxes;
    EntryDialogDriver driver(boxes);
    driver.answer = [&](const SeenDialog& d) {
        EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(d.window)));
        inspect(static_cast<HWND>(d.window));
        return DialogAnswer{DialogAnswer::Cancel, 0};
    };
    PeerSession s;
    script_rows(s.peer, ROWS);
    s.open();
    if (!config.empty()) {
        std::string path = test_temp_dir() + "/select_window.ini";
        write_text_file(path, "[Conn]\n" + config);
        std::snprintf(s.record()->ini_file, sizeof s.record()->ini_file, "%s", path.c_str());
        std::snprintf(s.record()->ini_section, sizeof s.record()->ini_section, "Conn");
    }
    char key[256] = "CODE";
    EXPECT_EQ(hl_dorv_select_entry(s.handle, key, 6, 0), 0);
    EXPECT_EQ(driver.seen.size(), 1u);
    EXPECT_TRUE(boxes.boxes.empty());
}

// ------------------------------------------------ the template as the resource holds it
struct TemplateItem {
    unsigned style;
    int x, y, cx, cy, id;
    std::string window_class, text;
};
struct DialogTemplate {
    unsigned style;
    int x, y, cx, cy;
    std::string caption, font;
    int points;
    std::vector<TemplateItem> items;
};

std::string read_sz(const WORD*& p) {
    std::string s;
    while (*p != 0)
        s += static_cast<char>(*p++);
    ++p;
    return s;
}

// A class or text field: an ordinal (0xFFFF, value) or a string.
std::string read_field(const WORD*& p) {
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80:
            return "Button";
        case 0x81:
            return "Edit";
        case 0x82:
            return "Static";
        case 0x83:
            return "ListBox";
        default:
            return "#" + std::to_string(ordinal);
        }
    }
    return read_sz(p);
}

DialogTemplate load_template(int id) {
    DialogTemplate t{};
    HRSRC found = FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                reinterpret_cast<LPCSTR>(RT_DIALOG));
    if (found == nullptr) return t;
    const WORD* p =
        static_cast<const WORD*>(LockResource(LoadResource(GetModuleHandleA(nullptr), found)));
    const DLGTEMPLATE* head = reinterpret_cast<const DLGTEMPLATE*>(p);
    t.style = head->style;
    t.x = head->x;
    t.y = head->y;
    t.cx = head->cx;
    t.cy = head->cy;
    p = reinterpret_cast<const WORD*>(head + 1);
    read_field(p); // menu
    read_field(p); // class
    t.caption = read_sz(p);
    if (t.style & DS_SETFONT) {
        t.points = *p++;
        t.font = read_sz(p);
    }
    for (int i = 0; i < head->cdit; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
        const DLGITEMTEMPLATE* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        TemplateItem it{};
        it.style = item->style;
        it.x = item->x;
        it.y = item->y;
        it.cx = item->cx;
        it.cy = item->cy;
        it.id = item->id;
        p = reinterpret_cast<const WORD*>(item + 1);
        it.window_class = read_field(p);
        it.text = read_field(p);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const char*>(p) + extra);
        t.items.push_back(it);
    }
    return t;
}

TEST(SelectWindow, Template102HoldsTheControlsInTheirOrderWithTheirStyles) {
    DialogTemplate t = load_template(102);
    EXPECT_EQ(t.caption, "Please select an entry");
    EXPECT_EQ(t.font, "System");
    EXPECT_EQ(t.points, 10);
    EXPECT_EQ((std::vector<int>{t.x, t.y, t.cx, t.cy}), (std::vector<int>{200, 100, 184, 162}));
    unsigned dialog_style = DS_3DLOOK | DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION |
                            WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX;
    EXPECT_EQ(t.style, dialog_style);
    ASSERT_EQ(t.items.size(), 4u);
    const unsigned child = WS_CHILD | WS_VISIBLE;
    struct Expected {
        int id;
        const char* window_class;
        const char* text;
        int x, y, cx, cy;
        unsigned style;
    } expected[] = {
        {IDOK, "Button", "OK", 5, 140, 40, 14, child | BS_PUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, "Button", "Cancel", 139, 140, 40, 14, child | BS_PUSHBUTTON | WS_TABSTOP},
        {1001, "ListBox", "", 5, 7, 174, 114,
         child | LBS_NOTIFY | LBS_SORT | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
             WS_HSCROLL | WS_BORDER},
        {1002, "Static", "%d entries qualified", 5, 124, 174, 12, child | SS_LEFT | WS_GROUP},
    };
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(expected[i].id);
        const TemplateItem& it = t.items[i];
        EXPECT_EQ(it.id, expected[i].id);
        EXPECT_EQ(lstrcmpiA(it.window_class.c_str(), expected[i].window_class), 0)
            << it.window_class;
        EXPECT_EQ(it.text, expected[i].text);
        EXPECT_EQ((std::vector<int>{it.x, it.y, it.cx, it.cy}),
                  (std::vector<int>{expected[i].x, expected[i].y, expected[i].cx, expected[i].cy}));
        EXPECT_EQ(it.style, expected[i].style);
    }
}

// ------------------------------------------------ the shown dialog
// Where the dialog manager puts a control: position and size each mapped from
// dialog units (so each is rounded on its own).
RECT dialog_units(HWND dialog, int x, int y, int cx, int cy) {
    RECT at{x, y, x, y}, size{0, 0, cx, cy};
    MapDialogRect(dialog, &at);
    MapDialogRect(dialog, &size);
    return RECT{at.left, at.top, at.left + size.right, at.top + size.bottom};
}

void expect_rect(const RECT& got, const RECT& want, const char* what) {
    EXPECT_EQ((std::vector<long>{got.left, got.top, got.right, got.bottom}),
              (std::vector<long>{want.left, want.top, want.right, want.bottom}))
        << what;
}

RECT moved(RECT r, int dx, int dy, int dw, int dh) {
    return RECT{r.left + dx, r.top + dy, r.right + dx + dw, r.bottom + dy + dh};
}

TEST(SelectWindow, ControlsFollowTheSizeTheUserGivesTheDialog) {
    struct Case {
        std::string config;
        // With the template's size the first layout does not resize the dialog,
        // so the first change the user makes is only noted, and made up by the next.
        bool first_change_noted_only;
    } cases[] = {{"", true}, {"DlgWidth=400\nDlgHeight=300\n", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        with_shown_dialog(c.config, [&](HWND dialog) {
            RECT list = control_rect(dialog, 1001), status = control_rect(dialog, 1002);
            RECT ok = control_rect(dialog, IDOK), cancel = control_rect(dialog, IDCANCEL);
            RECT client0, frame0;
            GetClientRect(dialog, &client0);
            GetWindowRect(dialog, &frame0);
            if (c.config.empty()) {
                // The controls stand where the template puts them.
                expect_rect(list, dialog_units(dialog, 5, 7, 174, 114), "list at first");
                expect_rect(status, dialog_units(dialog, 5, 124, 174, 12), "status at first");
                expect_rect(ok, dialog_units(dialog, 5, 140, 40, 14), "OK at first");
                expect_rect(cancel, dialog_units(dialog, 139, 140, 40, 14), "Cancel at first");
            } else {
                // Laid out for 400 x 300: the list fills the rest, the buttons sit at the bottom.
                EXPECT_EQ(client0.right, 400);
                EXPECT_EQ(client0.bottom, 300);
                EXPECT_EQ(list.right + list.left, 400);
                EXPECT_EQ(cancel.right + ok.left, 400);
                EXPECT_EQ(ok.bottom, cancel.bottom);
                EXPECT_LT(list.bottom, status.top);
                EXPECT_LT(status.bottom, ok.top);
            }
            // Grow, grow more, then shrink below the first size.
            struct Step {
                int dw, dh;
            } steps[] = {{30, 20}, {90, 70}, {-40, -25}};
            bool first = true;
            for (const auto& step : steps) {
                SCOPED_TRACE(step.dw);
                SetWindowPos(dialog, nullptr, 0, 0, frame0.right - frame0.left + step.dw,
                             frame0.bottom - frame0.top + step.dh, SWP_NOMOVE | SWP_NOZORDER);
                RECT client;
                GetClientRect(dialog, &client);
                EXPECT_EQ(client.right - client0.right, step.dw);
                EXPECT_EQ(client.bottom - client0.bottom, step.dh);
                int dx = step.dw, dy = step.dh;
                if (first && c.first_change_noted_only) dx = dy = 0;
                first = false;
                expect_rect(control_rect(dialog, 1001), moved(list, 0, 0, dx, dy), "list grows");
                expect_rect(control_rect(dialog, 1002), moved(status, 0, dy, 0, 0),
                            "status moves down");
                expect_rect(control_rect(dialog, IDOK), moved(ok, 0, dy, 0, 0), "OK moves down");
                expect_rect(control_rect(dialog, IDCANCEL), moved(cancel, dx, dy, 0, 0),
                            "Cancel moves right and down");
            }
        });
    }
}

// The number of colours on the screen inside a control's rectangle.
int colours_shown(HWND dialog, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    HDC screen = GetDC(nullptr);
    std::vector<COLORREF> seen;
    for (int y = r.top; y < r.bottom; y += 2)
        for (int x = r.left; x < r.right; x += 2) {
            COLORREF c = GetPixel(screen, x, y);
            if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
        }
    ReleaseDC(nullptr, screen);
    return static_cast<int>(seen.size());
}

// Lets the dialog paint what it has to.
void pump_messages(int milliseconds) {
    DWORD until = GetTickCount() + static_cast<DWORD>(milliseconds);
    while (GetTickCount() < until) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(10);
    }
}

TEST(SelectWindow, MovedControlsAreDrawnAtTheirNewPlace) {
    with_shown_dialog("", [](HWND dialog) {
        pump_messages(200);
        ASSERT_GT(colours_shown(dialog, IDOK), 1) << "OK drawn at first";
        RECT frame;
        GetWindowRect(dialog, &frame);
        for (int grow = 1; grow <= 2; ++grow)
            SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 130 * grow,
                         frame.bottom - frame.top + 70 * grow, SWP_NOMOVE | SWP_NOZORDER);
        pump_messages(300);
        EXPECT_GT(colours_shown(dialog, IDOK), 1) << "OK drawn after the dialog grew";
        EXPECT_GT(colours_shown(dialog, IDCANCEL), 1) << "Cancel drawn after the dialog grew";
        EXPECT_GT(colours_shown(dialog, 1002), 1) << "status line drawn after the dialog grew";
    });
}

TEST(SelectWindow, TheUserCannotMakeItSmallerThan260By230) {
    with_shown_dialog("", [](HWND dialog) {
        MINMAXINFO info{};
        SendMessageA(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(info.ptMinTrackSize.x, 260);
        EXPECT_EQ(info.ptMinTrackSize.y, 230);
        SetWindowPos(dialog, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
        RECT frame;
        GetWindowRect(dialog, &frame);
        EXPECT_EQ(frame.right - frame.left, 260);
        EXPECT_EQ(frame.bottom - frame.top, 230);
    });
}

TEST(SelectWindow, IsCentredOnTheScreenAndStartsLeftOfItWhenWider) {
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        std::string config;
        bool wider;
    } cases[] = {{"", false},
                 {"DlgWidth=400\nDlgHeight=300\n", false},
                 {"DlgWidth=" + std::to_string(screen_width + 1) + "\n", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        with_shown_dialog(c.config, [&](HWND dialog) {
            RECT frame;
            GetWindowRect(dialog, &frame);
            int width = frame.right - frame.left, height = frame.bottom - frame.top;
            EXPECT_EQ(frame.left, (screen_width - width) / 2);
            EXPECT_EQ(frame.top, (screen_height - height) / 2);
            if (c.wider) {
                RECT client;
                GetClientRect(dialog, &client);
                EXPECT_EQ(client.right, screen_width);
                EXPECT_LT(frame.left, 0);
            }
        });
    }
}

TEST(SelectWindow, ADialogThatCannotBeCreatedIsReported) {
    BoxCapture boxes;
    PeerSession s;
    s.peer.expect(request('H', std::string(1, 2)))
        .send(status_block(0, HEADER)); // no row is asked for
    s.open();
    PlatInstance own = library_instance;
    library_instance = GetModuleHandleA("kernel32.dll"); // holds no template 102
    char key[256] = "CODE";
    int result = hl_dorv_select_entry(s.handle, key, 6, 0);
    library_instance = own;
    EXPECT_EQ(result, -1);
    EXPECT_STREQ(key, "CODE");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(
        boxes.boxes[0].text.rfind("Unable to create the entry selection dialog\nWinErrno=", 0), 0u)
        << boxes.boxes[0].text;
    // Nothing is left running.
    s.close();
    PeerSession t;
    script_rows(t.peer, {ROWS[0]});
    t.open();
    EXPECT_EQ(hl_dorv_select_entry(t.handle, key, 6, 0), 1);
    EXPECT_STREQ(key, "W17");
}

TEST(CenterDialog, AWindowLargerThanTheScreenGetsNegativeCoordinates) {
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    HWND w = CreateWindowExA(0, "Static", "probe", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    struct Case {
        int width, height; // asked for (0: as it is)
        int out_width, out_height;
    } cases[] = {
        {0, 0, 200, 100},
        {screen_width + 101, screen_height + 51, screen_width + 101, screen_height + 51},
        {screen_width + 3, 0, screen_width + 3, screen_height + 51}, // 0: the height it has
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        center_dialog(w, c.width, c.height);
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_EQ(r.right - r.left, c.out_width);
        EXPECT_EQ(r.bottom - r.top, c.out_height);
        // Truncation toward zero: -101 / 2 is -50, not -51.
        EXPECT_EQ(r.left, (screen_width - c.out_width) / 2);
        EXPECT_EQ(r.top, (screen_height - c.out_height) / 2);
    }
    DestroyWindow(w);
}

#else

TEST(SelectWindow, WithoutAnAnswererTheDialogIsCancelled) {
    BoxCapture boxes;
    PeerSession s;
    script_rows(s.peer, ROWS);
    s.open();
    char key[256] = "CODE";
    EXPECT_EQ(hl_dorv_select_entry(s.handle, key, 6, 0), 0);
    EXPECT_STREQ(key, "CODE");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(SelectWindow, AnAnswerOutsideTheRowsCancels) {
    for (int answer : {2, -7, 1000}) {
        SCOPED_TRACE(answer);
        BoxCapture boxes;
        PeerSession s;
        script_rows(s.peer, ROWS);
        s.open();
        plat_set_list_answerer(
            [](const PlatListView*, void* context) { return *static_cast<int*>(context); },
            &answer);
        char key[256] = "CODE";
        EXPECT_EQ(hl_dorv_select_entry(s.handle, key, 6, 0), 0);
        plat_set_list_answerer(nullptr, nullptr);
        EXPECT_STREQ(key, "CODE");
    }
}

#endif

} // namespace
