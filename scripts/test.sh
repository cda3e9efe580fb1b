#!/usr/bin/env bash
# Every test there is, in stages:
#   1. build with warnings as errors and run all tests (unit, command line, install);
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the converter tests, concurrent conversions among them, under ThreadSanitizer;
#   4. each libFuzzer target for FUZZ_SECONDS (default 30) seconds;
#   5. Pagewright.dll for 32 and 64-bit Windows, checked and run under Wine.
# SKIP_WINDOWS=1 leaves out stage 5 on machines without MinGW-w64 and Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
stage() { printf '\n==== %s\n' "$*"; }

stage "1/5 build (-Werror) and tests"
cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWRIGHT_WERROR=ON >/dev/null
cmake --build build/ci -j "$jobs"
ctest --test-dir build/ci --output-on-failure -j "$jobs"

stage "2/5 AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPAGEWRIGHT_WERROR=ON \
  -DPAGEWRIGHT_SANITIZE=address,undefined -DPAGEWRIGHT_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build/asan --output-on-failure -j "$jobs"

stage "3/5 ThreadSanitizer"
JOBS=$jobs bash scripts/tsan.sh

stage "4/5 fuzzing"
JOBS=$jobs bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
  stage "5/5 Windows DLLs under Wine"
  bash scripts/windows_tests.sh -j "$jobs"
fi
