#!/usr/bin/env bash
# CTest fixture for Windows test programs under wine: starts the native
# reference server on a fresh data folder and a free port, or stops it again.
#   dorvd-fixture.sh start STATE_DIR DORVD [dorvd options...]
#   dorvd-fixture.sh stop STATE_DIR
# The port goes to STATE_DIR/port ("none" when there is no server program, so
# the tests that need it can say they were skipped and why).
set -euo pipefail
action=${1:-}
state=${2:-}
case "$action" in
start)
  dorvd=${3:-}
  shift 3
  rm -rf "$state"
  mkdir -p "$state/data"
  if [ ! -x "$dorvd" ]; then
    echo none >"$state/port"
    echo "dorvd-fixture: no server program at $dorvd (build the native preset first)"
    exit 0
  fi
  # The log exists before the server starts: the background job opens its
  # own redirection only when it is scheduled, and the loop below reads it.
  : >"$state/log"
  "$dorvd" --port 0 --data "$state/data" "$@" >>"$state/log" 2>&1 &
  echo $! >"$state/pid"
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^dorvd: listening on .*:\([0-9]*\)$/\1/p' "$state/log" 2>/dev/null || true)
    if [ -n "$port" ]; then
      echo "$port" >"$state/port"
      echo "dorvd-fixture: dorvd listening on 127.0.0.1:$port"
      exit 0
    fi
    sleep 0.1
  done
  echo "dorvd-fixture: dorvd did not start"; cat "$state/log"; exit 1
  ;;
stop)
  # Already gone is as good as stopped.
  if [ -f "$state/pid" ]; then kill "$(cat "$state/pid")" 2>/dev/null || true; fi
  exit 0
  ;;
esac
echo "usage: dorvd-fixture.sh start|stop STATE_DIR ..." >&2
exit 2
