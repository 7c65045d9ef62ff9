// Fuzzes the sample decoder: the first input byte is the sample type, the
// rest the stored bytes. The decoded size must follow the type, 8-bit data
// must come out offset by 128, and ADPCM must agree byte for byte with the
// plain decoder below, written straight from the algorithm.
#include "Discard.h"
#include "Pcm.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr int stepCount = 49;

// Step sizes 16 * 1.1^i, kept in integers as the fraction l / p.
void fillStepSizes(int (&stepSizes)[stepCount])
{
    int l = 1;
    int p = 1;
    for (int i = 0; i < stepCount; ++i) {
        stepSizes[i] = l * 16 / p;
        l *= 11;
        p *= 10;
        if (p > 100000) {
            l /= 10;
            p /= 10;
        }
    }
}

struct Decoder {
    int stepSizes[stepCount];
    int now = 2047;
    int adp = 0;

    Decoder() { fillStepSizes(stepSizes); }

    // One 4-bit code; returns the output byte, the top 8 of 12 bits.
    unsigned char decode(int code)
    {
        static const int stepChanges[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
        const int s = (code & 8 ? -1 : 1) * stepSizes[adp];
        now += s / 8;
        if (code & 1)
            now += s / 4;
        if (code & 2)
            now += s / 2;
        if (code & 4)
            now += s;
        if (now > 4095)
            now = 4095;
        if (now < 0)
            now = 0;
        adp += stepChanges[code];
        if (adp > stepCount - 1)
            adp = stepCount - 1;
        if (adp < 0)
            adp = 0;
        return static_cast<unsigned char>(now >> 4);
    }
};

// Low nibble first.
std::vector<unsigned char> decodeAdpcm(const std::uint8_t* stored, std::size_t size)
{
    Decoder decoder;
    std::vector<unsigned char> samples;
    for (std::size_t i = 0; i < size; ++i) {
        samples.push_back(decoder.decode(stored[i] & 0x0F));
        samples.push_back(decoder.decode(stored[i] >> 4));
    }
    return samples;
}

std::vector<unsigned char> decode8Bit(const std::uint8_t* stored, std::size_t size)
{
    std::vector<unsigned char> samples;
    for (std::size_t i = 0; i < size; ++i)
        samples.push_back(static_cast<unsigned char>(stored[i] ^ 0x80));
    return samples;
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

    const std::vector<unsigned char> expected = adpcm ? decodeAdpcm(stored, storedSize) : decode8Bit(stored, storedSize);
    check(std::vector<unsigned char>(pcm.getU8Data(), pcm.getU8Data() + pcm.getU8Size()) == expected);
    return 0;
}
