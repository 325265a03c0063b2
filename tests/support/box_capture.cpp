#include "support/box_capture.h"

#include "platform/platform.h"

namespace {
#ifdef _WIN32
// The hook is per thread on Windows, so each thread has its own capture.
thread_local BoxCapture* active = nullptr;
#else
BoxCapture* active = nullptr;
#endif
} // namespace

std::vector<std::string> BoxCapture::summary() const {
    std::vector<std::string> out;
    for (const auto& b : boxes)
        out.push_back(b.caption + "|" + b.text);
    return out;
}

#ifndef _WIN32

namespace {
int hook(const char* text, const char* caption, unsigned style, void*) {
    CapturedBox box{caption != nullptr ? caption : "", text != nullptr ? text : "", style};
    active->boxes.push_back(box);
    if (active->on_box) active->on_box(box);
    return active->answer;
}
} // namespace

BoxCapture::BoxCapture() : previous_(active) {
    active = this;
    plat_set_message_box_hook(hook, nullptr);
}

BoxCapture::~BoxCapture() {
    active = previous_;
    plat_set_message_box_hook(active != nullptr ? hook : nullptr, nullptr);
}

#else

#include <windows.h>

namespace {

thread_local HHOOK cbt_hook = nullptr;

std::string window_text(HWND w) {
    char text[2048];
    int n = GetWindowTextA(w, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string class_name(HWND w) {
    char name[64];
    int n = GetClassNameA(w, name, sizeof name);
    return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

struct BoxReading {
    std::string text;
    unsigned icon = 0;
    bool ok = false, cancel = false;
};

BOOL CALLBACK read_child(HWND child, LPARAM param) {
    BoxReading* r = reinterpret_cast<BoxReading*>(param);
    std::string cls = class_name(child);
    if (lstrcmpiA(cls.c_str(), "Static") == 0) {
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
            if (icon == LoadIcon(nullptr, IDI_EXCLAMATION))
                r->icon = MB_ICONEXCLAMATION;
            else if (icon == LoadIcon(nullptr, IDI_HAND))
                r->icon = MB_ICONSTOP;
            else if (icon == LoadIcon(nullptr, IDI_ASTERISK))
                r->icon = MB_ICONINFORMATION;
            else if (icon != nullptr)
                r->icon = 0xF0;
        } else {
            // Wine and Windows keep the text in statics with different ids: take every one.
            std::string t = window_text(child);
            if (!t.empty()) r->text += t;
        }
    } else if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        int id = GetDlgCtrlID(child);
        if (id == IDOK) r->ok = true;
        if (id == IDCANCEL) r->cancel = true;
    }
    return TRUE;
}

LRESULT CALLBACK cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && active != nullptr) {
        HWND w = reinterpret_cast<HWND>(wparam);
        // Message boxes are dialogs of class #32770 owned by nobody here.
        if (class_name(w) == "#32770" && (!active->on_dialog || !active->on_dialog(w))) {
            BoxReading r;
            EnumChildWindows(w, read_child, reinterpret_cast<LPARAM>(&r));
            if (GetPropA(w, "dorv_test_seen") == nullptr) {
                SetPropA(w, "dorv_test_seen", reinterpret_cast<HANDLE>(1));
                unsigned buttons = r.cancel && r.ok ? MB_OKCANCEL : MB_OK;
                CapturedBox box{window_text(w), r.text, buttons | r.icon};
                active->boxes.push_back(box);
                if (active->on_box) active->on_box(box);
                PostMessageA(w, WM_COMMAND, MAKEWPARAM(active->answer, BN_CLICKED), 0);
            }
        }
    }
    return CallNextHookEx(cbt_hook, code, wparam, lparam);
}

} // namespace

BoxCapture::BoxCapture() : previous_(active) {
    active = this;
    if (cbt_hook == nullptr)
        cbt_hook = SetWindowsHookExA(WH_CBT, cbt, nullptr, GetCurrentThreadId());
}

BoxCapture::~BoxCapture() {
    active = previous_;
    if (active == nullptr && cbt_hook != nullptr) {
        UnhookWindowsHookEx(cbt_hook);
        cbt_hook = nullptr;
    }
}

#endif

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#endif

namespace {
void set_messages_variable(const char* value) {
#ifdef _WIN32
    SetEnvironmentVariableA("DORV_MESSAGES", value);
#else
    if (value != nullptr)
        setenv("DORV_MESSAGES", value, 1);
    else
        unsetenv("DORV_MESSAGES");
#endif
}
} // namespace

MessagesEnvironment::MessagesEnvironment(const char* value) {
    set_messages_variable(value);
}

MessagesEnvironment::~MessagesEnvironment() {
    set_messages_variable(nullptr);
}
