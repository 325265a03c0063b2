#!/usr/bin/env bash
# Runs a cross-built Windows test executable under wine (64-bit or 32-bit by
# the executable's PE header), with a private prefix inside the build folder.
set -euo pipefail
exe="${1:-}"
[ -n "$exe" ] || { echo "usage: wine-run.sh program.exe [args]" >&2; exit 2; }
case "$exe" in /*) ;; *) exe="$PWD/$exe"; shift; set -- "$exe" "$@" ;; esac
# PE32+ (64-bit) executables carry optional-header magic 0x20b.
pe_off=$(od -An -t u4 -j 60 -N 4 "$exe" | tr -d ' ')
magic=$(od -An -t x2 -j $((pe_off + 24)) -N 2 "$exe" | tr -d ' ')
if [ "$magic" = "020b" ]; then
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  prefix_name=wineprefix64
else
  wine=/usr/lib/wine/wine
  prefix_name=wineprefix32
  if [ ! -x "$wine" ]; then
    echo "wine-run.sh: 32-bit wine is not installed; cannot run $exe" >&2
    exit 2
  fi
fi
build_dir=${DORV_WINE_PREFIX_DIR:-$(dirname "$exe")}
while [ "$build_dir" != "/" ] && [ ! -f "$build_dir/CMakeCache.txt" ]; do build_dir=$(dirname "$build_dir"); done
[ "$build_dir" = "/" ] && build_dir=$(dirname "$exe")
export WINEPREFIX="${WINEPREFIX:-$build_dir/$prefix_name}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "$magic" != "020b" ]; then export WINEARCH=win32; fi
# Unmanaged windows: without a window manager under Xvfb, Wine otherwise waits
# two seconds for every window that closes.
if [ ! -f "$WINEPREFIX/.dorv-configured" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 &&
    touch "$WINEPREFIX/.dorv-configured"
fi
# Windows always has the raster font Courier (the entry dialog's default);
# Debian's Wine ships it but does not search the folder it is in.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -d "$fonts" ] && [ ! -f "$fonts/coure.fon" ]; then
  for font in /usr/share/wine/fonts/cour*.fon /usr/share/wine/fonts/courier.ttf; do
    if [ -f "$font" ]; then cp "$font" "$fonts/" || true; fi
  done
fi
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a "$wine" "$@"
fi
exec "$wine" "$@"
