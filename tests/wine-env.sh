# Sourced by wine-run.sh and wine-session.sh: which wine runs a program of
# a bitness, in which prefix, and the prefix's one-time set-up. Sets no shell
# options; each function returns non-zero and says why when it fails.

# wine_bitness EXE: "64" for a PE32+ program, "32" for a PE32 one.
wine_bitness() {
  local pe_off magic
  pe_off=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  magic=$(od -An -t x2 -j $((pe_off + 24)) -N 2 "$1" | tr -d ' ')
  if [ "$magic" = "020b" ]; then echo 64; else echo 32; fi
}

# wine_build_dir PATH: the build folder (the one with CMakeCache.txt) that
# holds PATH, or PATH's own folder.
wine_build_dir() {
  local dir=$1
  [ -d "$dir" ] || dir=$(dirname "$dir")
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ "$dir" = "/" ] && { [ -d "$1" ] && dir=$1 || dir=$(dirname "$1"); }
  echo "$dir"
}

# wine_choose BITNESS BUILD_DIR: sets wine (the loader) and exports
# WINEPREFIX (unless given), WINEARCH, WINEDEBUG and WINEDLLOVERRIDES.
# A 32-bit prefix needs WINEARCH=win32 in every process that may create it,
# the wine server among them: a server started without it makes a 64-bit
# prefix, which 32-bit wine then refuses.
wine_choose() {
  if [ "$1" = 64 ]; then
    wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
    export WINEPREFIX="${WINEPREFIX:-$2/wineprefix64}"
    unset WINEARCH
  else
    wine=/usr/lib/wine/wine
    export WINEPREFIX="${WINEPREFIX:-$2/wineprefix32}"
    export WINEARCH=win32
  fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  if [ ! -x "$wine" ]; then
    echo "wine-env: $1-bit wine is not installed ($wine)" >&2
    return 2
  fi
}

# wine_prefix_ready: creates and configures the chosen prefix once, under a
# lock, so programs started at the same time never create it twice. Needs
# the display the programs will use (DISPLAY): the first wine process starts
# the prefix's session, and later programs join it.
wine_prefix_ready() {
  local fonts font
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock 9
    # A prefix of the other architecture (left by an older run) cannot serve.
    if [ -f "$WINEPREFIX/system.reg" ]; then
      if { [ "${WINEARCH:-}" = win32 ] && grep -q '^#arch=win64' "$WINEPREFIX/system.reg"; } ||
        { [ -z "${WINEARCH:-}" ] && grep -q '^#arch=win32' "$WINEPREFIX/system.reg"; }; then
        echo "wine-env: $WINEPREFIX is of the other architecture; making it anew" >&2
        wineserver -k 2>/dev/null
        rm -rf "$WINEPREFIX"
      fi
    fi
    # Unmanaged windows: without a window manager under Xvfb, Wine otherwise
    # waits two seconds for every window that closes.
    if [ ! -f "$WINEPREFIX/.dorv-configured" ]; then
      mkdir -p "$WINEPREFIX"
      if ! "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>"$WINEPREFIX/.dorv-setup.log"; then
        echo "wine-env: could not set up $WINEPREFIX: $(tail -n 1 "$WINEPREFIX/.dorv-setup.log")" >&2
        exit 1
      fi
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
  ) 9>"$WINEPREFIX.lock"
}
