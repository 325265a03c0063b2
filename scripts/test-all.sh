#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: natively, under ASan/UBSan,
# the Win64 build under wine64, and the Win32 build under 32-bit wine where
# it can be installed. Ends with one line: "Tests: N passed, N failed".
set -u
cd "$(dirname "$0")/.."
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

presets="native native-asan native-release mingw-x86_64 mingw-i686"
total_passed=0
total_failed=0
status=0
for preset in $presets; do
  echo "=== $preset: build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2; } >"build-$preset.log" 2>&1; then
    tail -40 "build-$preset.log"
    echo "=== $preset: BUILD FAILED"
    status=1
    total_failed=$((total_failed + 1))
    continue
  fi
  if [ "$preset" = native-release ]; then
    # Built for the optimiser's warnings; its tests are the native ones.
    echo "=== $preset: built"
    continue
  fi
  if [ "$preset" = mingw-i686 ]; then
    if [ ! -x /usr/lib/wine/wine ]; then
      echo "=== $preset: 32-bit wine (wine32:i386) is not installed on this machine: the Win32 tests were built but not run"
      continue
    fi
    # Installed is not enough: a kernel without 32-bit support cannot start it.
    if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "=== $preset: 32-bit wine is installed but cannot run on this machine ($(/usr/lib/wine/wine --version 2>&1 | head -n 1)): the Win32 tests were built but not run"
      continue
    fi
  fi
  echo "=== $preset: test"
  log="build/$preset/test-output.log"
  ctest --test-dir "build/$preset" -V --timeout 900 >"$log" 2>&1
  rc=$?
  grep -E "^[0-9]+% tests passed" "$log" || true
  # Count the test cases of every GoogleTest program in this run.
  passed=$(grep -aE "^[^]]*\[  PASSED  \] [0-9]+ test" "$log" | grep -oE "[0-9]+ test" | awk '{s+=$1} END {print s+0}')
  failed=$(grep -aE "^[^]]*\[  FAILED  \] [0-9]+ test" "$log" | grep -oE "[0-9]+ test" | awk '{s+=$1} END {print s+0}')
  echo "=== $preset: $passed passed, $failed failed"
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  if [ $rc -ne 0 ]; then
    grep -aE "\[  FAILED  \]|Failure|error" "$log" | head -40
    status=1
    [ "$failed" -eq 0 ] && total_failed=$((total_failed + 1))
  fi
  if [ "$preset" = native ]; then
    # The commands shown in README.md and docs/, run against this build.
    echo "=== docs: commands"
    tests/docs/run-doc-commands.sh >build/native/doc-commands.log 2>&1 || status=1
    grep "FAIL" build/native/doc-commands.log | head -20
    doc_counts=$(tail -1 build/native/doc-commands.log)
    echo "=== docs: $doc_counts"
    doc_passed=$(echo "$doc_counts" | sed -n 's/^\([0-9]*\) passed, [0-9]* failed$/\1/p')
    doc_failed=$(echo "$doc_counts" | sed -n 's/^[0-9]* passed, \([0-9]*\) failed$/\1/p')
    total_passed=$((total_passed + ${doc_passed:-0}))
    total_failed=$((total_failed + ${doc_failed:-1}))
    # dorvd in front of PostgreSQL, on a throw-away cluster of this run.
    echo "=== postgresql: cluster and backend tests"
    pg_log=build/native/pg-test-output.log
    . scripts/lib/pg_cluster.sh
    if pg_cluster_start 2>"$pg_log.cluster"; then
      build/native/tests/server/pg_backend_test >"$pg_log" 2>&1
      pg_rc=$?
      # 100 clients at once through the PostgreSQL backend, every result checked.
      echo "=== postgresql: load test, 100 clients"
      if build/native/tests/load/load_test --queries 100 -- --backend postgresql \
        --pg "$DORV_TEST_PG" >"$pg_log.load" 2>&1; then
        grep -E "^(queries/s|wrong results|lost queries) " "$pg_log.load"
        total_passed=$((total_passed + 1))
      else
        grep -vE "^client=" "$pg_log.load" | tail -20
        status=1
        total_failed=$((total_failed + 1))
      fi
      pg_cluster_stop
      pg_passed=$(grep -aE "^\[  PASSED  \] [0-9]+ test" "$pg_log" | grep -oE "[0-9]+" | head -1)
      pg_failed=$(grep -aE "^\[  FAILED  \] [0-9]+ test" "$pg_log" | grep -oE "[0-9]+" | head -1)
      grep -aE "^\[  FAILED  \]" "$pg_log" | head -20
      echo "=== postgresql: ${pg_passed:-0} passed, ${pg_failed:-0} failed"
      total_passed=$((total_passed + ${pg_passed:-0}))
      total_failed=$((total_failed + ${pg_failed:-0}))
      if [ $pg_rc -ne 0 ]; then
        status=1
        [ "${pg_failed:-0}" -eq 0 ] && total_failed=$((total_failed + 1))
      fi
    else
      echo "=== postgresql: $(tail -n 1 "$pg_log.cluster")"
      status=1
      total_failed=$((total_failed + 1))
    fi
  fi
