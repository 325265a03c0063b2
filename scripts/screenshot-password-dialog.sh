#!/bin/sh
# Screenshot of the password dialog as Wine draws it: dorv32.dll under wine64
# on a private Xvfb display connects from a configuration section whose
# database password is "*", so the library asks for it. The dialog is
# captured with a password typed in, then answered with OK.
#
#   scripts/screenshot-password-dialog.sh [output file]
#       (default docs/screenshots/password-dialog.png)
#
# Needs the mingw-x86_64 and native builds (built here when missing), wine64,
# Xvfb and ImageMagick's import (installed with apt-get when missing).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/dorvd.sh"
out=${1:-$root/docs/screenshots/password-dialog.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
say() { echo "screenshot-password-dialog: $*"; }

screenshot_prerequisites "$root"

# The demo program: a configured connect to the secret database. When the
# dialog is up it types a password, writes the dialog's screen rectangle to
# "ready" in its folder and waits for "shot" before pressing OK.
work=$win_build/screenshots-password
mkdir -p "$work"
cat >"$work/password_dialog_demo.cpp" <<'EOF'
#include <windows.h>
#include <stdio.h>
#include "dorv32.h"

static HHOOK hook;
static HWND dialog;
static int stage;
static char folder[MAX_PATH];

static void path_of(const char* name, char* path) { snprintf(path, MAX_PATH, "%s\\%s", folder, name); }

static void CALLBACK step(HWND, UINT, UINT_PTR, DWORD) {
    char path[MAX_PATH];
    if (stage == 0) {
        HWND field = GetDlgItem(dialog, 1003);
        for (const char* c = "geheim"; *c != '\0'; ++c) SendMessageA(field, WM_CHAR, (unsigned char)*c, 0);
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
    fprintf(f, "[Global]\nTransport=WINSOCK\nServer=127.0.0.1\nService=%s\n[secret]\nDatabase=secret\nPassword=*\n",
            argv[1]);
    fclose(f);
    hook = SetWindowsHookExA(WH_CBT, cbt, nullptr, GetCurrentThreadId());
    int h = hl_connect_ini(config, "secret", 0, 1);
    printf("handle %d\n", h);
    if (h < 0) return 4;
    hl_disconnect(h);
    return 0;
}
EOF
build_demo "$work" password_dialog_demo

# ---------------------------------------------------------------- run
start_screenshot_run $((150 + $$ % 100)) "$work"

rm -f "$work/ready" "$work/shot"
# A prefix of its own, so that the dialog is not put on another display.
DISPLAY=$display WINEPREFIX=$work/wineprefix64 "$root/tests/wine-run.sh" "$work/password_dialog_demo.exe" "$port" \
  'Z:'"$(echo "$work" | tr / '\\')" >"$work/demo.log" 2>&1 &
demo=$!
pids="$pids $demo"

for _ in $(seq 1 1800); do # the first run also creates the wine prefix
  [ -s "$work/ready" ] && break
  kill -0 "$demo" 2>/dev/null || { say "the demo ended early: $(cat "$work/demo.log")"; exit 1; }
  sleep 0.1
done
[ -s "$work/ready" ] || { say "timed out waiting for the dialog"; exit 1; }
sleep 0.5
# The dialog with a margin of 16 pixels of the screen around it.
geometry=$(tr -d '\r' <"$work/ready" | awk -Fx '{ split($2, p, "+"); printf "%dx%d+%d+%d", $1 + 32, p[1] + 32, p[2] - 16, p[3] - 16 }')
/usr/bin/import -display "$display" -window root -crop "$geometry" +repage "$out"
touch "$work/shot"
wait "$demo" || { say "the demo failed: $(cat "$work/demo.log")"; exit 1; }
say "$(tr -d '\r' <"$work/demo.log" | grep '^handle' || true)"
say "wrote $out"
rm -rf "$data"
