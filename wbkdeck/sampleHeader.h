#ifndef WBKDECK_SAMPLE_HEADER_H
#define WBKDECK_SAMPLE_HEADER_H

#include "KovaInputStream.h"

#include <cstdint>

constexpr int sampleNameSize = 16;

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

inline bool isAdpcm(int type) { return type == 1 || type == 3; }

#endif
