#!/usr/bin/env bash
# Installs the dependencies, builds Pagewright in release mode and converts the example letter
# with the command's embedded defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh --windows
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGEWRIGHT_TESTS=OFF
cmake --build build/release
mkdir -p out
./build/release/tools/pagewright examples/letter.txt -o out/letter.tif
