#ifndef WBK_ADPCM_PARALLEL_H
#define WBK_ADPCM_PARALLEL_H

#include "Adpcm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The ADPCM decoder spread over SIMD lanes: the same output bytes and end
// state as Adpcm::decodeBytesSerially, several times faster on long runs.
// It picks at run time the widest instruction set the processor offers
// (through Highway); how the serial chain becomes parallel is told in
// AdpcmParallel.cpp.
class AdpcmParallel {
public:
    // Decodes `count` stored bytes into 2 * count outputs, continuing from
    // and advancing `decoder`. Whole blocks of stored bytes go through the
    // lanes; the few bytes after the last block through the plain loop.
    static void decodeBytes(Adpcm& decoder, const unsigned char* stored, std::size_t count, unsigned char* out);
    // The instruction sets (Highway targets) this decoder was built for that
    // the processor runs, best first: tests force each in turn with
    // hwy::SetSupportedTargetsForTest. Only this file knows them all, since
    // it is built with extra targets enabled.
    static std::vector<std::int64_t> targets();
};

#endif
