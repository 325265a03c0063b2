#!/usr/bin/env bash
# CTest fixture: the native reference server, halted right after it came up.
# The system still completes connections into its listening queue, but the
# server answers nothing: a server that has stopped answering.
#   halted-fixture.sh start STATE_DIR DORVD
#   halted-fixture.sh stop STATE_DIR
set -euo pipefail
here=$(dirname "$0")
case "${1:-}" in
start)
  "$here/../dorvd-fixture.sh" start "$2" "$3"
  if [ -f "$2/pid" ]; then kill -STOP "$(cat "$2/pid")"; fi
  exit 0
  ;;
stop)
  if [ -f "$2/pid" ]; then kill -CONT "$(cat "$2/pid")" 2>/dev/null || true; fi
  exec "$here/../dorvd-fixture.sh" stop "$2"
  ;;
esac
echo "usage: halted-fixture.sh start|stop STATE_DIR [DORVD]" >&2
exit 2
