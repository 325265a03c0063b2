// Drives the entry selection dialog the way a user would. On Windows the real
// dialog is found by the BoxCapture's WH_CBT hook when it activates; once it is
// shown (a timer in its own modal loop) its controls are read and the answer
// is given with the list box, OK, a double-click or Cancel. On POSIX the same
// readings come from the platform's answerer.
#pragma once

#include "platform/list_dialog.h"
#include "support/box_capture.h"

#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

// What the user sees when the dialog is shown.
struct SeenDialog {
    std::string caption;
    std::vector<std::string> rows;
    int selected = -1;
    std::string status, ok_text, cancel_text;
    int font_height = 0, font_width = 0;
    std::string font_face;
    // Windows: the client area's size in pixels. POSIX: the size the first
    // layout asked for (0: the template's).
    int client_width = 0, client_height = 0;
    void* window = nullptr; // Windows: the dialog's HWND
};

struct DialogAnswer {
    enum How { Ok, DoubleClick, Cancel } how;
    int index; // the entry to select first (Ok, DoubleClick)
};

class EntryDialogDriver {
  public:
    // `answer` is asked once per dialog shown; the default cancels.
    explicit EntryDialogDriver(BoxCapture& boxes);
    ~EntryDialogDriver();
    EntryDialogDriver(const EntryDialogDriver&) = delete;
    EntryDialogDriver& operator=(const EntryDialogDriver&) = delete;

    std::function<DialogAnswer(const SeenDialog&)> answer;
    std::vector<SeenDialog> seen;

  private:
    static SeenDialog read(void* window);
    static void respond(void* window, const DialogAnswer& a);
#ifdef _WIN32
    static void CALLBACK on_timer(HWND window, UINT, UINT_PTR id, DWORD);
#else
    static int answerer(const PlatListView* view, void* context);
#endif
    BoxCapture& boxes_;
    EntryDialogDriver* previous_;
};

inline const char* const ENTRY_DIALOG_CAPTION = "Please select an entry";

// ------------------------------------------------------------------ implementation
namespace select_driver_detail {
#ifdef _WIN32
inline thread_local EntryDialogDriver* active = nullptr;
#else
inline EntryDialogDriver* active = nullptr;
#endif
} // namespace select_driver_detail

#ifdef _WIN32

inline std::string control_text(HWND dialog, int id) {
    char text[512];
    int n = GetDlgItemTextA(dialog, id, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

// A control's rectangle in the dialog's client coordinates.
inline RECT control_rect(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline EntryDialogDriver::EntryDialogDriver(BoxCapture& boxes)
    : boxes_(boxes), previous_(select_driver_detail::active) {
    select_driver_detail::active = this;
    boxes_.on_dialog = [](void* w) {
        HWND window = static_cast<HWND>(w);
        char caption[128];
        GetWindowTextA(window, caption, sizeof caption);
        if (std::string(caption) != ENTRY_DIALOG_CAPTION) return false; // a message box
        if (GetPropA(window, "dorv_select_seen") == nullptr) {
            SetPropA(window, "dorv_select_seen", reinterpret_cast<HANDLE>(1));
            // Answered from its own modal loop once it is shown, not inside the hook.
            SetTimer(window, 0x5E1, 10, on_timer);
        }
        return true;
    };
}

inline EntryDialogDriver::~EntryDialogDriver() {
    boxes_.on_dialog = nullptr;
    select_driver_detail::active = previous_;
}

inline SeenDialog EntryDialogDriver::read(void* w) {
    HWND dialog = static_cast<HWND>(w);
    SeenDialog s;
    s.window = w;
    char caption[128];
    GetWindowTextA(dialog, caption, sizeof caption);
    s.caption = caption;
    HWND list = GetDlgItem(dialog, LIST_ID_LIST);
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char row[1024];
        LRESULT n = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        if (n < 0 || n >= static_cast<LRESULT>(sizeof row)) continue;
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row));
        s.rows.push_back(row);
    }
    s.selected = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
    s.status = control_text(dialog, LIST_ID_STATUS);
    s.ok_text = control_text(dialog, LIST_ID_OK);
    s.cancel_text = control_text(dialog, LIST_ID_CANCEL);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
    LOGFONTA lf{};
    if (font != nullptr && GetObjectA(font, sizeof lf, &lf) == sizeof lf) {
        s.font_height = lf.lfHeight;
        s.font_width = lf.lfWidth;
        s.font_face = lf.lfFaceName;
    }
    RECT client;
    GetClientRect(dialog, &client);
    s.client_width = client.right;
    s.client_height = client.bottom;
    return s;
}

inline void EntryDialogDriver::respond(void* w, const DialogAnswer& a) {
    HWND dialog = static_cast<HWND>(w);
    HWND list = GetDlgItem(dialog, LIST_ID_LIST);
    if (a.how != DialogAnswer::Cancel)
        SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(a.index), 0);
    if (a.how == DialogAnswer::Ok)
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    else if (a.how == DialogAnswer::DoubleClick)
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(LIST_ID_LIST, LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
    else
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
}

inline void CALLBACK EntryDialogDriver::on_timer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    EntryDialogDriver* d = select_driver_detail::active;
    if (d == nullptr) {
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    SeenDialog s = read(window);
    d->seen.push_back(s);
    DialogAnswer a = d->answer ? d->answer(s) : DialogAnswer{DialogAnswer::Cancel, 0};
    respond(window, a);
}

#else

inline EntryDialogDriver::EntryDialogDriver(BoxCapture& boxes)
    : boxes_(boxes), previous_(select_driver_detail::active) {
    select_driver_detail::active = this;
    plat_set_list_answerer(answerer, this);
}

inline EntryDialogDriver::~EntryDialogDriver() {
    select_driver_detail::active = previous_;
    plat_set_list_answerer(previous_ != nullptr ? answerer : nullptr, previous_);
}

inline int EntryDialogDriver::answerer(const PlatListView* view, void* context) {
    EntryDialogDriver* d = static_cast<EntryDialogDriver*>(context);
    SeenDialog s;
    s.caption = view->caption;
    for (int i = 0; i < view->count; ++i)
        s.rows.push_back(view->rows[i]);
    s.selected = view->selected;
    s.status = view->status;
    s.ok_text = view->ok_text;
    s.cancel_text = view->cancel_text;
    s.font_height = view->font.height;
    s.font_width = view->font.width;
    s.font_face = view->font.face;
    s.client_width = view->width;
    s.client_height = view->height;
    d->seen.push_back(s);
    DialogAnswer a = d->answer ? d->answer(s) : DialogAnswer{DialogAnswer::Cancel, 0};
    return a.how == DialogAnswer::Cancel ? -1 : a.index;
}

#endif
