#ifndef WBK_PCM8_ENCODER_H
#define WBK_PCM8_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <random>

// Converts mono samples in the scale of signed 16-bit into the signed 8-bit
// samples of ".pc8" files: rounded to the nearest 8-bit value and clipped
// to -128..127, counting the clipped samples. Samples may lie beyond 16
// bits (within +-2^23), as a float file or a resampler can give them.
//
// Like audio tools that reduce the bit depth, it adds triangular (TPDF)
// dither of +-1 8-bit step before rounding, which turns the distortion of
// rounding into a steady low noise. The dither comes from a fixed seed, so
// the same input always gives the same bytes. Dithering can be turned off.
class Pcm8Encoder {
public:
    explicit Pcm8Encoder(bool dither = true) : dither(dither) {}

    // Writes `count` signed 8-bit samples to `out`.
    void encode(const std::int32_t* samples, std::size_t count, signed char* out);
    std::uint64_t clipped() const { return clippedCount; }

private:
    bool dither;
    std::mt19937 random{1};
    std::uint64_t clippedCount = 0;
};

#endif
