#!/bin/sh
# Whole-process speed of wbkenc at every quality level against SoX's VOX
# (IMA ADPCM, open loop) encoder, on one speech-like file synthesised by
# speech_wav (97 s at 16540 Hz, 1.6 M samples), in one run. The commands take
# turns, five rounds, so that a change of the machine's speed during the
# run falls on all of them alike; the fastest run of each counts. Prints each
# time, its samples per second and its ratio to SoX's speed (above 1: faster
# than SoX).
set -e
build=${1:-build-bench}
bench=$(cd "$(dirname "$0")" && pwd)
wbkenc=$(cd "$build/bin" && pwd)/wbkenc
speech_wav=$(cd "$build/bench" && pwd)/speech_wav
work=$(mktemp -d "${BENCH_TMP:-/dev/shm}/wbk-encode-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
rate=16540
"$speech_wav" speech.wav $rate 97
samples=$(( ($(stat -c %s speech.wav) - 44) / 2 ))

# Runs command number $1 (0: SoX, 1 to 5: wbkenc -q 1 to 5) once; prints its
# wall time in nanoseconds.
run() {
    start=$(date +%s%N)
    if [ "$1" -eq 0 ]; then
        sox speech.wav -t vox out.vox >/dev/null 2>&1
    else
        "$wbkenc" -f -q "$1" speech.wav out.pcm >/dev/null 2>&1
    fi
    end=$(date +%s%N)
    echo $((end - start))
}

best0= best1= best2= best3= best4= best5=
for round in 1 2 3 4 5; do
    for command in 0 1 2 3 4 5; do
        elapsed=$(run $command)
        eval "best=\$best$command"
        if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then eval "best$command=$elapsed"; fi
    done
done

report() {
    awk -v name="$1" -v ns="$2" -v sox="$best0" -v n="$samples" 'BEGIN {
        printf "%-36s %8.1f ms %7.2f M samples/s  %6.3fx SoX\n", name, ns / 1e6, n / (ns / 1e9) / 1e6, sox / ns }'
}
echo "Encoding $samples samples of speech-like audio at $rate Hz, whole process, fastest of five, in turns:"
report "sox speech.wav -t vox out.vox" "$best0"
for q in 1 2 3 4 5; do
    eval "report \"wbkenc -q $q speech.wav out.pcm\" \"\$best$q\""
done

# Two threads gain only what the slower core allows (see percore.sh).
"$bench"/percore.sh "wbkenc -q 4 -j 1" "$wbkenc" -f -q 4 -j 1 speech.wav out.pcm
