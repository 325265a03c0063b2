#!/usr/bin/env bash
# CTest fixture around the Windows test programs of one build: one X display
# for all of them (unless the caller has one), and the build's prefix set up
# on it before the first program starts; stopped again afterwards.
#   wine-session.sh start BUILD_DIR 32|64
#   wine-session.sh stop BUILD_DIR 32|64
# Programs started by wine-run.sh find the display in BUILD_DIR/wine-session.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=${1:-}
build_dir=${2:-}
bitness=${3:-}
[ -n "$build_dir" ] && { [ "$bitness" = 32 ] || [ "$bitness" = 64 ]; } || {
  echo "usage: wine-session.sh start|stop BUILD_DIR 32|64" >&2
  exit 2
}
build_dir=$(cd "$build_dir" 2>/dev/null && pwd) || { echo "wine-session: no folder ${2:-}" >&2; exit 2; }
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
session=$build_dir/wine-session
case "$action" in
start)
  if [ "$bitness" = 32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "wine-session: 32-bit wine does not run on this machine: $(/usr/lib/wine/wine --version 2>&1 | head -n 1)"
    exit 1
  fi
  mkdir -p "$session"
  if [ -z "${DISPLAY:-}" ]; then
    if ! kill -0 "$(cat "$session/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
      rm -f "$session/display" "$session/xvfb.pid"
      command -v Xvfb >/dev/null 2>&1 || { echo "wine-session: no DISPLAY and no Xvfb (install xvfb)"; exit 1; }
      # Detached from CTest's pipes, so that CTest does not wait for it.
      setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$session/display.new" \
        </dev/null >/dev/null 2>&1 &
      echo $! >"$session/xvfb.pid"
      for _ in $(seq 1 100); do [ -s "$session/display.new" ] && break; sleep 0.1; done
      [ -s "$session/display.new" ] || { echo "wine-session: Xvfb did not start"; exit 1; }
      echo ":$(head -n 1 "$session/display.new")" >"$session/display"
      rm -f "$session/display.new"
    fi
    export DISPLAY
    DISPLAY=$(cat "$session/display")
  fi
  wine_choose "$bitness" "$build_dir" || exit 1
  wine_prefix_ready || exit 1
  echo "wine-session: $WINEPREFIX ready on display $DISPLAY"
  ;;
stop)
  wine_choose "$bitness" "$build_dir" >/dev/null 2>&1
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  if [ -f "$session/xvfb.pid" ]; then
    kill "$(cat "$session/xvfb.pid")" 2>/dev/null
    rm -f "$session/xvfb.pid" "$session/display"
  fi
  exit 0
  ;;
*)
  echo "usage: wine-session.sh start|stop BUILD_DIR 32|64" >&2
  exit 2
  ;;
esac
