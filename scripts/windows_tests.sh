#!/usr/bin/env bash
# Builds Pagewright.dll for 32-bit and 64-bit Windows with MinGW-w64 and runs the Windows tests
# (CTest label "windows"): export, import and message-table checks of both DLLs, and the x86_64 DLL
# under Wine (registry, message table, printing to PostScript checked with Ghostscript, failures).
# Run as root, it first installs what it needs (Debian 12). docs/windows.md explains the tests.
#   scripts/windows_tests.sh [-j <jobs>]
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2
if [ "${1:-}" = "-j" ] && [ -n "${2:-}" ]; then jobs=$2; fi

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 ghostscript fonts-liberation
  cmake ninja-build)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "windows_tests.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "== installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

status=0
for arch in i686 x86_64; do
  build=build/win-$arch
  echo "== $arch: configure and build ($build)"
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWRIGHT_WERROR=ON >"$build.configure.log" 2>&1 || {
    cat "$build.configure.log" >&2
    echo "windows_tests.sh: configuring $arch failed" >&2
    exit 1
  }
  cmake --build "$build" -j "$jobs"
done
for arch in i686 x86_64; do
  echo "== $arch: tests"
  # The Wine tests share one prefix and run one after another.
  ctest --test-dir "build/win-$arch" -L windows --output-on-failure --timeout 300 || status=1
done
if [ "$status" -ne 0 ]; then
  echo "windows_tests.sh: FAILED (logs: build/win-x86_64/wine-logs, output: build/win-x86_64/wine-output)" >&2
else
  echo "windows_tests.sh: all Windows tests passed"
fi
exit "$status"
