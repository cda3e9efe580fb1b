#!/usr/bin/env bash
# Builds the converter tests with ThreadSanitizer (preset tsan, build/tsan) and runs them, among
# them the conversions that run at once on separate threads (tests/converter/concurrency_test.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "${JOBS:-2}"
# One process for the whole binary: the sanitizer then also sees state that outlives a test.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" build/tsan/tests/converter/converter_tests
