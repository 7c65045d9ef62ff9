#!/bin/sh
# Runs the decode benchmark built in the given build directory and sums up
# ADPCM decoding against a memcpy of the same decoded size.
set -e
build=${1:-build-bench}
results="$build/bench/decode_bench.csv"
"$build"/bench/decode_bench --benchmark_min_time=1 --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results" --benchmark_out_format=csv
awk -F, '
    /_median"/ { name = $1; gsub(/"|_median/, "", name); time[name] = $4; items[name] = $7 }
    END {
        printf "ADPCM: %.0f M samples/s, 8-bit: %.0f M samples/s, memcpy: %.1f GB/s\n",
            items["BM_DecodeAdpcm"] / 1e6, items["BM_Decode8Bit"] / 1e6, items["BM_MemcpyAdpcmOutput"] / 1e9
        printf "ADPCM decoding takes %.1f times as long as the memcpy\n",
            time["BM_DecodeAdpcm"] / time["BM_MemcpyAdpcmOutput"]
    }' "$results"
