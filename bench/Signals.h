#ifndef WBK_BENCH_SIGNALS_H
#define WBK_BENCH_SIGNALS_H

#include <cstdint>
#include <vector>

// Deterministic test signals for the encoder benchmark, as signed 16-bit
// mono normalised to a peak of -1 dBFS.

// Speech-like: syllables of vowels (a glottal pulse train through three
// gliding formant resonators, pitch 95..230 Hz with intonation), fricatives
// (shaped noise) and pauses, with smooth envelopes.
std::vector<std::int16_t> speechLike(int rate, double seconds);

// Strummed chords on six Karplus-Strong strings, a new chord every 1.6 s.
std::vector<std::int16_t> pluckedChord(int rate, double seconds);

#endif
