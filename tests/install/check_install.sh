#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds a C host against it twice: with CMake's
# find_package and with pkg-config. Usage: check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/tests/install" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/x86_64-linux-gnu" "$work/cmake/consumer"
pc_dir=$(dirname "$(find "$work/prefix" -name pagewright.pc)")
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs pagewright)
# shellcheck disable=SC2086
cc "$source/tests/install/consumer.c" $flags -o "$work/consumer-pc"
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/x86_64-linux-gnu" "$work/consumer-pc"
# The installed command finds the installed library, and its PDF module, by itself.
"$work/prefix/bin/pagewright" --version >/dev/null
printf 'Installed.\n' >"$work/note.txt"
XDG_CACHE_HOME="$work/cache" "$work/prefix/bin/pagewright" -q "$work/note.txt" -o "$work/note.pdf"
test -s "$work/note.pdf"
echo "install OK"
