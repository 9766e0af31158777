#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages Tessel builds, tests, benchmarks and fuzzes with, when any is
# missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libjpeg-dev libicu-dev libpng-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg-turbo-progs libimage-exiftool-perl python3 time
  libvips-tools
  clang libclang-rt-14-dev clang-format
  python3-dev pybind11-dev python3-numpy python3-pytest python3-dask python3-distributed
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
