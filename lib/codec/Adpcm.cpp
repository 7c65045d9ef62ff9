#include "Adpcm.h"

// Carries 1.1^i as the fraction l / p and trims both once p passes 100000;
// no intermediate value leaves 32 bits.
void Adpcm::fillStepSizes(std::int16_t (&stepSizes)[stepCount])
{
    std::int32_t l = 1;
    std::int32_t p = 1;
    for (int i = 0; i < stepCount; ++i) {
        stepSizes[i] = static_cast<std::int16_t>(l * 16 / p);
        l *= 11;
        p *= 10;
        if (p > 100000) {
            l /= 10;
            p /= 10;
        }
    }
}

// Each term is truncated toward zero, so a negative code mirrors its
// positive twin.
int Adpcm::codeDifference(int stepSize, unsigned code)
{
    const int s = (code & 8) ? -stepSize : stepSize;
    int difference = s / 8;
    if (code & 1)
        difference += s / 4;
    if (code & 2)
        difference += s / 2;
    if (code & 4)
        difference += s;
    return difference;
}

int Adpcm::nextStepIndex(int stepIndex, unsigned code)
{
    const int next = stepIndex + stepChange[code & 15];
    return next < 0 ? 0 : next > maxStepIndex ? maxStepIndex : next;
}

namespace {

Adpcm::Tables buildTables()
{
    std::int16_t stepSize[Adpcm::stepCount];
    Adpcm::fillStepSizes(stepSize);
    Adpcm::Tables t{};
    for (int adp = 0; adp < Adpcm::stepCount; ++adp) {
        for (unsigned code = 0; code < Adpcm::codeCount; ++code) {
            t.difference[adp][code] = static_cast<std::int16_t>(Adpcm::codeDifference(stepSize[adp], code));
            t.nextStep[adp][code] = static_cast<std::uint8_t>(Adpcm::nextStepIndex(adp, code));
        }
    }
    for (int adp = 0; adp < Adpcm::stepCount; ++adp) {
        for (unsigned byte = 0; byte < 256; ++byte)
            t.nextStepAfterByte[adp][byte] = t.nextStep[t.nextStep[adp][byte & 15]][byte >> 4];
    }
    return t;
}

} // namespace

const Adpcm::Tables& Adpcm::tables()
{
    static const Tables built = buildTables();
    return built;
}

void Adpcm::decodeBytesSerially(const unsigned char* stored, std::size_t count, unsigned char* out)
{
    const Tables& t = tables();
    int sample = now;
    unsigned step = static_cast<unsigned>(adp);
    const unsigned char* const end = stored + count;
    for (; stored != end; ++stored) {
        const unsigned byte = *stored;
        sample = clampSample(sample + t.difference[step][byte & 15]);
        *out++ = static_cast<unsigned char>(sample >> 4);
        sample = clampSample(sample + t.difference[t.nextStep[step][byte & 15]][byte >> 4]);
        *out++ = static_cast<unsigned char>(sample >> 4);
        step = t.nextStepAfterByte[step][byte];
    }
    now = sample;
    adp = static_cast<int>(step);
}
