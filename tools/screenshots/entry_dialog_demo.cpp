#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "dorv32.h"

static HHOOK hook;
static HWND dialog;
static int stage;
static char folder[MAX_PATH];

static bool exists(const char* name) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
static void touch(const char* name) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    FILE* f = fopen(path, "w");
    if (f) fclose(f);
}

static void CALLBACK step(HWND, UINT, UINT_PTR, DWORD) {
    RECT r;
    switch (stage) {
    case 0:
        touch("ready1");
        stage = 1;
        break; // shown as laid out
    case 1:
        if (!exists("shot1")) break;
        GetWindowRect(dialog, &r); // the user drags it larger, twice
        for (int grow = 1; grow <= 2; ++grow) {
            int w = r.right - r.left + 130 * grow, h = r.bottom - r.top + 70 * grow;
            SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                         (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER);
        }
        stage = 2;
        break;
    case 2:
        touch("ready2");
        stage = 3;
        break;
    case 3:
        if (!exists("shot2")) break;
        SendDlgItemMessageA(dialog, 1001, LB_SETCURSEL, 4, 0);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        stage = 4;
        break;
    }
}

static LRESULT CALLBACK cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && dialog == nullptr) {
        char caption[64];
        GetWindowTextA((HWND)wparam, caption, sizeof caption);
        if (lstrcmpA(caption, "Please select an entry") == 0) {
            dialog = (HWND)wparam;
            SetTimer(nullptr, 0, 300, step);
        }
    }
    return CallNextHookEx(hook, code, wparam, lparam);
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    snprintf(folder, sizeof folder, "%s", argv[2]);
    char transport[] = "WINSOCK";
    int h = hl_connect(transport, "127.0.0.1", argv[1], 0);
    if (h < 0) return 3;
    char open[] = "OPEN DATABASE 'sample'";
    char query[] = "select name, city, country, customer_since from customers";
    if (hl_dorv_exec(h, open) != 0 || hl_dorv_exec(h, query) != 0) return 4;
    hook = SetWindowsHookExA(WH_CBT, cbt, nullptr, GetCurrentThreadId());
    char key[256] = "country";
    int result = hl_dorv_select_entry(h, key, 2, 0);
    printf("result %d, key [%s]\n", result, key);
    hl_disconnect(h);
    return result == 1 ? 0 : 5;
}
