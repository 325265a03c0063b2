#!/usr/bin/env bash
# The lint checks, each one test: clang-tidy (checks in .clang-tidy) over the
# library, server, add-in, tools and POSIX platform with the native compile
# database, and the format of every tracked source file (.clang-format).
#   scripts/lint.sh [BUILD_DIR]      (default build/native, configured)
# The full output goes to build/lint.log. Ends with "Lint: N passed, N failed".
set -u
cd "$(dirname "$0")/.."
build=${1:-build/native}
mkdir -p build
log=build/lint.log
: >"$log"
tidy=$(command -v run-clang-tidy-14 || command -v run-clang-tidy || true)
if [ -z "$tidy" ] || [ ! -f "$build/compile_commands.json" ]; then
  echo "lint: clang-tidy cannot run (no run-clang-tidy, or no $build/compile_commands.json)"
  tidy_ok=0
elif "$tidy" -p "$build" -j "$(nproc)" -quiet -extra-arg=-Wno-unknown-warning-option \
  "$PWD/(client|server|addin|tools|platform/posix)/" >"$log" 2>&1; then
  tidy_ok=1
else
  grep -aE "(warning|error): " "$log" | sort -u | head -40
  tidy_ok=0
fi
if git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror >>"$log" 2>&1; then
  format_ok=1
else
  grep -aE "^[^ ]+:[0-9]+:[0-9]+: " "$log" | grep -a clang-format-violations | cut -d: -f1 | sort -u
  format_ok=0
fi
echo "lint: clang-tidy $([ $tidy_ok -eq 1 ] && echo clean || echo FAILED), clang-format $([ $format_ok -eq 1 ] && echo clean || echo FAILED)"
echo "Lint: $((tidy_ok + format_ok)) passed, $((2 - tidy_ok - format_ok)) failed"
[ $((tidy_ok + format_ok)) -eq 2 ]
