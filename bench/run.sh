#!/bin/sh
# Runs the benchmarks built in the given build directory.
set -e
build=${1:-build-bench}
"$build"/bench/decode_bench --benchmark_min_time=1 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true
