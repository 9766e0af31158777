#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing and builds. Usage: scripts/build.sh [--sanitize] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=OFF
if [ "${1:-}" = "--sanitize" ]; then sanitize=ON; shift; fi
build=${1:-build}
[ $sanitize = ON ] && [ $# -eq 0 ] && build=build-asan
scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_SANITIZE=$sanitize \
  -DTESSEL_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
