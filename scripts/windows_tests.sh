#!/usr/bin/env bash
# Builds Pagewright.dll for 32-bit and 64-bit Windows with MinGW-w64 and runs the Windows tests
# (CTest label "windows"): export, import and message-table checks of both DLLs, and the x86_64 DLL
# under Wine (registry, message table, printing to PostScript checked with Ghostscript, failures).
# scripts/install_deps.sh --windows installs what it needs. docs/windows.md explains the tests.
#   scripts/windows_tests.sh [-j <jobs>]
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2
if [ "${1:-}" = "-j" ] && [ -n "${2:-}" ]; then jobs=$2; fi

status=0
for arch in i686 x86_64; do
  echo "== $arch: configure and build (build/mingw-$arch)"
  mkdir -p build
  cmake --preset "mingw-$arch" >"build/mingw-$arch.configure.log" 2>&1 || {
    cat "build/mingw-$arch.configure.log" >&2
    echo "windows_tests.sh: configuring $arch failed" >&2
    exit 1
  }
  cmake --build --preset "mingw-$arch" -j "$jobs"
done
for arch in i686 x86_64; do
  echo "== $arch: tests"
  # The Wine tests share one prefix and take turns (a resource lock).
  ctest --preset "mingw-$arch" || status=1
done
if [ "$status" -ne 0 ]; then
  echo "windows_tests.sh: FAILED (logs: build/mingw-x86_64/wine-logs, output: build/mingw-x86_64/wine-output)" >&2
else
  echo "windows_tests.sh: all Windows tests passed"
fi
exit "$status"
