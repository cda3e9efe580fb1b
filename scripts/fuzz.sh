#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan into build/fuzz and runs each for the
# given number of seconds (default 60), starting from its seed corpus in tests/fuzz/corpus/<name>.
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
status=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  mkdir -p "$work"
  log=build/fuzz/$target.log
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "build/fuzz/tests/fuzz/pagewright_fuzz_$target" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$target-" "$work" "tests/fuzz/corpus/$target" \
    >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    grep -E "ERROR|SUMMARY|CheckingSurface|Test unit written" "$log" | head -20 || true
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  printf '%-12s %-6s %12s executions in %ss (log: %s)\n' "$target" "$result" \
    "${executions:-?}" "$seconds" "$log"
done
exit $status
