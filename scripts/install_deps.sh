#!/usr/bin/env bash
# Installs everything Pagewright needs to build and test, from Debian 12's archive.
#   install_deps.sh           the Linux build, its tests, sanitizers and fuzzers
#   install_deps.sh --windows also the MinGW-w64 cross compilers, GoogleTest's sources, Wine and
#                             Ghostscript
set -euo pipefail
sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libfreetype-dev libfontconfig-dev fontconfig fonts-liberation fonts-dejavu-core \
  libtiff-dev libtiff-tools efax libpng-dev libqpdf-dev qpdf \
  libcli11-dev nlohmann-json3-dev help2man man-db >/dev/null
if [ "${1:-}" = "--windows" ]; then
  # Wine's recommended packages are part of what the printing tests were proven with; the test
  # programs cross-build GoogleTest from Debian's sources.
  $sudo_cmd apt-get install -y -qq \
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine64 ghostscript >/dev/null
fi
