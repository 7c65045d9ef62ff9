#include "sampleHeader.h"

bool hasMoreSamples(KovaInputStream& wbk, std::int64_t endPosition)
{
    const std::int64_t position = wbk.tellg();
    return position >= 0 && position < endPosition;
}

SampleHeader readSampleHeader(KovaInputStream& wbk)
{
    SampleHeader header;
    // The type byte is taken by the plain get, outside the byte budget.
    header.type = wbk.get() & 0xFF;
    wbk.read(header.name, sampleNameSize);
    header.rate = wbk.get16();
    header.size = static_cast<std::uint32_t>(wbk.get32());
    wbk.requireRemaining(header.size);
    return header;
}
