#!/bin/sh
# Screenshots of the entry selection dialog with real rows: dorvd's sample
# database queried by dorv32.dll under wine64 on a private Xvfb display, the
# dialog captured as it opens and again after it has been made larger.
#
#   scripts/screenshot-entry-dialog.sh [output folder]   (default build/screenshots)
#
# Needs the mingw-x86_64 and native builds (built here when missing), wine64,
# Xvfb and ImageMagick's import (installed with apt-get when missing).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/dorvd.sh"
out=${1:-$root/build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)
say() { echo "screenshot-entry-dialog: $*"; }

screenshot_prerequisites "$root"

# The demo program (tools/screenshots/entry_dialog_demo.cpp) selects a
# customer's country code from the sample database. While the dialog is up it
# reports each state through a file in its folder and waits for the matching
# "shot" file before going on.
work=$win_build/screenshots
mkdir -p "$work"
build_demo "$work" entry_dialog_demo

# ---------------------------------------------------------------- run
start_screenshot_run $((50 + $$ % 100)) "$work"

rm -f "$work/ready1" "$work/ready2" "$work/shot1" "$work/shot2"
# A prefix of its own: a wineserver shared with tests running on another
# display would put the dialog there.
DISPLAY=$display WINEPREFIX=$work/wineprefix64 "$root/tests/wine-run.sh" "$work/entry_dialog_demo.exe" "$port" 'Z:'"$(echo "$work" | tr / '\\')" \
  >"$work/demo.log" 2>&1 &
demo=$!
pids="$pids $demo"

wait_for() {
  for _ in $(seq 1 1800); do # the first run also creates the wine prefix
    [ -f "$1" ] && return 0
    kill -0 "$demo" 2>/dev/null || { say "the demo ended early: $(cat "$work/demo.log")"; exit 1; }
    sleep 0.1
  done
  say "timed out waiting for $1"
  exit 1
}

wait_for "$work/ready1"
sleep 0.5
/usr/bin/import -display "$display" -window root "$out/entry-dialog.png"
touch "$work/shot1"
wait_for "$work/ready2"
sleep 0.5
/usr/bin/import -display "$display" -window root "$out/entry-dialog-resized.png"
touch "$work/shot2"
wait "$demo" || { say "the demo failed: $(cat "$work/demo.log")"; exit 1; }
say "$(tr -d '\r' <"$work/demo.log" | grep '^result' || true)"
say "wrote $out/entry-dialog.png and $out/entry-dialog-resized.png"
rm -rf "$data"
