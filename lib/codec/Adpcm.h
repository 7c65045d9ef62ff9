#ifndef WBK_ADPCM_H
#define WBK_ADPCM_H

#include <cstddef>
#include <cstdint>

// The 4-bit ADPCM codec of sound banks, held in one place: the step sizes,
// the per-code tables worked out from them, and the decoder state (a 12-bit
// sample kept in 0..4095 and a step index kept in 0..48). Every decoder and
// encoder of the library runs this state, so they agree to the bit.
//
// Stored bytes hold two codes each, low nibble first; each code yields one
// unsigned 8-bit output, the top 8 bits of the 12-bit sample.
class Adpcm {
public:
    static constexpr int stepCount = 49;
    static constexpr int codeCount = 16;
    static constexpr int maxSample = 4095;
    static constexpr int startSample = 2047;  // one below the zero level 2048
    static constexpr int maxStepIndex = stepCount - 1;
    // How each code moves the step index, before the clamp to 0..48.
    static constexpr std::int8_t stepChange[codeCount] = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                          -1, -1, -1, -1, 2, 4, 6, 8};

    Adpcm() = default;
    // Resumes from a state another decoder has reached (a sample within
    // 0..4095, a step index within 0..48).
    Adpcm(int sample, int stepIndex) : now(sample), adp(stepIndex) {}

    // Step sizes 16 * 1.1^i for i = 0..48, computed exactly in integers.
    static void fillStepSizes(std::int16_t (&stepSizes)[stepCount]);
    // What one code does, in the plain form: the signed difference it adds
    // at a step size, and the step index it leads to.
    static int codeDifference(int stepSize, unsigned code);
    static int nextStepIndex(int stepIndex, unsigned code);
    static int clampSample(int sample)
    {
        const int belowMax = sample > maxSample ? maxSample : sample;
        return sample < 0 ? 0 : belowMax;
    }

    // The same worked out once for every step index, so that decoding is
    // lookups, adds and clamps. The step index after a whole byte is kept
    // too, so that a byte-wise loop carries one lookup from byte to byte.
    struct Tables {
        std::int16_t difference[stepCount][codeCount];
        std::uint8_t nextStep[stepCount][codeCount];
        std::uint8_t nextStepAfterByte[stepCount][256];
    };
    static const Tables& tables();

    int sample() const { return now; }
    int stepIndex() const { return adp; }
    unsigned char output() const { return static_cast<unsigned char>(now >> 4); }

    // Applies one code (0..15) and returns the 8-bit output.
    unsigned char decode(unsigned code) { return decode(code, tables()); }
    // The same with the tables fetched once by the caller, for hot loops.
    unsigned char decode(unsigned code, const Tables& t)
    {
        now = clampSample(now + t.difference[adp][code]);
        adp = t.nextStep[adp][code];
        return output();
    }

    // Decodes `count` stored bytes into 2 * count outputs, continuing from
    // the current state, so that a long entry can be decoded in pieces. The
    // plain loop, one code after the other: the reference that every faster
    // path (AdpcmParallel) must equal; SampleDecoder::decodeAdpcm picks one.
    void decodeBytesSerially(const unsigned char* stored, std::size_t count, unsigned char* out);

private:
    int now = startSample;
    int adp = 0;
};

#endif
