#!/bin/sh
# Whole-process speed of wbkenc at every quality level against SoX's VOX
# (IMA ADPCM, open loop) encoder, on one speech-like file synthesised by
# speech_wav (97 s at 16540 Hz, 1.6 M samples), in one run. Each command runs
# three times; the fastest run counts. Prints each time, its samples per
# second and its ratio to SoX's speed (above 1: faster than SoX).
set -e
build=${1:-build-bench}
wbkenc=$(cd "$build/bin" && pwd)/wbkenc
speech_wav=$(cd "$build/bench" && pwd)/speech_wav
work=$(mktemp -d "${BENCH_TMP:-/dev/shm}/wbk-encode-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
rate=16540
"$speech_wav" speech.wav $rate 97
samples=$(( ($(stat -c %s speech.wav) - 44) / 2 ))

# Prints the wall time in seconds of the fastest of three runs.
fastest() {
    best=
    for run in 1 2 3; do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        elapsed=$((end - start))
        if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
    done
    echo "$best"
}

sox_ns=$(fastest sox speech.wav -t vox out.vox)
report() {
    awk -v name="$1" -v ns="$2" -v sox="$sox_ns" -v n="$samples" 'BEGIN {
        printf "%-36s %8.1f ms %7.2f M samples/s  %6.3fx SoX\n", name, ns / 1e6, n / (ns / 1e9) / 1e6, sox / ns }'
}
echo "Encoding $samples samples of speech-like audio at $rate Hz, whole process, fastest of three:"
report "sox speech.wav -t vox out.vox" "$sox_ns"
for q in 1 2 3 4 5; do
    report "wbkenc -q $q speech.wav out.pcm" "$(fastest "$wbkenc" -f -q $q speech.wav out.pcm)"
done
