#ifndef WBK_ADPCM_SEARCH_H
#define WBK_ADPCM_SEARCH_H

#include "Adpcm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The ADPCM encoder's candidate scoring spread over SIMD lanes (through
// Highway, the widest instruction set the processor offers, picked at run
// time). AdpcmEncoder chooses from what it computes; its plain search stays
// as the reference these give the same choices as. How the search becomes
// parallel is told in AdpcmSearch.cpp.
//
// Candidates: a path (decoder state and cost) extended by one code. The 16
// codes are taken in the order of the sample they lead to, lowest first
// (codeByPosition). A candidate's key orders candidates exactly as the plain
// search takes them: by cost, then by the path's place in the beam, then
// those below the target before those above it, nearer ones first:
//     key = cost << 11 | path << 5 | tie.
// The lanes work out a candidate's squared error, the state key it reaches
// and its key's low 11 bits; the encoder adds its path's cost.
class AdpcmSearch {
public:
    static constexpr int positions = Adpcm::codeCount;
    static constexpr int tieBits = 5;     // below/above and the distance from the target
    static constexpr int parentBits = 6;  // the path's place, below 64
    static constexpr int lowBits = tieBits + parentBits;
    static constexpr int maxPaths = 1 << parentBits;
    static constexpr int costsReadPast = 8;
    // Two decoder states with the same key (the same step index, samples
    // within the same four values) lead to nearly the same futures; the
    // search keeps only the cheaper. Keys of near samples lie near each
    // other, whatever their step index, as do the states one sample reaches.
    // The step index takes the low 6 bits, so that the lanes build a key
    // with shifts alone.
    static constexpr int stepKeyBits = 6;
    static constexpr int sampleBuckets = (Adpcm::maxSample >> 2) + 1;
    static_assert(Adpcm::stepCount <= 1 << stepKeyBits, "a step index fits its bits");
    static constexpr int stateKeys = sampleBuckets << stepKeyBits;
    static int stateKey(const Adpcm& state) { return (state.sample() >> 2) << stepKeyBits | state.stepIndex(); }
    static constexpr std::uint16_t codeByPosition[positions] = {15, 14, 13, 12, 11, 10, 9, 8,
                                                                0,  1,  2,  3,  4,  5,  6, 7};

    // The decoder states and costs of a beam's paths, one array each, in
    // key order (their costs never fall), and the extensions wanted: those
    // that cost more than `above` and at most `atMost`. The costs are read
    // in whole vectors: costsReadPast entries past the count too.
    struct Paths {
        const std::int32_t* samples;
        const std::int32_t* stepIndices;
        const std::int64_t* costs;
        std::size_t count;
        std::int64_t above, atMost;
    };
    // The extensions kept: their squared errors, and the state keys they
    // reach with their keys' low bits below (stateKeyOf, lowKeyOf).
    struct Kept {
        std::uint32_t* squares;
        std::int32_t* reaches;
    };
    static std::int32_t stateKeyOf(std::int32_t reach) { return reach >> lowBits; }
    static std::int32_t lowKeyOf(std::int32_t reach) { return reach & ((1 << lowBits) - 1); }

    static std::int64_t keyOf(std::int64_t cost, std::int32_t lowKey) { return cost << lowBits | lowKey; }
    // What a key holds; the path and code are in its low bits alone too.
    static std::int64_t costOf(std::int64_t key) { return key >> lowBits; }
    static unsigned parentOf(std::int64_t key) { return static_cast<unsigned>(key >> tieBits) & ((1u << parentBits) - 1); }
    static unsigned codeOf(std::int64_t key)
    {
        const unsigned tie = static_cast<unsigned>(key) & ((1u << tieBits) - 1);
        return codeByPosition[tie < positions ? positions - 1 - tie : tie - positions];
    }

    // The beam's steps in lanes, for the instruction set Highway picks (the
    // best the processor runs, or what a test allows), looked up once: an
    // encoder calls them for every sample.
    struct Beam {
        // Extends every path by the 16 codes for `target` (the sample plus
        // 32768) and keeps the extensions whose squared error is wanted,
        // path after path; returns how many. `kept` has room for 16 * count
        // + 16.
        std::size_t (*keepExtensions)(const Paths& paths, std::int32_t target, const Kept& kept);
        // Puts the `count` keys in increasing order into `sorted`, each at
        // its rank among them (keys are all different). `keys` is readable
        // 64 past the count.
        void (*sortKeys)(const std::int64_t* keys, std::size_t count, std::int64_t* sorted);
    };
    static Beam beam();
    // The greedy search: for each of `count` samples, the code whose output
    // comes closest (ties as the plain search breaks them), from the state
    // `decoder` is in, which it advances. Writes one code and its output per
    // sample.
    static void chooseGreedily(Adpcm& decoder, const std::int16_t* samples, std::size_t count,
                               std::uint8_t* codes, std::uint8_t* outputs);

    // Whether a beam wider than one chooses faster here than the plain
    // search does (with wide enough vectors).
    static bool beamPaysOff();

    // The instruction sets (Highway targets) built for that the processor
    // runs, best first, for tests forcing each in turn.
    static std::vector<std::int64_t> targets();
};

#endif
