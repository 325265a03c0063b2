#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, ASan + UBSan) and runs
# each for a while: scripts/fuzz.sh [seconds-per-target] [target...]
#
# Every run first replays the target's kept regression inputs
# (fuzz/regressions/<target>/), then fuzzes from a copy of its seed corpus
# (fuzz/corpus/<target>/) in a temporary folder, so the repository is not
# written to. A crash, time-out, leak or out-of-memory found is minimised into
# fuzz/regressions/<target>/ and counts as a finding. Prints one line per
# target and ends with "Fuzz: N clean, N with findings"; exits non-zero when
# any target had a finding (or could not be built).
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-60}
shift || true

# Longest input per target: room for a few full blocks, a whole file, a few arguments.
max_len() {
  case $1 in
    fuzz_ini_reader) echo 8192 ;;
    fuzz_addin_args) echo 2048 ;;
    *) echo 4096 ;;
  esac
}
# Extra options: dorvd logs every request on standard error.
extra_options() {
  case $1 in
    fuzz_server_requests) echo "-close_fd_mask=2" ;;
    *) echo "" ;;
  esac
}

export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-$(command -v ccache || true)}
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
build_log=$(mktemp)
bin=$root/build/fuzz/fuzz
# The targets are those fuzz/CMakeLists.txt defines (listed in targets.txt).
targets=""
if cmake --preset fuzz >"$build_log" 2>&1; then
  targets=${*:-$(cat "$bin/targets.txt")}
fi
if [ -z "$targets" ] || ! cmake --build --preset fuzz -j2 --target $targets >>"$build_log" 2>&1; then
  tail -40 "$build_log"
  rm -f "$build_log"
  echo "Fuzz: build failed"
  exit 1
fi
rm -f "$build_log"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

clean=0
dirty=0
for target in $targets; do
  exe=$bin/$target
  opts="-timeout=10 -max_len=$(max_len "$target") $(extra_options "$target")"
  [ -f "fuzz/dict/$target.dict" ] && opts="$opts -dict=$root/fuzz/dict/$target.dict"
  findings=0

  # Kept regression inputs first: each must now run clean.
  regressions=$(find "fuzz/regressions/$target" -type f ! -name README.md ! -name .gitkeep 2>/dev/null | sort)
  for input in $regressions; do
    if ! "$exe" $opts -runs=1 "$input" >"$work/replay.log" 2>&1; then
      echo "fuzz: $target: regression input $input still fails:"
      grep -E "ERROR|runtime error|SUMMARY|fuzz_|fake Excel" "$work/replay.log" | head -5
      findings=$((findings + 1))
    fi
  done

  corpus=$work/$target-corpus
  artifacts=$work/$target-artifacts
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  rm -f "$corpus"/*.py
  log=$work/$target.log
  "$exe" $opts -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  runs=$(grep -oE "^stat::number_of_executed_units: *[0-9]+" "$log" | grep -oE "[0-9]+$" | tail -1)
  rate=$(grep -oE "^stat::average_exec_per_sec: *[0-9]+" "$log" | grep -oE "[0-9]+$" | tail -1)
  # A run that stopped at a finding may not print its statistics.
  [ -n "$runs" ] || runs=$(grep -oE "^#[0-9]+" "$log" | tr -d '#' | tail -1)

  # Each finding, minimised, becomes a regression input of its own.
  for artifact in "$artifacts"/*; do
    [ -f "$artifact" ] || continue
    findings=$((findings + 1))
    name=$(basename "$artifact")
    echo "fuzz: $target: found $name:"
    grep -E "ERROR|runtime error|SUMMARY|fuzz_|fake Excel" "$log" | head -5
    mkdir -p "fuzz/regressions/$target"
    kept=fuzz/regressions/$target/$name
    case $name in
      crash-* | timeout-*)
        "$exe" $opts -minimize_crash=1 -max_total_time=60 -exact_artifact_path="$root/$kept" \
          "$artifact" >"$work/minimise.log" 2>&1
        [ -f "$kept" ] || cp "$artifact" "$kept"
        ;;
      *) cp "$artifact" "$kept" ;;
    esac
    echo "fuzz: $target: kept as $kept"
  done

  if [ "$findings" -eq 0 ]; then
    echo "fuzz: $target: clean, ${runs:-0} executions in ${seconds} s (${rate:-0}/s)"
    clean=$((clean + 1))
  else
    echo "fuzz: $target: $findings finding(s), ${runs:-0} executions in ${seconds} s (${rate:-0}/s)"
    dirty=$((dirty + 1))
  fi
done

echo "Fuzz: $clean clean, $dirty with findings"
[ "$dirty" -eq 0 ]
