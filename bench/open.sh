#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Opening a generated 24-megapixel 4:2:0 file: time beside libjpeg-turbo's coefficient read
# (the floor) from the same run, and peak memory beside the store's size.
set -euo pipefail
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$build/bench/bench_open" --write "$dir/large.jpg"
"$build/bench/bench_open" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_filter='median|.' 2>/dev/null | grep -E "median|Benchmark"
"$build/bench/bench_open" --peak "$dir/large.jpg"
