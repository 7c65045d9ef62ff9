#ifndef WBKDECK_SAMPLE_HEADER_H
#define WBKDECK_SAMPLE_HEADER_H

#include "KovaInputStream.h"

#include <cstddef>
#include <cstdint>
#include <functional>

constexpr int sampleNameSize = 16;
// Entry data are read in pieces of at most this size, so that memory stays
// bounded whatever the size of an entry.
constexpr std::size_t dataChunkSize = 1 << 20;

// The fields of a sample entry in front of its data.
struct SampleHeader {
    int type = 0;
    char name[sampleNameSize + 1] = {};  // always zero-terminated
    int rate = 0;
    std::uint32_t size = 0;
};

// True while the read position is before the end of the bank.
bool hasMoreSamples(KovaInputStream& wbk, std::int64_t endPosition);

// Reads type, name, rate and size; a size beyond what is left in the bank
// ends the process with "Unexpected end of file.".
SampleHeader readSampleHeader(KovaInputStream& wbk);

// Hands the `size` data bytes of an entry to `consume` in pieces of at most
// dataChunkSize bytes. Once `consume` returns false the rest is passed over.
// True when every piece was consumed.
bool readDataInChunks(KovaInputStream& wbk, std::uint32_t size,
                      const std::function<bool(const unsigned char*, std::size_t)>& consume);

inline bool isAdpcm(int type) { return type == 1 || type == 3; }

// The unsigned 8-bit samples that `storedSize` bytes decode to: two per ADPCM byte.
inline std::size_t decodedSize(int type, std::size_t storedSize)
{
    return isAdpcm(type) ? 2 * storedSize : storedSize;
}

#endif
