#include <windows.h>
#include <stdio.h>
#include "dorv32.h"

static HHOOK hook;
static HWND dialog;
static int stage;
static char folder[MAX_PATH];

static void path_of(const char* name, char* path) {
    snprintf(path, MAX_PATH, "%s\\%s", folder, name);
}

static void CALLBACK step(HWND, UINT, UINT_PTR, DWORD) {
    char path[MAX_PATH];
    if (stage == 0) {
        HWND field = GetDlgItem(dialog, 1003);
        for (const char* c = "geheim"; *c != '\0'; ++c)
            SendMessageA(field, WM_CHAR, (unsigned char)*c, 0);
        RECT r;
        GetWindowRect(dialog, &r);
        path_of("ready", path);
        FILE* f = fopen(path, "w");
        if (f) {
            fprintf(f, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
            fclose(f);
        }
        stage = 1;
    } else if (stage == 1) {
        path_of("shot", path);
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return;
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        stage = 2;
    }
}

static LRESULT CALLBACK cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && dialog == nullptr && GetDlgItem((HWND)wparam, 1003) != nullptr) {
        dialog = (HWND)wparam;
        SetTimer(nullptr, 0, 300, step);
    }
    return CallNextHookEx(hook, code, wparam, lparam);
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    snprintf(folder, sizeof folder, "%s", argv[2]);
    char config[MAX_PATH];
    snprintf(config, sizeof config, "%s\\connect.ini", folder);
    FILE* f = fopen(config, "w");
    if (!f) return 3;
    fprintf(f,
            "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=%s\n[secret]\nDatabase="
            "secret\nPassword=*\n",
            argv[1]);
    fclose(f);
    hook = SetWindowsHookExA(WH_CBT, cbt, nullptr, GetCurrentThreadId());
    int h = hl_connect_ini(config, "secret", 0, 1);
    printf("handle %d\n", h);
    if (h < 0) return 4;
    hl_disconnect(h);
    return 0;
}
