// Fuzzes the ADPCM encoder: the first byte picks the search width, the
// second the block size, the rest are 16-bit samples (little-endian). The
// decoder must play exactly what the encoder expects, and feeding in blocks
// must give the bytes of one call.
#include "AdpcmEncoder.h"
#include "Discard.h"
#include "Pcm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

struct Encoded {
    std::vector<unsigned char> bytes, outputs;
};

Encoded encode(const std::vector<std::int16_t>& samples, int width, std::size_t block)
{
    AdpcmEncoder encoder(width);
    Encoded result;
    for (std::size_t at = 0; at < samples.size(); at += block) {
        const std::size_t count = std::min(block, samples.size() - at);
        encoder.encode(samples.data() + at, count, result.bytes, &result.outputs);
    }
    encoder.finish(result.bytes, &result.outputs);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > 1 << 16)
        return 0;
    const int width = 1 + data[0] % 16;
    const std::size_t block = 1 + data[1];
    std::vector<std::int16_t> samples((size - 2) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);

    const Encoded whole = encode(samples, width, samples.size() + 1);
    check(whole.bytes.size() == (samples.size() + 1) / 2);
    const Pcm pcm(1, whole.bytes.data(), static_cast<int>(whole.bytes.size()));
    check(whole.outputs == std::vector<unsigned char>(pcm.getU8Data(), pcm.getU8Data() + pcm.getU8Size()));
    check(encode(samples, width, block).bytes == whole.bytes);
    return 0;
}
