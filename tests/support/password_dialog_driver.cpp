#include "support/password_dialog_driver.h"

#include "platform/password_dialog.h"

namespace {
#ifdef _WIN32
thread_local PasswordDialogDriver* active = nullptr;
#else
PasswordDialogDriver* active = nullptr;
#endif
} // namespace

PasswordAnswer PasswordDialogDriver::next_answer() {
    if (answers.empty()) {
        PasswordAnswer cancel;
        cancel.ok = false;
        return cancel;
    }
    PasswordAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

#ifndef _WIN32

#include <cstring>

namespace {
int answer_dialog(const PlatPasswordPrompt* prompt, char* input, int size, void*) {
    PasswordDialogView view;
    view.caption = prompt->caption;
    view.name_label = prompt->name_label;
    view.database = prompt->database;
    view.password_label = prompt->password_label;
    view.ok_text = prompt->ok_text;
    view.cancel_text = prompt->cancel_text;
    view.limit = prompt->max_input;
    PasswordDialogDriver* driver = active;
    PasswordAnswer answer = driver->next_answer();
    if (answer.while_open) answer.while_open();
    std::snprintf(input, static_cast<size_t>(size), "%s", answer.typed.c_str());
    driver->seen.push_back(view);
    return answer.ok ? 1 : 0;
}
} // namespace

PasswordDialogDriver::PasswordDialogDriver(BoxCapture& boxes) : boxes_(boxes), previous_(active) {
    active = this;
    plat_set_password_answerer(answer_dialog, nullptr);
}

PasswordDialogDriver::~PasswordDialogDriver() {
    active = previous_;
    plat_set_password_answerer(active != nullptr ? answer_dialog : nullptr, nullptr);
}

#else

#include <windows.h>

namespace {

const char* const driven_mark = "dorv_password_driven";
const UINT_PTR answer_timer = 0xD0D0;

std::string text_of(HWND window) {
    char text[512];
    int n = GetWindowTextA(window, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

bool is_password_dialog(HWND window) {
    return GetDlgItem(window, PLAT_PSWD_FIELD) != nullptr &&
           GetDlgItem(window, PLAT_PSWD_NAME) != nullptr;
}

// Answers from a timer, once the dialog runs its own message loop: what the
// answer does (other calls, message boxes) then happens as it would for a user.
void CALLBACK answer_dialog(HWND dialog, UINT, UINT_PTR id, DWORD) {
    KillTimer(dialog, id);
    PasswordDialogDriver* driver = active;
    if (driver == nullptr) return;
    PasswordDialogView view;
    view.window = dialog;
    view.caption = text_of(dialog);
    view.name_label = text_of(GetDlgItem(dialog, PLAT_PSWD_NAME_LABEL));
    view.database = text_of(GetDlgItem(dialog, PLAT_PSWD_NAME));
    view.password_label = text_of(GetDlgItem(dialog, PLAT_PSWD_FIELD_LABEL));
    view.ok_text = text_of(GetDlgItem(dialog, IDOK));
    view.cancel_text = text_of(GetDlgItem(dialog, IDCANCEL));
    HWND field = GetDlgItem(dialog, PLAT_PSWD_FIELD);
    view.limit = static_cast<int>(SendMessageA(field, EM_GETLIMITTEXT, 0, 0));
    view.focus_on_password = GetFocus() == field;
    RECT r;
    GetWindowRect(dialog, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    view.centred = r.left == (GetSystemMetrics(SM_CXSCREEN) - width) / 2 &&
                   r.top == (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND name = GetDlgItem(dialog, PLAT_PSWD_NAME);
    SendMessageA(name, WM_CHAR, 'x', 0);
    view.name_read_only = text_of(name) == view.database;

    PasswordAnswer answer = driver->next_answer();
    if (driver->with_window) driver->with_window(dialog);
    if (answer.while_open) answer.while_open();
    for (char c : answer.typed)
        SendMessageA(field, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 0);
    view.field_text = text_of(field);
    driver->seen.push_back(view);
    PostMessageA(dialog, WM_COMMAND, answer.ok ? IDOK : IDCANCEL, 0);
}

} // namespace

PasswordDialogDriver::PasswordDialogDriver(BoxCapture& boxes) : boxes_(boxes), previous_(active) {
    active = this;
    boxes_.on_dialog = [](void* window) {
        HWND dialog = static_cast<HWND>(window);
        if (!is_password_dialog(dialog)) return false;
        // Activated again after a box of its own: answered already.
        if (GetPropA(dialog, driven_mark) == nullptr) {
            SetPropA(dialog, driven_mark, reinterpret_cast<HANDLE>(1));
            SetTimer(dialog, answer_timer, 10, answer_dialog);
        }
        return true;
    };
}

PasswordDialogDriver::~PasswordDialogDriver() {
    active = previous_;
    boxes_.on_dialog = nullptr;
}

#endif
