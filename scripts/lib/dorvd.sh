# Shell helpers shared by the scripts (source this file). It sets no shell
# options: its callers choose (test runners count failures and go on). Each
# helper that can fail returns 1 and says why, for `|| exit 1` or set -e.

# start_dorvd DORVD DATA_DIR LOG [dorvd options...]: starts the reference server
# on a free port; sets dorvd_pid and port, or says why it did not start and
# returns 1.
start_dorvd() {
  local program=$1 data=$2 log=$3
  shift 3
  # The log exists before the server starts, so the loop never reads a
  # file that the background job has not opened yet.
  : >"$log" || return 1
  "$program" --port 0 --data "$data" "$@" >>"$log" 2>&1 &
  dorvd_pid=$!
  port=""
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^dorvd: listening on .*:\([0-9]*\)$/\1/p' "$log" 2>/dev/null)
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  echo "dorvd did not start:"
  cat "$log"
  return 1
}

# start_display NUMBER: an Xvfb display of 800x600 for screenshots; sets
# display and xvfb_pid.
start_display() {
  display=:$1
  Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
}

# screenshot_prerequisites ROOT: Xvfb and ImageMagick installed, dorv32.dll
# (Win64) and dorvd (native) built; sets win_build, native_build and dorvd.
screenshot_prerequisites() {
  local root=$1 need_apt=""
  win_build=$root/build/mingw-x86_64
  native_build=$root/build/native
  dorvd=${DORVD:-$native_build/server/dorvd}
  command -v Xvfb >/dev/null 2>&1 || need_apt="$need_apt xvfb"
  [ -x /usr/bin/import ] || need_apt="$need_apt imagemagick"
  if [ -n "$need_apt" ]; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "installing$need_apt"
    $sudo apt-get update >/dev/null 2>&1 || true # an out-of-step i386 index must not stop us
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $need_apt >/dev/null ||
      { echo "could not install$need_apt"; return 1; }
  fi
  [ -f "$win_build/CMakeCache.txt" ] || (cd "$root" && cmake --preset mingw-x86_64 >/dev/null) || return 1
  cmake --build "$win_build" -j2 --target dorv32 >/dev/null || return 1
  if [ ! -x "$dorvd" ]; then
    [ -f "$native_build/CMakeCache.txt" ] || (cd "$root" && cmake --preset native >/dev/null) || return 1
    cmake --build "$native_build" -j2 --target dorvd >/dev/null || return 1
  fi
}

# build_demo WORK NAME: builds the program NAME of tools/screenshots against
# dorv32.dll (Win64) and puts it into WORK with the DLL beside it.
build_demo() {
  cmake --build "$win_build" -j2 --target "$2" >/dev/null || return 1
  cp "$win_build/tools/screenshots/$2.exe" "$win_build/client/dorv32.dll" "$1/" || return 1
}

# start_screenshot_run DISPLAY_NUMBER WORK: a display and dorvd on the sample
# database, both stopped when the script ends; sets display, port and data.
start_screenshot_run() {
  pids=""
  trap 'for p in $pids; do kill "$p" 2>/dev/null || true; done' EXIT INT TERM
  start_display "$1"
  pids="$pids $xvfb_pid"
  data=$(mktemp -d) || exit 1
  start_dorvd "$dorvd" "$data" "$2/dorvd.log" || exit 1
  pids="$pids $dorvd_pid"
}
