#!/bin/sh
# Runs the benchmarks built in the given build directory: the ADPCM plain
# loop, the parallel decoder and a memcpy of the same decoded size, on entries
# of 4 MiB and 64 MiB stored; whole entries loaded as Pcm; both decoders on
# short runs, which set where SampleDecoder::decodeAdpcm switches; ADPCM encoding;
# streaming for ten seconds on the simulated device playing in real time at
# 16540 Hz with 4096-byte fragments, once with the main flow computing and
# once with it idle; wbkdeck -w, -d and wbkpack's edit on large entries, and
# wbkdeck -l on a bank of many entries (export.sh); wbkenc at every quality
# level against SoX's VOX encoder, and on one thread pinned to each core
# (encode.sh); last, wbkpack --build of 100 clips on one and two threads
# (build.sh).
set -e
build=${1:-build-bench}
results="$build/bench/decode_bench.csv"
short="$build/bench/decode_short.csv"
"$build"/bench/decode_bench --benchmark_filter='/(4194304|67108864)$|BM_Pcm' \
    --benchmark_min_time=1 --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results" --benchmark_out_format=csv
"$build"/bench/decode_bench --benchmark_filter='/[0-9]{3,5}$' \
    --benchmark_min_time=0.2 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$short" --benchmark_out_format=csv
awk -F, '
    /_median"/ { name = $1; gsub(/"|_median/, "", name); time[name] = $4; items[name] = $7 }
    END {
        split("4194304 67108864", sizes, " ")
        for (i = 1; i <= 2; ++i) {
            size = sizes[i]
            serial = "BM_AdpcmSerial/" size; parallel = "BM_AdpcmParallel/" size; copy = "BM_MemcpyAdpcmOutput/" size
            printf "ADPCM, %d MiB stored: plain loop %.0f M samples/s, parallel %.0f M samples/s (%.1f times), memcpy %.1f GB/s; the parallel decoder takes %.1f times as long as the memcpy\n",
                size / 1048576, items[serial] / 1e6, items[parallel] / 1e6, items[parallel] / items[serial],
                items[copy] / 1e9, time[parallel] / time[copy]
        }
        printf "Whole 4 MiB entries loaded as Pcm: ADPCM %.0f M samples/s, 8-bit %.0f M samples/s\n",
            items["BM_PcmAdpcm"] / 1e6, items["BM_Pcm8Bit"] / 1e6
        printf "Short runs, parallel against plain loop:"
        for (size = 256; size <= 16384; size *= 2)
            printf " %d B %.1fx", size, items["BM_AdpcmParallel/" size] / items["BM_AdpcmSerial/" size]
        printf "\n"
    }' "$results" "$short"

# ADPCM encoding: speed (CPU time) and SNR of the decoded result, greedy and
# at the default search width, on the synthesised speech and chord signals
# (speech also with the plain search).
results="$build/bench/encode_bench.csv"
"$build"/bench/encode_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results" --benchmark_out_format=csv >/dev/null
awk -F, '
    /^name,/ { for (i = 1; i <= NF; i++) column[$i] = i; next }
    /_median"/ {
        name = $1; gsub(/"|_median|BM_Encode/, "", name)
        printf "ADPCM encoding, %-20s %5.2f M samples/s, SNR %.2f dB\n", name ":",
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
"$(dirname "$0")"/encode.sh "$build"
"$(dirname "$0")"/build.sh "$build"
