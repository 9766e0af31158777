#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, makes a sample JPEG and runs the tool on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
mkdir -p out
build/tests/make_fixture out/sample.jpg 227x149 420
build/cli/tessel info out/sample.jpg
