// Fuzzes the sample decoder: the first input byte is the sample type, the
// rest the stored bytes. The decoded size must follow the type, 8-bit data
// must come out offset by 128, and ADPCM must agree byte for byte with the
// codec's plain arithmetic applied one code at a time. The parallel decoder
// must agree too, under every instruction set the machine runs, on the
// stored bytes repeated over several blocks of its lanes.
#include "Adpcm.h"
#include "AdpcmParallel.h"
#include "Discard.h"
#include "Pcm.h"

#include <hwy/targets.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

struct Decoded {
    std::vector<unsigned char> samples;
    int sample = Adpcm::startSample;
    int stepIndex = 0;
};

// Low nibble first.
Decoded decodeOneCodeAtATime(const std::uint8_t* stored, std::size_t size)
{
    std::int16_t stepSizes[Adpcm::stepCount];
    Adpcm::fillStepSizes(stepSizes);
    Decoded decoded;
    for (std::size_t i = 0; i < size; ++i) {
        for (const unsigned code : {stored[i] & 0x0F, stored[i] >> 4}) {
            const int difference = Adpcm::codeDifference(stepSizes[decoded.stepIndex], code);
            decoded.sample = Adpcm::clampSample(decoded.sample + difference);
            decoded.stepIndex = Adpcm::nextStepIndex(decoded.stepIndex, code);
            decoded.samples.push_back(static_cast<unsigned char>(decoded.sample >> 4));
        }
    }
    return decoded;
}

std::vector<unsigned char> decode8Bit(const std::uint8_t* stored, std::size_t size)
{
    std::vector<unsigned char> samples;
    for (std::size_t i = 0; i < size; ++i)
        samples.push_back(static_cast<unsigned char>(stored[i] ^ 0x80));
    return samples;
}

// At least 4 KiB: four blocks of the widest lanes, and a tail.
std::vector<std::uint8_t> repeated(const std::uint8_t* stored, std::size_t size)
{
    std::vector<std::uint8_t> bytes(stored, stored + size);
    while (!bytes.empty() && bytes.size() < 4096)
        bytes.insert(bytes.end(), stored, stored + size);
    return bytes;
}

void checkParallelDecoder(const std::uint8_t* stored, std::size_t size)
{
    const std::vector<std::uint8_t> bytes = repeated(stored, size);
    const Decoded expected = decodeOneCodeAtATime(bytes.data(), bytes.size());
    for (const std::int64_t target : AdpcmParallel::targets()) {
        hwy::SetSupportedTargetsForTest(target);
        Adpcm decoder;
        std::vector<unsigned char> samples(2 * bytes.size());
        AdpcmParallel::decodeBytes(decoder, bytes.data(), bytes.size(), samples.data());
        check(samples == expected.samples);
        check(decoder.sample() == expected.sample && decoder.stepIndex() == expected.stepIndex);
    }
    hwy::SetSupportedTargetsForTest(0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > INT_MAX / 2)
        return 0;
    const unsigned char type = data[0];
    const std::uint8_t* stored = data + 1;
    const std::size_t storedSize = size - 1;
    const bool adpcm = type == 1 || type == 3;

    const Pcm pcm(type, stored, static_cast<int>(storedSize));
    check(pcm.getSize() == static_cast<int>(storedSize));
    check(pcm.getU8Size() == (adpcm ? 2 : 1) * storedSize);
    check(pcm.getPcmRate() == 0 && static_cast<unsigned char>(pcm.getType()) == type);

    const std::vector<unsigned char> expected =
        adpcm ? decodeOneCodeAtATime(stored, storedSize).samples : decode8Bit(stored, storedSize);
    check(std::vector<unsigned char>(pcm.getU8Data(), pcm.getU8Data() + pcm.getU8Size()) == expected);

    checkParallelDecoder(stored, storedSize);
    return 0;
}