done
# Lint: clang-tidy (checks in .clang-tidy) over the library, server, add-in,
# tools and POSIX platform with the native compile database, and the format
# of every source file (.clang-format). Each counts as one test.
echo "=== lint"
lint_log=build/lint.log
tidy=$(command -v run-clang-tidy-14 || command -v run-clang-tidy || true)
if [ -z "$tidy" ] || [ ! -f build/native/compile_commands.json ]; then
  echo "=== lint: clang-tidy FAILED (no run-clang-tidy, or no native build)"
  tidy_ok=0
elif "$tidy" -p build/native -j 2 -quiet -extra-arg=-Wno-unknown-warning-option \
  "$PWD/(client|server|addin|tools|platform/posix)/" >"$lint_log" 2>&1; then
  tidy_ok=1
else
  grep -aE "(warning|error): " "$lint_log" | sort -u | head -40
  tidy_ok=0
fi
if git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror >>"$lint_log" 2>&1; then
  format_ok=1
else
  grep -aE "^[^ ]+:[0-9]+:[0-9]+: " "$lint_log" | grep -a clang-format-violations | cut -d: -f1 | sort -u
  format_ok=0
fi
echo "=== lint: clang-tidy $([ $tidy_ok -eq 1 ] && echo clean || echo FAILED), clang-format $([ $format_ok -eq 1 ] && echo clean || echo FAILED)"
total_passed=$((total_passed + tidy_ok + format_ok))
total_failed=$((total_failed + 2 - tidy_ok - format_ok))
[ $((tidy_ok + format_ok)) -eq 2 ] || status=1

# The release as its users get it: zips, installers, import libraries, the
# example under wine, the Linux installation. Needs the presets built above.
echo "=== packaging: test"
packaging_log=build/packaging-test-output.log
tests/packaging/run-packaging-tests.sh >"$packaging_log" 2>&1
packaging_rc=$?
grep -E "^(FAIL|SKIPPED):" "$packaging_log" || true
packaging_counts=$(sed -n 's/^Packaging: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$packaging_log")
if [ -n "$packaging_counts" ]; then
  read -r passed failed <<<"$packaging_counts"
  echo "=== packaging: $passed passed, $failed failed"
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
fi
if [ $packaging_rc -ne 0 ]; then
  status=1
  [ -z "$packaging_counts" ] && { tail -20 "$packaging_log"; total_failed=$((total_failed + 1)); }
fi

# Fuzz smoke run: each target for DORV_FUZZ_SECONDS (default 60) with ASan and
# UBSan; a target that runs clean counts as passed, one with a finding as failed.
echo "=== fuzz: build and run"
fuzz_log=build-fuzz.log
scripts/fuzz.sh "${DORV_FUZZ_SECONDS:-60}" >"$fuzz_log" 2>&1
grep -E "^fuzz: |^Fuzz: " "$fuzz_log"
fuzz_clean=$(grep -cE "^fuzz: [a-z_]+: clean" "$fuzz_log")
fuzz_dirty=$(grep -cE "^fuzz: [a-z_]+: [0-9]+ finding" "$fuzz_log")
grep -q "^Fuzz: build failed" "$fuzz_log" && { tail -40 "$fuzz_log"; fuzz_dirty=$((fuzz_dirty + 1)); }
total_passed=$((total_passed + fuzz_clean))
total_failed=$((total_failed + fuzz_dirty))
[ "$fuzz_dirty" -eq 0 ] || status=1

echo "Tests: $total_passed passed, $total_failed failed"
exit $status
