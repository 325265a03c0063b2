#!/usr/bin/env bash
# Sets up a fresh machine and runs the tests, stage by stage: natively, under
# ASan/UBSan, threads under ThreadSanitizer, the Win64 build under wine64, the Win32 build under 32-bit wine
# where it runs, the commands of the documentation, the PostgreSQL backend,
# lint, the release packages and the fuzzers. Ends with one line:
# "Tests: N passed, N failed". scripts/test-all.sh --help says how to pick stages.
set -u
cd "$(dirname "$0")/.."

all_stages="native native-asan native-tsan native-release mingw-x86_64 mingw-i686 docs postgresql lint packaging fuzz"
describe() {
  case $1 in
    native) echo "build the Linux preset, run its tests (in parallel)" ;;
    native-asan) echo "the same under AddressSanitizer and UBSan" ;;
    native-tsan) echo "threads calling the library at once, under ThreadSanitizer (clang)" ;;
    native-release) echo "build the library, add-in and programs optimised, for the optimiser's warnings" ;;
    mingw-x86_64) echo "build for Win64, run its tests under wine64" ;;
    mingw-i686) echo "build for Win32, run its tests under 32-bit wine (where this machine runs it)" ;;
    docs) echo "run the commands that README.md and docs/ show (needs the native build)" ;;
    postgresql) echo "dorvd in front of a throw-away PostgreSQL: scripts/test-postgresql.sh" ;;
    lint) echo "clang-tidy and the clang-format check: scripts/lint.sh" ;;
    packaging) echo "zips, installers, the example under wine, the Linux install (needs all three builds)" ;;
    fuzz) echo "each libFuzzer target for DORV_FUZZ_SECONDS (default 60): scripts/fuzz.sh" ;;
  esac
}
usage() {
  cat <<TXT
usage: scripts/test-all.sh [--list] [--only STAGE...] [--skip STAGE...]
Runs every stage, in this order, when no stage is named:
TXT
  for s in $all_stages; do printf '  %-15s %s\n' "$s" "$(describe "$s")"; done
  cat <<TXT
--only STAGE...  run just these stages (builds what they need)
--skip STAGE...  run every stage but these
--list           list the stages and stop
Ends with "Tests: N passed, N failed"; exits non-zero when anything failed.
TXT
}

chosen=""
skipped=""
mode=""
while [ $# -gt 0 ]; do
  case $1 in
    -h | --help) usage; exit 0 ;;
    --list) for s in $all_stages; do echo "$s"; done; exit 0 ;;
    --only) mode=only ;;
    --skip) mode=skip ;;
    -*) echo "test-all: unknown option $1" >&2; usage >&2; exit 2 ;;
    *)
      case " $all_stages " in *" $1 "*) ;; *) echo "test-all: no stage '$1' (--list shows them)" >&2; exit 2 ;; esac
      case $mode in
        only) chosen="$chosen $1" ;;
        skip) skipped="$skipped $1" ;;
        *) echo "test-all: name stages after --only or --skip" >&2; exit 2 ;;
      esac
      ;;
  esac
  shift
done
[ -n "$chosen" ] || chosen=$all_stages
stages=""
for s in $all_stages; do
  case " $chosen " in *" $s "*) ;; *) continue ;; esac
  case " $skipped " in *" $s "*) continue ;; esac
  stages="$stages $s"
done

scripts/install-deps.sh || exit 1

# Compiler cache: a second run on the same machine rebuilds only what changed.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD
fi

# One X display (as xvfb-run would make it) for all Windows test programs of
# this run, so that they never race for display numbers.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null 2>&1; then
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null' EXIT
  for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  [ -s "$display_file" ] && export DISPLAY=":$(head -n 1 "$display_file")"
  rm -f "$display_file"
fi

total_passed=0
total_failed=0
status=0
fail() { # COUNT: failures that no count line reported
  total_failed=$((total_failed + $1))
  status=1
}
# add_counts "N passed, N failed" line: adds it to the totals; a missing line
# counts as one failure.
add_counts() {
  local counts p f
  counts=$(echo "$1" | grep -oE "[0-9]+ passed, [0-9]+ failed" | tail -1)
  if [ -z "$counts" ]; then fail 1; return; fi
  read -r p _ f _ <<<"${counts//,/}"
  total_passed=$((total_passed + p))
  total_failed=$((total_failed + f))
  [ "$f" -eq 0 ] || status=1
}

# build PRESET [TARGET...]: configures and builds once per run; non-zero when
# it failed (and it says so).
built=" "
build() {
  local preset=$1 key
  shift
  key="$preset:${*:-all}"
  case "$built" in *" $key "*) return 0 ;; *" $key:FAILED "*) return 1 ;; esac
  echo "=== $preset: build${*:+ ($*)}"
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  if { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2 "${targets[@]}"; } \
    >"build-$preset.log" 2>&1; then
    built="$built$key "
    return 0
  fi
  tail -40 "build-$preset.log"
  echo "=== $preset: BUILD FAILED"
  built="$built$key:FAILED "
  fail 1
  return 1
}

