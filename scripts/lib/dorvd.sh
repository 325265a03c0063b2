# Shell helpers shared by the scripts (source this file).

# start_dorvd DORVD DATA_DIR LOG [dorvd options...]: starts the reference server
# on a free port; sets dorvd_pid and port, or says why it did not start and
# returns 1.
start_dorvd() {
  local program=$1 data=$2 log=$3
  shift 3
  "$program" --port 0 --data "$data" "$@" >"$log" 2>&1 &
  dorvd_pid=$!
  port=""
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^dorvd: listening on .*:\([0-9]*\)$/\1/p' "$log")
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
