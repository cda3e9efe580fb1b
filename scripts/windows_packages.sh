#!/usr/bin/env bash
# Makes the archives for Windows host authors: Release builds of Pagewright.dll for 32-bit and
# 64-bit Windows (MinGW-w64), each packed by CPack with its import library, .def, header and
# README-windows.txt into build/packages/pagewright-<version>-win32.zip and -win64.zip, then
# checked (tests/windows/check_dll.sh package). The CMake workflow presets mingw-i686-release and
# mingw-x86_64-release do the work; scripts/install_deps.sh --windows installs what they need.
#   scripts/windows_packages.sh [-j <jobs>]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "-j" ] && [ -n "${2:-}" ]; then export CMAKE_BUILD_PARALLEL_LEVEL=$2; fi
mkdir -p build

for arch in i686:win32 x86_64:win64; do
  preset=mingw-${arch%:*}-release
  echo "== $preset"
  cmake --workflow --preset "$preset" >"build/$preset.log" 2>&1 || {
    cat "build/$preset.log" >&2
    echo "windows_packages.sh: $preset failed" >&2
    exit 1
  }
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/$preset/CMakeCache.txt")
  bash tests/windows/check_dll.sh package "build/packages/pagewright-$version-${arch#*:}.zip" \
    "${arch%:*}-w64-mingw32-" "$version"
done
