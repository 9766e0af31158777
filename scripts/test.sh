#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds and runs every test. Usage: scripts/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
[ "${1:-}" = "--sanitize" ] && build=build-asan
scripts/build.sh "$@"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
