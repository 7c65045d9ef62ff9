#!/bin/sh
# Runs the benchmarks built in the given build directory: ADPCM decoding
# against a memcpy of the same decoded size, ADPCM encoding, then streaming for ten seconds
# on the simulated device playing in real time at 16540 Hz with 4096-byte
# fragments, once with the main flow computing and once with it idle; last,
# wbkdeck -w and -d on large entries (export.sh).
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

# ADPCM encoding: speed (CPU time) and SNR of the decoded result, greedy and
# at the default search width, on the synthesised speech and chord signals.
results="$build/bench/encode_bench.csv"
"$build"/bench/encode_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results" --benchmark_out_format=csv >/dev/null
awk -F, '
    /^name,/ { for (i = 1; i <= NF; i++) column[$i] = i; next }
    /_median"/ {
        name = $1; gsub(/"|_median|BM_Encode/, "", name)
        printf "ADPCM encoding, %-13s %5.2f M samples/s, SNR %.2f dB\n", name ":",
            $column["items_per_second"] / 1e6, $column["\"snr_db\""]
    }' "$results"

for mode in busy idle; do
    log="$build/bench/stream_$mode.log"
    rm -f "$log"
    LD_PRELOAD="$build/tests/fakedsp/libfakedsp.so" FAKEDSP_REALTIME=1 FAKEDSP_FRAGMENT=4096 \
        FAKEDSP_LOG="$log" "$build"/bench/stream_load 10 "$mode"
    echo "  device underruns: $(sed -n 's/^close underruns=//p' "$log")"
done

"$(dirname "$0")"/export.sh "$build"
