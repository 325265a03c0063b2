#!/bin/sh
# CTest fixture: the native reference server, halted right after it came up.
# The system still completes connections into its listening queue, but the
# server answers nothing: a server that has stopped answering.
#   halted-fixture.sh start STATE_DIR DORVD
#   halted-fixture.sh stop STATE_DIR
here=$(dirname "$0")
case "$1" in
start)
  sh "$here/../dorvd-fixture.sh" start "$2" "$3" || exit 1
  [ -f "$2/pid" ] && kill -STOP "$(cat "$2/pid")"
  exit 0
  ;;
stop)
  [ -f "$2/pid" ] && kill -CONT "$(cat "$2/pid")" 2>/dev/null
  exec sh "$here/../dorvd-fixture.sh" stop "$2"
  ;;
esac
echo "usage: halted-fixture.sh start|stop STATE_DIR [DORVD]" >&2
exit 2
