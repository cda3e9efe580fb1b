#!/usr/bin/env bash
# Every test there is, in stages (each a CMake preset, see CMakePresets.json):
#   1. dev: build with warnings as errors and run all tests (unit, command line, install);
#   2. asan: the same under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. tsan: the converter tests, concurrent conversions among them, under ThreadSanitizer;
#   4. fuzz: each libFuzzer target for FUZZ_SECONDS (default 10) seconds, two at a time;
#   5. mingw-i686, mingw-x86_64: Pagewright.dll for 32 and 64-bit Windows, checked and run under
#      Wine.
# SKIP_WINDOWS=1 leaves out stage 5 on machines without MinGW-w64 and Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
stage() { printf '\n==== %s (at %ss)\n' "$*" "$SECONDS"; }

stage "1/5 build (-Werror) and tests"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

stage "2/5 AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

stage "3/5 ThreadSanitizer"
JOBS=$jobs bash scripts/tsan.sh

stage "4/5 fuzzing"
JOBS=$jobs bash scripts/fuzz.sh "${FUZZ_SECONDS:-10}"

if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
  stage "5/5 Windows DLLs under Wine"
  bash scripts/windows_tests.sh -j "$jobs"
fi
printf '\nAll stages passed in %ss.\n' "$SECONDS"
