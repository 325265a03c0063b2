// The entry selection dialog on Win32: template 102 from the module's
// resources, run by DialogBoxParamA with ListDlgProc.
#include "platform/list_dialog.h"

#include <windows.h>

namespace {

// One selection runs at a time (the caller guards against re-entry), so the
// dialog's state is static.
struct ListDialogState {
    const PlatListDialogCalls* calls;
    bool started;                    // WM_INITDIALOG was reached
    bool in_layout;                  // the next WM_SIZE only clears it
    int border;                      // frame width in pixels
    int caption;                     // title bar and upper frame in pixels
    int client_width, client_height; // the size the controls were last laid out for
    HFONT list_font;                 // made by plat_list_set_font, released when the dialog is gone
};
ListDialogState state;

HWND item(PlatWindow dialog, int id) {
    return GetDlgItem(static_cast<HWND>(dialog), id);
}

// Moves control `id` by dx, dy and grows it by dw, dh; positions are taken
// relative to the client area from the dialog's window rectangle.
void shift_control(HWND dialog, const RECT& frame, int id, int dx, int dy, int dw, int dh,
                   bool repaint) {
    HWND control = GetDlgItem(dialog, id);
    RECT r;
    if (control == nullptr || !GetWindowRect(control, &r)) return;
    int x = r.left - frame.left - state.border;
    int y = r.top - frame.top - state.caption;
    MoveWindow(control, x + dx, y + dy, r.right - r.left + dw, r.bottom - r.top + dh,
               repaint ? TRUE : FALSE);
}

void remember_client_size(HWND dialog) {
    RECT client;
    if (!GetClientRect(dialog, &client)) return;
    state.client_width = client.right;
    state.client_height = client.bottom;
}

// Lays the controls out for a client area of width x height pixels, moving
// them by the change against the size they were last laid out for. The first
// layout (repaint off) also measures the frame and centres the dialog.
void resize_list_dialog(HWND dialog, int width, int height, bool repaint) {
    RECT frame;
    if (!GetWindowRect(dialog, &frame)) return;
    if (!repaint) {
        remember_client_size(dialog);
        state.border = (frame.right - frame.left - state.client_width) / 2;
        state.caption = frame.bottom - frame.top - state.client_height - state.border;
    }
    if (width == 0) width = state.client_width;
    if (height == 0) height = state.client_height;
    int dx = width - state.client_width;
    int dy = height - state.client_height;
    shift_control(dialog, frame, LIST_ID_LIST, 0, 0, dx, dy, repaint);
    shift_control(dialog, frame, LIST_ID_STATUS, 0, dy, 0, 0, repaint);
    shift_control(dialog, frame, LIST_ID_OK, 0, dy, 0, 0, repaint);
    shift_control(dialog, frame, LIST_ID_CANCEL, dx, dy, 0, 0, repaint);
    if (!repaint && state.calls->services->center != nullptr)
        state.calls->services->center(dialog, width + 2 * state.border,
                                      height + state.border + state.caption);
    remember_client_size(dialog);
}

// OK and a double-click: take the selected entry and end with 1.
void take_selected(HWND dialog) {
    LRESULT index = SendDlgItemMessageA(dialog, LIST_ID_LIST, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) return; // nothing selected: nothing to take, the dialog stays
    state.calls->take(state.calls->context, dialog, static_cast<int>(index));
    state.calls->services->unregister_3d(dialog);
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK ListDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    const PlatListDialogCalls* calls = state.calls;
    switch (message) {
    case WM_INITDIALOG:
        state.started = true;
        state.in_layout = true; // the first WM_SIZE after the layout moves nothing
        return calls->init(calls->context, dialog) ? TRUE : FALSE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK:
            take_selected(dialog);
            return TRUE;
        case IDCANCEL:
            calls->services->unregister_3d(dialog);
            EndDialog(dialog, 0);
            return TRUE;
        case LIST_ID_LIST:
            if (HIWORD(wparam) == LBN_DBLCLK &&
                reinterpret_cast<HWND>(lparam) == GetDlgItem(dialog, LIST_ID_LIST))
                take_selected(dialog);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_SIZE:
        if (!state.started) return FALSE; // sent while the dialog is being created
        if (!state.in_layout) {
            state.in_layout = true;
            resize_list_dialog(dialog, LOWORD(lparam), HIWORD(lparam), true);
            // The dialog erases the area it gained after this message, over the
            // controls that moved into it: have them drawn again after that.
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
        state.in_layout = false;
        return FALSE;
    case WM_GETMINMAXINFO: {
        MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMinTrackSize.x = LIST_MIN_TRACK_WIDTH;
        info->ptMinTrackSize.y = LIST_MIN_TRACK_HEIGHT;
        return FALSE;
    }
    case WM_SETTEXT:
    case WM_NCPAINT:
    case WM_NCACTIVATE:
        if (calls == nullptr || *calls->services->ctl3d_available == 0) return FALSE;
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT,
                          calls->services->frame_paint_3d(dialog, message, wparam, lparam));
        return TRUE;
    case WM_SYSCOLORCHANGE:
        if (calls != nullptr && *calls->services->ctl3d_available != 0)
            calls->services->color_change_3d();
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

bool plat_list_dialog_run(PlatInstance instance, const PlatListDialogCalls* calls, int* result) {
    state = ListDialogState{};
    state.calls = calls;
    INT_PTR ended =
        DialogBoxParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(LIST_DIALOG_TEMPLATE),
                        nullptr, ListDlgProc, reinterpret_cast<LPARAM>(calls));
    if (state.list_font != nullptr)
        DeleteObject(state.list_font); // the list is gone with the dialog
    bool started = state.started;
    state = ListDialogState{};
    if (ended == -1 && !started) return false;
    *result = static_cast<int>(ended);
    return true;
}

void plat_list_end(PlatWindow dialog, int result) {
    EndDialog(static_cast<HWND>(dialog), result);
}

void plat_list_add(PlatWindow dialog, const char* row) {
    SendMessageA(item(dialog, LIST_ID_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
}

int plat_list_count(PlatWindow dialog) {
    LRESULT n = SendMessageA(item(dialog, LIST_ID_LIST), LB_GETCOUNT, 0, 0);
    return n == LB_ERR ? 0 : static_cast<int>(n);
}

int plat_list_text(PlatWindow dialog, int index, char* buffer, int size) {
    if (size < 1) return -1;
    buffer[0] = '\0';
    HWND list = item(dialog, LIST_ID_LIST);
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR || length >= size) return -1;
    LRESULT got = SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index),
                               reinterpret_cast<LPARAM>(buffer));
    if (got == LB_ERR) {
        buffer[0] = '\0';
        return -1;
    }
    buffer[got] = '\0';
    return static_cast<int>(got);
}

void plat_list_set_item_text(PlatWindow dialog, int id, const char* text) {
    SetDlgItemTextA(static_cast<HWND>(dialog), id, text);
}

int plat_list_set_font(PlatWindow dialog, const PlatListFont* font) {
    HFONT dialog_font =
        reinterpret_cast<HFONT>(SendMessageA(static_cast<HWND>(dialog), WM_GETFONT, 0, 0));
    LOGFONTA description;
    if (dialog_font == nullptr ||
        GetObjectA(dialog_font, sizeof description, &description) != sizeof description)
        return 0;
    description.lfWeight = FW_NORMAL;
    description.lfHeight = font->height;
    description.lfWidth = font->width;
    lstrcpynA(description.lfFaceName, font->face, LF_FACESIZE); // cut to 31 characters
    HFONT made = CreateFontIndirectA(&description);
    if (made == nullptr) return -1;
    SendMessageA(item(dialog, LIST_ID_LIST), WM_SETFONT, reinterpret_cast<WPARAM>(made), FALSE);
    if (state.list_font != nullptr) DeleteObject(state.list_font);
    state.list_font = made;
    return 1;
}

void plat_list_first_layout(PlatWindow dialog, int width, int height) {
    resize_list_dialog(static_cast<HWND>(dialog), width, height, false);
}

void plat_list_ready(PlatWindow dialog) {
    HWND list = item(dialog, LIST_ID_LIST);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, LIST_HORIZONTAL_EXTENT, 0);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    SetFocus(list);
}