# run_ctest PRESET [ctest options]: its tests, counted by test case (every
# GoogleTest program reports its cases).
run_ctest() {
  local preset=$1 log rc passed failed
  shift
  echo "=== $preset: test"
  log="build/$preset/test-output.log"
  ctest --test-dir "build/$preset" -V --timeout 900 "$@" >"$log" 2>&1
  rc=$?
  grep -E "^[0-9]+% tests passed" "$log" || true
  passed=$(grep -aE "^[^]]*\[  PASSED  \] [0-9]+ test" "$log" | grep -oE "[0-9]+ test" | awk '{s+=$1} END {print s+0}')
  failed=$(grep -aE "^[^]]*\[  FAILED  \] [0-9]+ test" "$log" | grep -oE "[0-9]+ test" | awk '{s+=$1} END {print s+0}')
  echo "=== $preset: $passed passed, $failed failed"
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  if [ $rc -ne 0 ]; then
    grep -aE "\[  FAILED  \]|Failure|error|\*\*\*Failed|Not Run" "$log" | head -40
    status=1
    [ "$failed" -eq 0 ] && total_failed=$((total_failed + 1))
  fi
}

# 32-bit wine must be installed and able to start: a kernel without 32-bit
# support cannot run it.
wine32_runs() {
  if [ ! -x /usr/lib/wine/wine ]; then
    wine32_why="32-bit wine (wine32:i386) is not installed on this machine"
    return 1
  fi
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    wine32_why="32-bit wine is installed but cannot run on this machine ($(/usr/lib/wine/wine --version 2>&1 | head -n 1))"
    return 1
  fi
}

stage() {
  local line
  case $1 in
    native)
      build native && run_ctest native -j "$(nproc)"
      ;;
    native-asan)
      build native-asan && run_ctest native-asan -j "$(nproc)"
      ;;
    native-tsan)
      # Only the threads test is built in this tree.
      build native-tsan thread_tests && run_ctest native-tsan -R '^thread_tests'
      ;;
    native-release)
      build native-release dorv32 dorvxll32 dorv dorvd && echo "=== native-release: built"
      ;;
    mingw-x86_64)
      # Serial: the Windows programs share one display and one wine server.
      build mingw-x86_64 && run_ctest mingw-x86_64
      ;;
    mingw-i686)
      build mingw-i686 || return
      if ! wine32_runs; then
        echo "=== mingw-i686: $wine32_why: the Win32 tests were built but not run"
        return
      fi
      run_ctest mingw-i686
      ;;
    docs)
      build native || return
      echo "=== docs: commands"
      tests/docs/run-doc-commands.sh >build/native/doc-commands.log 2>&1
      grep "FAIL" build/native/doc-commands.log | head -20
      line=$(tail -1 build/native/doc-commands.log)
      echo "=== docs: $line"
      add_counts "$line"
      ;;
    postgresql)
      build native || return
      echo "=== postgresql: cluster, backend tests, load test"
      scripts/test-postgresql.sh build/native >build/native/pg-stage.log 2>&1
      grep -v "^PostgreSQL: " build/native/pg-stage.log | tail -25
      line=$(grep "^PostgreSQL: " build/native/pg-stage.log | tail -1)
      echo "=== postgresql: ${line#PostgreSQL: }"
      add_counts "$line"
      ;;
    lint)
      build native || return
      echo "=== lint"
      line=$(scripts/lint.sh build/native | tee build/lint-stage.log | tail -1)
      grep -v "^Lint: " build/lint-stage.log
      echo "=== lint: ${line#Lint: }"
      add_counts "$line"
      ;;
    packaging)
      # The release as its users get it: zips, installers, import libraries,
      # the example under wine, the Linux installation.
      build native && build mingw-x86_64 && build mingw-i686 || return
      echo "=== packaging: test"
      local log=build/packaging-test-output.log
      tests/packaging/run-packaging-tests.sh >"$log" 2>&1
      grep -E "^(FAIL|SKIPPED):" "$log" || true
      line=$(grep -E "^Packaging: [0-9]+ passed, [0-9]+ failed$" "$log" | tail -1)
      [ -n "$line" ] || tail -20 "$log"
      echo "=== packaging: ${line#Packaging: }"
      add_counts "$line"
      ;;
    fuzz)
      # Each target for DORV_FUZZ_SECONDS (default 60) with ASan and UBSan; a
      # target that runs clean counts as passed, one with a finding as failed.
      echo "=== fuzz: build and run"
      local log=build-fuzz.log clean dirty
      scripts/fuzz.sh "${DORV_FUZZ_SECONDS:-60}" >"$log" 2>&1
      grep -E "^fuzz: |^Fuzz: " "$log"
      clean=$(grep -cE "^fuzz: [a-z_]+: clean" "$log")
      dirty=$(grep -cE "^fuzz: [a-z_]+: [0-9]+ finding" "$log")
      grep -q "^Fuzz: build failed" "$log" && { tail -40 "$log"; dirty=$((dirty + 1)); }
      total_passed=$((total_passed + clean))
      total_failed=$((total_failed + dirty))
      [ "$dirty" -eq 0 ] || status=1
      ;;
  esac
}

started=$(date +%s)
for s in $stages; do
  stage_started=$(date +%s)
  stage "$s"
  echo "=== $s: $(($(date +%s) - stage_started)) s"
done
echo "=== all stages: $(($(date +%s) - started)) s"
echo "Tests: $total_passed passed, $total_failed failed"
exit $status
