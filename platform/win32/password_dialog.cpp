// The password dialog: template 101 run modally with DialogBoxParamA.
#include "platform/password_dialog.h"

#include <windows.h>

namespace {

const PlatPasswordDialog* dialog_of(HWND window) {
    return reinterpret_cast<const PlatPasswordDialog*>(GetWindowLongPtrA(window, DWLP_USER));
}

void set_text_if_given(HWND window, int id, const char* text) {
    if (text != nullptr) SetDlgItemTextA(window, id, text);
}

INT_PTR CALLBACK password_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        const PlatPasswordDialog* dialog = reinterpret_cast<const PlatPasswordDialog*>(lparam);
        SetWindowLongPtrA(window, DWLP_USER, static_cast<LONG_PTR>(lparam));
        const PlatDialogServices* services = dialog->services;
        services->register_3d(window);
        services->subclass_3d(window, 0xFFFF);
        services->center(window, 0, 0);
        set_text_if_given(window, PLAT_PSWD_NAME_LABEL, dialog->name_label);
        set_text_if_given(window, PLAT_PSWD_FIELD_LABEL, dialog->password_label);
        set_text_if_given(window, IDOK, dialog->ok_text);
        set_text_if_given(window, IDCANCEL, dialog->cancel_text);
        SendDlgItemMessageA(window, PLAT_PSWD_FIELD, EM_LIMITTEXT, PLAT_PSWD_MAX_INPUT, 0);
        SetDlgItemTextA(window, PLAT_PSWD_NAME,
                        dialog->database != nullptr ? dialog->database : "");
        SetFocus(GetDlgItem(window, PLAT_PSWD_FIELD));
        return TRUE;
    }
    const PlatPasswordDialog* dialog = dialog_of(window);
    if (dialog == nullptr) return FALSE; // messages before WM_INITDIALOG
    const PlatDialogServices* services = dialog->services;
    switch (message) {
    case WM_COMMAND:
        if (wparam == IDOK) {
            GetDlgItemTextA(window, PLAT_PSWD_FIELD, dialog->password, dialog->password_size);
            services->unregister_3d(window);
            EndDialog(window, 1);
            return TRUE;
        }
        if (wparam == IDCANCEL) {
            services->unregister_3d(window);
            EndDialog(window, 0);
            return TRUE;
        }
        return FALSE;
    case WM_SETTEXT:
    case WM_NCPAINT:
    case WM_NCACTIVATE:
        if (*services->ctl3d_available != 1) return FALSE;
        SetWindowLongPtrA(
            window, DWLP_MSGRESULT,
            static_cast<LONG_PTR>(services->frame_paint_3d(window, message, wparam, lparam)));
        return TRUE;
    case WM_SYSCOLORCHANGE:
        if (*services->ctl3d_available == 1) services->color_change_3d();
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

int plat_password_dialog(PlatInstance instance, const PlatPasswordDialog* dialog) {
    if (dialog == nullptr || dialog->password == nullptr || dialog->password_size < 1 ||
        dialog->services == nullptr)
        return -1;
    INT_PTR result =
        DialogBoxParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(PLAT_PASSWORD_DIALOG),
                        nullptr, password_dialog_proc, reinterpret_cast<LPARAM>(dialog));
    if (result == -1) return -1;
    return result == 1 ? 1 : 0;
}
