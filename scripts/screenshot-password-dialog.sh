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
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/dorvd.sh"
out=${1:-$root/docs/screenshots/password-dialog.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
say() { echo "screenshot-password-dialog: $*"; }

screenshot_prerequisites "$root"

# The demo program (tools/screenshots/password_dialog_demo.cpp) makes a
# configured connect to the secret database. When the dialog is up it types a
# password, writes the dialog's screen rectangle to "ready" in its folder and
# waits for "shot" before pressing OK.
work=$win_build/screenshots-password
mkdir -p "$work"
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
