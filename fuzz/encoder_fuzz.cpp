// Fuzzes the ADPCM encoder: the first byte picks the search width, the
// second the block size, the rest are 16-bit samples (little-endian). The
// decoder must play exactly what the encoder expects, and feeding in blocks
// must give the bytes of one call.
#include "AdpcmRoundTrip.h"
#include "Discard.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > 1 << 16)
        return 0;
    const int width = 1 + data[0] % 16;
    const std::size_t block = 1 + data[1];
    std::vector<std::int16_t> samples((size - 2) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);

    const EncodedAdpcm whole = encodeInBlocks(samples, width, samples.size() + 1);
    check(whole.bytes.size() == (samples.size() + 1) / 2);
    check(whole.outputs == decodeAdpcm(whole.bytes));
    check(encodeInBlocks(samples, width, block).bytes == whole.bytes);
    return 0;
}
