#include "sampleHeader.h"

#include <algorithm>
#include <vector>

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

bool readDataInChunks(KovaInputStream& wbk, std::uint32_t size,
                      const std::function<bool(const unsigned char*, std::size_t)>& consume)
{
    std::vector<unsigned char> chunk(std::min<std::size_t>(size, dataChunkSize));
    for (std::uint32_t left = size; left > 0;) {
        const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::size_t>(left, chunk.size()));
        wbk.read(chunk.data(), count);
        left -= count;
        if (!consume(chunk.data(), count)) {
            wbk.skip(left);
            return false;
        }
    }
    return true;
}
