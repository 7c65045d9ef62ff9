#ifndef WBK_TESTS_ADPCM_ROUND_TRIP_H
#define WBK_TESTS_ADPCM_ROUND_TRIP_H

#include "AdpcmEncoder.h"
#include "Pcm.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Encoding and decoding of whole signals, for the encoder's tests and fuzzer.

struct EncodedAdpcm {
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> outputs;  // what the encoder expects the decoder to play
};

// Feeds `samples` to `encoder` (an AdpcmEncoder or one with its encode and
// finish) `block` samples at a time, and finishes it.
template <class Encoder>
EncodedAdpcm feedInBlocks(Encoder& encoder, const std::vector<std::int16_t>& samples, std::size_t block)
{
    EncodedAdpcm result;
    for (std::size_t at = 0; at < samples.size(); at += block) {
        const std::size_t count = std::min(block, samples.size() - at);
        encoder.encode(samples.data() + at, count, result.bytes, &result.outputs);
    }
    encoder.finish(result.bytes, &result.outputs);
    return result;
}

// Encodes `samples`, fed to the encoder `block` samples at a time.
inline EncodedAdpcm encodeInBlocks(const std::vector<std::int16_t>& samples, int width, std::size_t block,
                                   AdpcmEncoder::Search search = AdpcmEncoder::Search::lanes)
{
    AdpcmEncoder encoder(width, search);
    return feedInBlocks(encoder, samples, block);
}

// The unsigned 8-bit samples a player decodes from ADPCM bytes.
inline std::vector<unsigned char> decodeAdpcm(const std::vector<unsigned char>& bytes)
{
    const Pcm pcm(1, bytes.data(), static_cast<int>(bytes.size()));
    return {pcm.getU8Data(), pcm.getU8Data() + pcm.getU8Size()};
}

#endif
