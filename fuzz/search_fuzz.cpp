// Fuzzes the ADPCM encoder's search in SIMD lanes against the plain search,
// and the search on three threads in short segments (the rest shared in
// parts) against one encoder: the first byte picks the search width (1 to
// 64), the rest are 16-bit samples (little-endian). All must give the same
// bytes.
#include "AdpcmRoundTrip.h"
#include "Discard.h"
#include "ThreadedAdpcmEncoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 1 << 14)
        return 0;
    const int width = 1 + data[0] % AdpcmEncoder::maxWidth;
    std::vector<std::int16_t> samples((size - 1) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(data[1 + 2 * i] | data[2 + 2 * i] << 8);

    const std::size_t whole = samples.size() + 1;
    const std::vector<unsigned char> bytes = encodeInBlocks(samples, width, whole).bytes;
    check(bytes == encodeInBlocks(samples, width, whole, AdpcmEncoder::Search::plain).bytes);

    ThreadedAdpcmEncoder threaded(width, 3, {4096, 128, 64});
    check(feedInBlocks(threaded, samples, whole).bytes == bytes);
    return 0;
}
