#include "Pcm.h"

#include "KovaInputStream.h"

#include "audio.h"

#include <algorithm>
#include <climits>
#include <cstddef>

namespace {

constexpr int stepCount = 49;
constexpr int codeCount = 16;
constexpr int maxSample = 4095;

// The signed difference one code adds at the given step size. Each term is
// truncated toward zero, so a negative code mirrors its positive twin.
int codeDifference(int step, unsigned char code)
{
    const int s = (code & 8) ? -step : step;
    int difference = s / 8;
    if (code & 1)
        difference += s / 4;
    if (code & 2)
        difference += s / 2;
    if (code & 4)
        difference += s;
    return difference;
}

int nextStepIndex(int adp, unsigned char code)
{
    static const std::int16_t step_table[codeCount] = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                       -1, -1, -1, -1, 2, 4, 6, 8};
    return std::clamp(adp + step_table[code], 0, stepCount - 1);
}

// Both tests look at the unclamped value, which keeps the decode loop's
// chain from one sample to the next short.
int clampSample(int sample)
{
    const int belowMax = sample > maxSample ? maxSample : sample;
    return sample < 0 ? 0 : belowMax;
}

// What each code does at each step index, worked out once per entry so that
// decoding is lookups, adds and clamps. The step index after a whole byte is
// kept too, scaled to the start of its row, so that the loop carries a single
// lookup per byte from one step index to the next.
struct CodeTables {
    explicit CodeTables(const std::int16_t* stepSizes)
    {
        for (int adp = 0; adp < stepCount; ++adp) {
            for (unsigned char code = 0; code < codeCount; ++code) {
                difference[adp][code] = static_cast<std::int16_t>(codeDifference(stepSizes[adp], code));
                nextStep[adp][code] = static_cast<std::uint8_t>(nextStepIndex(adp, code));
            }
        }
        for (int adp = 0; adp < stepCount; ++adp) {
            for (int byte = 0; byte < 256; ++byte) {
                const int afterLow = nextStep[adp][byte & 0x0F];
                nextRowAfterByte[adp * 256 + byte] = static_cast<std::uint16_t>(256 * nextStep[afterLow][byte >> 4]);
            }
        }
    }

    std::int16_t difference[stepCount][codeCount];
    std::uint8_t nextStep[stepCount][codeCount];
    std::uint16_t nextRowAfterByte[stepCount * 256];
};

} // namespace

Pcm::Pcm(unsigned char type, KovaInputStream& wbk) : type(type)
{
    wbk.read(fileName, 16);
    fileName[16] = 0;
    PcmRate = wbk.get16();
    sizeOfAdpcm = static_cast<std::uint32_t>(wbk.get32());
    // Refuses sizes beyond the file (and beyond 2^31) before allocating.
    wbk.requireRemaining(sizeOfAdpcm);
    adpcmData.reset(new unsigned char[sizeOfAdpcm]);
    wbk.read(adpcmData.get(), sizeOfAdpcm);
    adpcm2U8();
}

Pcm::Pcm(unsigned char type, const unsigned char* stored, int size)
    : type(type), sizeOfAdpcm(static_cast<std::uint32_t>(size)), adpcmData(new unsigned char[size])
{
    std::copy_n(stored, size, adpcmData.get());
    adpcm2U8();
}

void Pcm::adpcm2U8()
{
    sizeOfU8 = isAdpcm() ? 2 * sizeOfAdpcm : sizeOfAdpcm;
    u8Data.reset(new unsigned char[sizeOfU8]);
    if (isAdpcm()) {
        decodeAdpcm();
    } else {
        std::transform(adpcmData.get(), adpcmData.get() + sizeOfAdpcm, u8Data.get(),
                       [](unsigned char byte) { return static_cast<unsigned char>(byte ^ 0x80); });
    }
    adpcmData.reset();
}

void Pcm::decodeAdpcm()
{
    now = 2047;
    adp = 0;
    fillAdpTable();
    const auto tables = std::make_unique<CodeTables>(adp_table);

    int sample = now;
    std::size_t row = 0;  // adp * 256, where adp's row of nextRowAfterByte starts
    unsigned char* out = u8Data.get();
    const auto decode = [&](int difference) {
        sample = clampSample(sample + difference);
        *out++ = static_cast<unsigned char>(sample >> 4);
    };
    const unsigned char* const end = adpcmData.get() + sizeOfAdpcm;
    for (const unsigned char* stored = adpcmData.get(); stored != end; ++stored) {
        const std::size_t step = row / 256;
        const unsigned low = *stored & 0x0F;
        const unsigned high = *stored >> 4;
        decode(tables->difference[step][low]);
        decode(tables->difference[tables->nextStep[step][low]][high]);
        row = tables->nextRowAfterByte[row + *stored];
    }
    now = static_cast<std::int16_t>(sample);
    adp = static_cast<std::int16_t>(row / 256);
}

// Step sizes 16 * 1.1^i, kept exact in integers by carrying the power as the
// fraction l / p and trimming both once p passes 100000.
void Pcm::fillAdpTable()
{
    std::int32_t l = 1;
    std::int32_t p = 1;
    for (int i = 0; i < stepCount; ++i) {
        adp_table[i] = static_cast<std::int16_t>(l * 16 / p);
        l *= 11;
        p *= 10;
        if (p > 100000) {
            l /= 10;
            p /= 10;
        }
    }
}

// One code applied the plain way; the decode loop does the same through
// CodeTables.
void Pcm::calcSub(unsigned char data)
{
    now = static_cast<std::int16_t>(clampSample(now + codeDifference(adp_table[adp], data)));
    adp = static_cast<std::int16_t>(nextStepIndex(adp, data));
}

int Pcm::play() const
{
    // The device takes a signed count: a decoded buffer beyond 2 GiB goes in parts.
    const unsigned char* data = u8Data.get();
    for (std::uint32_t left = sizeOfU8; left > 0;) {
        const int count = static_cast<int>(std::min<std::uint32_t>(left, INT_MAX));
        if (!Audio::play(data, count))
            return 0;
        data += count;
        left -= count;
    }
    return 1;
}

// A stream record counts bytes in 32 signed bits, so a decoded buffer beyond
// 2 GiB streams its first 2 GiB.
SAMPLE_DATA Pcm::streamRecord(int isLoop) const
{
    return {u8Data.get(), static_cast<std::int32_t>(std::min<std::uint32_t>(sizeOfU8, INT32_MAX)), isLoop};
}

void Pcm::play(int channel, int isLoop) const
{
    KovaAudio::playAudio(streamRecord(isLoop), channel);
}

void Pcm::que(int channel, int isLoop) const
{
    KovaAudio::queAudioData(streamRecord(isLoop), channel);
}
