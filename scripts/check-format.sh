#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when a tracked C or C++ file is not formatted as .clang-format says; lists the files.
# Usage: scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run --Werror
echo "formatting check passed"
