#!/usr/bin/env bash
# Runs a cross-built Windows test executable under wine (64-bit or 32-bit by
# the executable's PE header), with a private prefix inside the build folder.
# The prefix and the program run on one X display: the one given (DISPLAY),
# else the one of the build's wine session (wine-session.sh, which CTest
# starts around the Windows tests), else a display of their own (xvfb-run).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe="${1:-}"
[ -n "$exe" ] || { echo "usage: wine-run.sh program.exe [args]" >&2; exit 2; }
case "$exe" in /*) ;; *) exe="$PWD/$exe"; shift; set -- "$exe" "$@" ;; esac
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
bitness=$(wine_bitness "$exe")
if [ "$bitness" = 32 ] && [ ! -x /usr/lib/wine/wine ]; then
  echo "wine-run.sh: 32-bit wine is not installed; cannot run $exe" >&2
  exit 2
fi
build_dir=$(wine_build_dir "${DORV_WINE_PREFIX_DIR:-$exe}")
if [ -z "${DISPLAY:-}" ]; then
  session=$build_dir/wine-session
  if [ -f "$session/display" ] && kill -0 "$(cat "$session/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
    export DISPLAY
    DISPLAY=$(cat "$session/display")
  elif command -v xvfb-run >/dev/null 2>&1; then
    # Everything, the prefix's set-up included, on the one new display.
    exec xvfb-run -a "$0" "$@"
  fi
fi
wine_choose "$bitness" "$build_dir" || exit 2
wine_prefix_ready || exit 1
exec "$wine" "$@"
