#!/usr/bin/env bash
# Builds a small sound bank from synthesised tones and shows what the tools make of it.
set -euo pipefail
build=${1:-build}
bin=$build/bin
out=$build/demo
rm -rf "$out"
mkdir -p "$out"

step() { printf '\n== %s\n' "$*"; }

step "Synthesise three tones: 440 Hz at 16540 Hz and 660 Hz at 8000 Hz (signed 8-bit), 523 Hz as a 44100 Hz WAV"
"$bin/tonegen" 440 16540 500 > "$out/a440.pc8"
"$bin/tonegen" 660 8000 300 > "$out/e660.pc8"
"$bin/tonegen" 523 44100 400 "$out/c523.wav"

step "Encode the WAV into ADPCM at 11025 Hz with wbkenc"
"$bin/wbkenc" -r 11025 "$out/c523.wav" "$out/c523.pcm"
ls -l "$out"/*.pc8 "$out"/*.pcm

step "Pack them into demo.wbk (the rate prompt is answered from standard input)"
(cd "$out" && echo 16540 | LOGNAME=demo "../bin/wbkpack" demo.wbk a440.pc8)
(cd "$out" && echo 8000 | LOGNAME=demo "../bin/wbkpack" demo.wbk e660.pc8)
(cd "$out" && echo 11025 | LOGNAME=demo "../bin/wbkpack" demo.wbk c523.pcm 2>&1)

step "The bank: a 40-byte header, then one entry per sample"
od -A d -t x1 -N 64 "$out/demo.wbk"
ls -l "$out/demo.wbk"

step "List the bank without playing it (wbkdeck -l)"
"$bin/wbkdeck" -l "$out/demo.wbk"

step "List the bank and play it, one sample per line of input"
if [ -w /dev/dsp ]; then
  printf '\n\n\n' | "$bin/wbkdeck" "$out/demo.wbk"
else
  fakedsp=$build/tests/fakedsp/libfakedsp.so
  echo "No /dev/dsp on this machine. On a desktop, wbkdeck plays through ALSA's default device:"
  echo "  $bin/wbkdeck $out/demo.wbk      (WBK_AUDIO=alsa:NAME chooses another ALSA device)"
  echo "Playing into the project's simulated device instead, in real time:"
  printf '\n\n\n' | LD_PRELOAD=$fakedsp FAKEDSP_REALTIME=1 FAKEDSP_CAPTURE="$out/played.u8" \
    FAKEDSP_LOG="$out/device.log" "$bin/wbkdeck" "$out/demo.wbk"
  echo "The device received $(stat -c %s "$out/played.u8") bytes; its calls are in $out/device.log"
fi

step "Extract every sample again with wbkdeck -d and compare with the originals"
mkdir -p "$out/extracted"
(cd "$out/extracted" && "../../bin/wbkdeck" -d ../demo.wbk)
for f in a440.pc8 e660.pc8 c523.pcm; do cmp "$out/extracted/$f" "$out/$f" && echo "$f: identical to the original"; done

step "Export every sample as a WAV file with wbkdeck -w (decoded as played: unsigned 8-bit mono)"
mkdir -p "$out/wav"
(cd "$out/wav" && "../../bin/wbkdeck" -w ../demo.wbk)
ls -l "$out/wav"
if command -v file >/dev/null; then
  (cd "$out/wav" && file c523.pcm.wav)
else
  echo "c523.pcm.wav starts with its RIFF header:"
  od -A d -c -N 44 "$out/wav/c523.pcm.wav"
fi

step "The library's scenario reader on the example script (comment shown as UTF-8 here)"
"$bin/scenario_dump" examples/demo.scn | iconv -f EUC-JP -t UTF-8
