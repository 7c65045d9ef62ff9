#ifndef WBK_SAMPLE_DECODER_H
#define WBK_SAMPLE_DECODER_H

#include "Adpcm.h"

#include <cstddef>
#include <cstdint>

// Turns a sample's stored bytes into unsigned 8-bit samples (128 is silence),
// piece by piece: types 1 and 3 are 4-bit ADPCM, two codes per byte, decoded
// with the state carried from one piece to the next; every other type is
// signed 8-bit PCM.
class SampleDecoder {
public:
    explicit SampleDecoder(unsigned type) : adpcm(isAdpcm(type)) {}

    static bool isAdpcm(unsigned type) { return type == 1 || type == 3; }
    // The unsigned 8-bit samples that `stored` bytes of `type` decode to.
    static std::uint64_t decodedSize(unsigned type, std::uint64_t stored) { return isAdpcm(type) ? 2 * stored : stored; }
    // Runs of at least this many stored bytes are decoded data-parallel.
    // Below one block of the widest lanes (1 KiB) the plain loop does all
    // the work anyway; `make bench` measured 1.7 times its speed at 2 KiB.
    static constexpr std::size_t parallelFromBytes = 1024;
    // Decodes `count` ADPCM bytes into 2 * count outputs, continuing from and
    // advancing `decoder`: long runs through the data-parallel decoder
    // (AdpcmParallel), short ones through the plain loop; both give the same
    // bytes and end state.
    static void decodeAdpcm(Adpcm& decoder, const unsigned char* stored, std::size_t count, unsigned char* out);
    // Makes `count` signed 8-bit samples unsigned.
    static void signedToUnsigned(const unsigned char* stored, std::size_t count, unsigned char* out);

    // Writes decodedSize(type, count) samples to `out`.
    void decode(const unsigned char* stored, std::size_t count, unsigned char* out);

private:
    bool adpcm;
    Adpcm decoder;
};

#endif
