#!/usr/bin/env bash
# Builds the converter tests with ThreadSanitizer into build/tsan and runs them, among them the
# conversions that run at once on separate threads (tests/converter/concurrency_test.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWRIGHT_WERROR=ON \
  -DPAGEWRIGHT_SANITIZE=thread -DPAGEWRIGHT_BENCH=OFF >/dev/null
cmake --build build/tsan -j "$jobs" --target converter_tests
# One process for the whole binary: the sanitizer then also sees state that outlives a test.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" build/tsan/tests/converter/converter_tests
