#include "SampleDecoder.h"

#include "AdpcmParallel.h"

#include <algorithm>

void SampleDecoder::signedToUnsigned(const unsigned char* stored, std::size_t count, unsigned char* out)
{
    std::transform(stored, stored + count, out, [](unsigned char byte) { return static_cast<unsigned char>(byte ^ 0x80); });
}

void SampleDecoder::decodeAdpcm(Adpcm& decoder, const unsigned char* stored, std::size_t count, unsigned char* out)
{
    if (count >= parallelFromBytes)
        AdpcmParallel::decodeBytes(decoder, stored, count, out);
    else
        decoder.decodeBytesSerially(stored, count, out);
}

void SampleDecoder::decode(const unsigned char* stored, std::size_t count, unsigned char* out)
{
    if (adpcm)
        decodeAdpcm(decoder, stored, count, out);
    else
        signedToUnsigned(stored, count, out);
}
