#!/usr/bin/env bash
# Unpacks the programs that judge our pages as fax servers would, from Debian's packages, into
# DEST/root (nothing is installed): HylaFAX's tiffcheck, typetest and libhylafax, mgetty's g32pbm
# and g3cat, efax's fax script and efix.
#   fetch_fax_tools.sh DEST
# When Debian's archive cannot be reached it leaves DEST/root absent, and the tests that need
# the programs skip; on CI (CI=true) that is an error instead, so that CI always runs them.
set -euo pipefail
dest=${1:?the destination folder}
packages=(hylafax-server hylafax-client mgetty-fax efax)

[ -f "$dest/root/unpacked" ] && exit 0
rm -rf "$dest/debs" "$dest/root" "$dest/root.partial"
mkdir -p "$dest/debs"
cd "$dest/debs"
if ! apt-get download -q "${packages[@]}" >"$dest/download.log" 2>&1; then
  if [ "${CI:-}" = true ]; then
    echo "cannot download ${packages[*]} from Debian's archive:" >&2
    cat "$dest/download.log" >&2
    exit 1
  fi
  echo "Debian's archive cannot be reached: the fax server tests will be skipped"
  exit 0
fi
for deb in *.deb; do dpkg-deb -x "$deb" "$dest/root.partial"; done
touch "$dest/root.partial/unpacked"
mv "$dest/root.partial" "$dest/root"
echo "unpacked: $(ls)"
