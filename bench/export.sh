#!/bin/sh
# Whole-process figures of wbkdeck and wbkpack on large entries, output on a tmpfs:
#   wbkdeck -w on one 64 MiB ADPCM entry (128 Mi samples) against
#      sox -t vox -r 16540 on the same codes (goal: 6 times as fast, peak RSS < 32 MiB);
#   wbkdeck -d on one 1 GiB entry against cp of the bank (goal: within 1.5 times cp, peak RSS < 32 MiB);
#   wbkdeck --html on that bank, its audio linked as WAV files beside the page, against
#      wbkdeck -w on it (goal: at most 2 times -w, peak RSS < 64 MiB);
#   wbkpack --set of that entry's rate, an edit that writes the whole bank anew, against the
#      same cp (goal: within 1.5 times cp);
#   wbkdeck -l on a bank of 100,000 small entries.
# Each command runs three times; the fastest run counts. Needs /usr/bin/time and sox.
set -e
build=${1:-build-bench}
wbkdeck=$(cd "$build/bin" && pwd)/wbkdeck
wbkpack=$(cd "$build/bin" && pwd)/wbkpack
work=$(mktemp -d "${BENCH_TMP:-/dev/shm}/wbk-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Little-endian bytes of $1, $2 bytes long, as printf escapes.
le() {
    value=$1 count=$2 out=
    while [ "$count" -gt 0 ]; do
        out="$out$(printf '\\%03o' $((value % 256)))"
        value=$((value / 256)) count=$((count - 1))
    done
    printf "$out"
}

# A bank of one entry: type $1, name $2, rate $3, data from the file $4.
make_bank() {
    size=$(stat -c %s "$4")
    { printf 'WBK\000\000\000\000\000'; head -c 32 /dev/zero
      le "$1" 1; printf '%s' "$2"; head -c $((16 - ${#2})) /dev/zero
      le "$3" 2; le "$size" 4; cat "$4"; }
}

# Runs a command three times; prints "seconds peak-KiB" of the fastest run.
best_of_three() {
    for run in 1 2 3; do
        rm -rf out.wav big.pcm.wav big.pc8 big.pc8.wav copy page.html page.html.files
        /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>&1
        cat time.txt
    done | sort -n | head -n 1
}

head -c $((64 << 20)) /dev/urandom > codes.vox
make_bank 1 big.pcm 16540 codes.vox > adpcm.wbk
set -- $(best_of_three "$wbkdeck" -w adpcm.wbk)
export_s=$1 export_kb=$2
[ "$(stat -c %s big.pcm.wav)" -eq $((44 + (128 << 20))) ] || { echo "wbkdeck -w wrote no whole WAV" >&2; exit 1; }
set -- $(best_of_three sox -t vox -r 16540 codes.vox out.wav)
sox_s=$1
echo "wbkdeck -w, 64 MiB ADPCM: $export_s s, peak RSS $export_kb KiB; sox: $sox_s s;" \
    "$(echo "$sox_s $export_s" | awk '{ printf "%.1f", $1 / $2 }') times as fast as sox"
rm -f codes.vox adpcm.wbk

head -c $((1 << 30)) /dev/urandom > data.pc8
make_bank 0 big.pc8 16540 data.pc8 > large.wbk
rm -f data.pc8
set -- $(best_of_three "$wbkdeck" -d large.wbk)
extract_s=$1 extract_kb=$2
cmp -s -n $((1 << 30)) -i 63:0 large.wbk big.pc8 || { echo "wbkdeck -d wrote no whole copy" >&2; exit 1; }
set -- $(best_of_three cp large.wbk copy)
cp_s=$1
echo "wbkdeck -d, 1 GiB entry: $extract_s s, peak RSS $extract_kb KiB; cp: $cp_s s;" \
    "$(echo "$extract_s $cp_s" | awk '{ printf "%.2f", $1 / $2 }') times the time of cp"
set -- $(best_of_three "$wbkdeck" -w large.wbk)
wav_s=$1
set -- $(best_of_three "$wbkdeck" --html page.html large.wbk)
html_s=$1 html_kb=$2
[ "$(stat -c %s page.html.files/000000.wav)" -eq $((44 + (1 << 30))) ] || { echo "wbkdeck --html linked no whole WAV" >&2; exit 1; }
echo "wbkdeck --html, 1 GiB bank: $html_s s, peak RSS $html_kb KiB; wbkdeck -w: $wav_s s;" \
    "$(echo "$html_s $wav_s" | awk '{ printf "%.2f", $1 / $2 }') times the time of -w"
rm -rf big.pc8.wav page.html page.html.files
set -- $(best_of_three "$wbkpack" --set 0 -r 8000 large.wbk)
edit_s=$1 edit_kb=$2
[ "$(stat -c %s large.wbk)" -eq $((63 + (1 << 30))) ] || { echo "wbkpack --set changed the bank's size" >&2; exit 1; }
echo "wbkpack --set, 1 GiB bank: $edit_s s, peak RSS $edit_kb KiB; cp: $cp_s s;" \
    "$(echo "$edit_s $cp_s" | awk '{ printf "%.2f", $1 / $2 }') times the time of cp"
rm -f big.pc8 copy

# 100,000 entries of 10 bytes each: one entry doubled 17 times, then cut.
printf '0123456789' > ten.pc8
make_bank 0 s.pc8 8000 ten.pc8 | tail -c 33 > entries
for doubling in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17; do cat entries entries > twice; mv twice entries; done
{ make_bank 0 s.pc8 8000 ten.pc8 | head -c 40; head -c $((100000 * 33)) entries; } > many.wbk
rm -f entries
set -- $(best_of_three "$wbkdeck" -l many.wbk)
list_s=$1 list_kb=$2
[ "$("$wbkdeck" -l many.wbk | tail -n 1 | cut -f 1)" = 99999 ] || { echo "wbkdeck -l listed no 100,000 entries" >&2; exit 1; }
echo "wbkdeck -l, 100,000 entries: $list_s s, peak RSS $list_kb KiB"
