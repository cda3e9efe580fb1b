#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan into build/fuzz and runs each for the
# given number of seconds (default 60), JOBS (default 2) at a time, starting from its seed corpus
# in tests/fuzz/corpus/<name>.
# New inputs go to build/fuzz/corpus/<name>, crashes to build/fuzz/artifacts/. Exits nonzero
# when a target crashed, leaked, hung or ran out of memory.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${JOBS:-2}
targets=(conversion line_list image ccitt_coder)

# FUZZ_SKIP_BUILD=1 runs the targets already built.
if [[ ${FUZZ_SKIP_BUILD:-0} != 1 ]]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs" --target "${targets[@]/#/pagewright_fuzz_}"
fi

mkdir -p build/fuzz/artifacts
# The targets' files go to a folder of their own, removed however the run ends.
export TMPDIR=$PWD/build/fuzz/tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
trap 'rm -rf "$TMPDIR"' EXIT
# One target per core at a time: each run is single-threaded and time-boxed.
fuzz_one() {
  local target=$1 work=build/fuzz/corpus/$1 log=build/fuzz/$1.log result=ok
  mkdir -p "$work"
  if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "build/fuzz/tests/fuzz/pagewright_fuzz_$target" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$target-" "$work" "tests/fuzz/corpus/$target" \
    >"$log" 2>&1; then
    result=FAILED
  fi
  printf '%s\n' "$result" >"build/fuzz/$target.result"
}
running=0
for target in "${targets[@]}"; do
  fuzz_one "$target" &
  running=$((running + 1))
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

status=0
for target in "${targets[@]}"; do
  log=build/fuzz/$target.log
  result=$(cat "build/fuzz/$target.result")
  if [[ $result != ok ]]; then
    status=1
    grep -E "ERROR|SUMMARY|CheckingSurface|Test unit written" "$log" | head -20 || true
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  printf '%-12s %-6s %12s executions in %ss (log: %s)\n' "$target" "$result" \
    "${executions:-?}" "$seconds" "$log"
done
exit $status
