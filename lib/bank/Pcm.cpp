#include "Pcm.h"

#include "Adpcm.h"
#include "Bank.h"
#include "KovaInputStream.h"
#include "SampleDecoder.h"

#include "audio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>

Pcm::Pcm(unsigned char type, KovaInputStream& wbk) : type(type)
{
    wbk.read(fileName, Bank::nameSize);
    fileName[Bank::nameSize] = 0;
    PcmRate = wbk.get16();
    sizeOfAdpcm = static_cast<std::uint32_t>(wbk.get32());
    // Refuses sizes beyond the file (and beyond 2^31) before allocating.
    wbk.requireRemaining(sizeOfAdpcm);
    adpcmData.reset(new unsigned char[sizeOfAdpcm]);
    wbk.read(adpcmData.get(), sizeOfAdpcm);
    adpcm2U8();
}

Pcm::Pcm(const Bank& bank, const BankEntry& entry)
    : type(entry.type), PcmRate(entry.rate), sizeOfAdpcm(entry.size)
{
    // The decoded size is counted in 32 bits.
    if (entry.decodedSize() > UINT32_MAX)
        throw BankError("the entry is too large to decode in memory", EFBIG);
    adpcmData.reset(new unsigned char[entry.size]);
    std::copy(entry.name.begin(), entry.name.end(), fileName);
    bank.readData(entry, adpcmData.get());
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
        signedToUnsigned(adpcmData.get(), sizeOfAdpcm, u8Data.get());
    }
    adpcmData.reset();
}

void Pcm::signedToUnsigned(const unsigned char* stored, std::size_t count, unsigned char* out)
{
    SampleDecoder::signedToUnsigned(stored, count, out);
}

void Pcm::decodeAdpcm()
{
    fillAdpTable();
    Adpcm decoder;
    SampleDecoder::decodeAdpcm(decoder, adpcmData.get(), sizeOfAdpcm, u8Data.get());
    now = static_cast<std::int16_t>(decoder.sample());
    adp = static_cast<std::int16_t>(decoder.stepIndex());
}

void Pcm::fillAdpTable()
{
    Adpcm::fillStepSizes(adp_table);
}

// One code applied the plain way, from the step sizes; the decode loop does
// the same through the codec's tables.
void Pcm::calcSub(unsigned char data)
{
    now = static_cast<std::int16_t>(Adpcm::clampSample(now + Adpcm::codeDifference(adp_table[adp], data)));
    adp = static_cast<std::int16_t>(Adpcm::nextStepIndex(adp, data));
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
