#!/bin/sh
# wbkpack --build of a folder of 100 speech-like clips of 3 s at 22050 Hz,
# on one thread and on two, whole process, fastest of three runs each, with
# the peak memory of the run (GNU time).
set -e
build=${1:-build-bench}
bench=$(cd "$(dirname "$0")" && pwd)
wbkpack=$(cd "$build/bin" && pwd)/wbkpack
speech_wav=$(cd "$build/bench" && pwd)/speech_wav
work=$(mktemp -d "${BENCH_TMP:-/dev/shm}/wbk-build-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir clips
"$speech_wav" clips/clip000.wav 22050 3
for k in $(seq 1 99); do cp clips/clip000.wav "clips/clip$(printf %03d "$k").wav"; done

for jobs in 1 2; do
    best=
    for run in 1 2 3; do
        rm -f bank.wbk
        /usr/bin/time -f "%e %M" -o time.txt "$wbkpack" --build bank.wbk clips -j "$jobs" >/dev/null
        read -r seconds kib < time.txt
        if [ -z "$best" ] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$seconds; peak=$kib; fi
    done
    echo "wbkpack --build of 100 clips of 3 s, -j $jobs: $best s, peak memory $((peak / 1024)) MiB"
    eval "seconds$jobs=$best"
done
awk -v one="$seconds1" -v two="$seconds2" 'BEGIN { printf "-j 2 is %.2f times as fast as -j 1\n", one / two }'

# Two threads gain only what the slower core allows (see percore.sh).
"$bench"/percore.sh "wbkpack --build -j 1" sh -c 'rm -f bank.wbk && "$0" --build bank.wbk clips -j 1' "$wbkpack"
