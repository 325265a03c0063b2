#!/usr/bin/env bash
# Runs the shell commands that README.md and docs/*.md show as runnable, and
# compares what they print with what the text says.
#
# Runnable commands live in fenced blocks whose info string is "console":
#   - a line starting with "$ " is a command (a trailing "\" continues it on
#     the next line);
#   - the lines after it, up to the next command or the end of the block, are
#     its expected output (standard output and standard error together;
#     trailing blanks are not compared). A command without such lines is
#     checked for its exit status only;
#   - a line that is just "..." stands for any number of lines, and "..."
#     inside a line for any text;
#   - a command must exit with 0, unless it ends with the comment "# fails",
#     when it must exit with something else.
# Every command runs with bash from the repository root against the native
# build (build/native), with the reference server dorvd on a fresh data
# folder. The texts use port 2000; the server gets a free port instead, and
# "2000" in the commands and in the example connection files is rewritten to
# it (the commands run in a mirror of the repository whose examples/ holds the
# rewritten files, so file names in messages stay as written).
# Ends with "N passed, N failed"; exits non-zero when a command failed.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
dorvd="$root/build/native/server/dorvd"
dorv="$root/build/native/tools/dorv/dorv"
if [ ! -x "$dorvd" ] || [ ! -x "$dorv" ]; then
  echo "run-doc-commands: build the native preset first (needs $dorvd and $dorv)"
  echo "0 passed, 1 failed"
  exit 1
fi

work=$(mktemp -d /tmp/dorv-doc-commands.XXXXXX)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server on a fresh data folder and a free port.
"$dorvd" --port 0 --data "$work/dorvd-data" >"$work/dorvd.log" 2>&1 &
server=$!
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^dorvd: listening on .*:\([0-9]*\)$/\1/p' "$work/dorvd.log")
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "run-doc-commands: dorvd did not start:"
  cat "$work/dorvd.log"
  echo "0 passed, 1 failed"
  exit 1
fi

# The mirror of the repository the commands run in.
mirror="$work/root"
mkdir "$mirror"
for entry in "$root"/* "$root"/.[!.]*; do
  [ -e "$entry" ] || continue
  name=$(basename "$entry")
  [ "$name" = examples ] || [ "$name" = .git ] && continue
  ln -s "$entry" "$mirror/$name"
done
cp -r "$root/examples" "$mirror/examples"
for ini in "$mirror"/examples/*.ini; do
  sed -i "s/^\(Service[ \t]*=[ \t]*\)2000[ \t]*$/\1$port/" "$ini"
done

rewrite_port() {
  sed -E "s/(^|[^0-9])2000([^0-9]|\$)/\1$port\2/g"
}

# A pattern for bash's [[ == ]]: glob characters escaped, "..." as "*".
line_pattern() {
  printf '%s' "$1" | sed -e 's/[][*?\\]/\\&/g' -e 's/\.\.\./*/g'
}

# Compares actual output (file) with expected lines (file); true when they match.
matches() {
  local actual_file=$1 expected_file=$2
  local -a actual expected
  mapfile -t actual < <(sed 's/[ \t]*$//' "$actual_file")
  mapfile -t expected < <(sed 's/[ \t]*$//' "$expected_file")
  match_from 0 0
}

# match_from I J: do expected[I..] match actual[J..]? (recursive for "...")
match_from() {
  local i=$1 j=$2
  while [ "$i" -lt "${#expected[@]}" ]; do
    if [ "${expected[$i]}" = "..." ]; then
      local k
      for ((k = j; k <= ${#actual[@]}; k++)); do
        match_from $((i + 1)) "$k" && return 0
      done
      return 1
    fi
    [ "$j" -lt "${#actual[@]}" ] || return 1
    local pattern
    pattern=$(line_pattern "${expected[$i]}")
    # shellcheck disable=SC2053 # the right side is a pattern on purpose
    [[ ${actual[$j]} == $pattern ]] || return 1
    i=$((i + 1))
    j=$((j + 1))
  done
  [ "$j" -eq "${#actual[@]}" ]
}

passed=0
failed=0
run_one() {
  local where=$1 command=$2 expected_file=$3
  local want_failure=0 actual_file="$work/actual" rc
  case "$command" in *"# fails") want_failure=1 ;; esac
  local run_command
  run_command=$(printf '%s' "$command" | rewrite_port)
  (cd "$mirror" && env -u DORV_INI_DIR -u DORV_MESSAGES -u DORV_DIALOGS \
    timeout 60 bash -c "$run_command" </dev/null >"$actual_file" 2>&1)
  rc=$?
  local ok=1 why=""
  if [ "$want_failure" -eq 1 ] && [ "$rc" -eq 0 ]; then
    ok=0 why="exit status 0, the text says it fails"
  elif [ "$want_failure" -eq 0 ] && [ "$rc" -ne 0 ]; then
    ok=0 why="exit status $rc"
  fi
  if [ "$ok" -eq 1 ] && [ -s "$expected_file" ] && ! matches "$actual_file" "$expected_file"; then
    ok=0 why="output differs"
  fi
  if [ "$ok" -eq 1 ]; then
    passed=$((passed + 1))
    echo "ok    $where  ${command%%$'\n'*}"
  else
    failed=$((failed + 1))
    echo "FAIL  $where  ${command%%$'\n'*}  ($why)"
    echo "      expected:"
    sed 's/^/        | /' "$expected_file"
    echo "      got:"
    sed 's/^/        | /' "$actual_file"
  fi
}

# Walks one Markdown file and runs its console blocks.
run_file() {
  local file=$1 rel=${1#"$root"/}
  local in_block=0 command="" command_line=0 continuing=0 number=0 line
  local expected_file="$work/expected"
  : >"$expected_file"
  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    if [ "$in_block" -eq 0 ]; then
      [ "$line" = '```console' ] && in_block=1
      continue
    fi
    if [ "$continuing" -eq 1 ]; then
      command="$command"$'\n'"$line"
      case "$line" in *\\) ;; *) continuing=0 ;; esac
      continue
    fi
    if [ "$line" = '```' ] || [ "${line#\$ }" != "$line" ]; then
      [ -n "$command" ] && run_one "$rel:$command_line" "$command" "$expected_file"
      command=""
      : >"$expected_file"
      if [ "$line" = '```' ]; then
        in_block=0
        continue
      fi
      command=${line#\$ }
      command_line=$number
      case "$command" in *\\) continuing=1 ;; esac
      continue
    fi
    [ -n "$command" ] && printf '%s\n' "$line" >>"$expected_file"
  done <"$file"
}

for file in "$root/README.md" "$root"/docs/*.md; do
  [ -f "$file" ] && run_file "$file"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
