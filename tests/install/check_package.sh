#!/usr/bin/env bash
# The Debian package as a user gets it: made with cpack, unpacked into a scratch root (dpkg -x),
# its command converts a letter with the packaged library, and its manual page reads.
#   check_package.sh <build dir> <source dir>
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >cpack.log) ||
  { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/pagewright_*.deb)
dpkg-deb -f "$deb" Depends | grep -q 'libtiff6' || { echo "no shlibdeps dependencies" >&2; exit 1; }
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for wanted in ./usr/bin/pagewright ./usr/include/pagewright/pagewright.h \
  ./usr/share/man/man1/pagewright.1.gz ./usr/share/doc/pagewright/README.md \
  ./usr/share/doc/pagewright/examples/letter.txt; do
  grep -qxF "$wanted" <<<"$contents" || { echo "the package lacks $wanted" >&2; exit 1; }
done
for pattern in '/libpagewright\.so\.1$' '/pkgconfig/pagewright\.pc$' '/pagewrightConfig\.cmake$'; do
  grep -qE "$pattern" <<<"$contents" || { echo "the package lacks $pattern" >&2; exit 1; }
done

dpkg -x "$deb" "$work/root"
XDG_CACHE_HOME="$work/cache" "$work/root/usr/bin/pagewright" -q "$source/examples/letter.txt" \
  -o "$work/letter.tif"
tiffinfo "$work/letter.tif" | grep -q 'Image Width: 1728'
MANWIDTH=100 man -l "$work/root/usr/share/man/man1/pagewright.1.gz" 2>/dev/null |
  grep -q -- '--resolution' || { echo "the manual page does not read" >&2; exit 1; }
echo "package OK: $(basename "$deb")"
