#!/usr/bin/env bash
# Installs everything Pagewright needs to build and test, from Debian 12's archive.
set -euo pipefail
sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config clang \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libfreetype-dev libfontconfig-dev fontconfig fonts-liberation fonts-dejavu-core \
  libtiff-dev libtiff-tools libpng-dev libqpdf-dev qpdf \
  libcli11-dev nlohmann-json3-dev >/dev/null
