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
// those below the target before those above it, nearer ones first. Keys are
// whole numbers held exactly in doubles.
class AdpcmSearch {
public:
    static constexpr int positions = Adpcm::codeCount;
    static constexpr int tieBits = 5;     // below/above and the distance from the target
    static constexpr int parentBits = 6;  // the path's place, below 64
    // Two decoder states with the same key (the same step index, samples
    // within the same four values) lead to nearly the same futures; the
    // search keeps only the cheaper.
    static constexpr int sampleBuckets = (Adpcm::maxSample >> 2) + 1;
    static constexpr int stateKeys = Adpcm::stepCount * sampleBuckets;
    static int stateKey(const Adpcm& state) { return state.stepIndex() * sampleBuckets + (state.sample() >> 2); }
    static constexpr std::uint16_t codeByPosition[positions] = {15, 14, 13, 12, 11, 10, 9, 8,
                                                                0,  1,  2,  3,  4,  5,  6, 7};

    // The decoder states and costs of a beam's paths, one array each.
    struct Paths {
        const std::int32_t* samples;
        const std::int32_t* stepIndices;
        const double* costs;  // whole numbers below 2^40
        std::size_t count;
    };

    // What a key holds.
    static std::int64_t costOf(double key) { return static_cast<std::int64_t>(key) >> (tieBits + parentBits); }
    static unsigned parentOf(double key)
    {
        return static_cast<unsigned>(static_cast<std::int64_t>(key) >> tieBits) & ((1u << parentBits) - 1);
    }
    static unsigned codeOf(double key)
    {
        const unsigned tie = static_cast<unsigned>(static_cast<std::int64_t>(key)) & ((1u << tieBits) - 1);
        return codeByPosition[tie < positions ? positions - 1 - tie : tie - positions];
    }
    // The least key of any candidate of that cost or more.
    static double lowestKeyOf(std::int64_t cost) { return static_cast<double>(cost << (tieBits + parentBits)); }

    // Writes the keys of all 16 * paths.count candidates for `target` (the
    // sample plus 32768) to `keys`, path after path, and the state keys
    // they lead to to `states`; copies those of keys at most `bound` as
    // keepBetween does and returns how many.
    static std::size_t scoreExtensions(const Paths& paths, std::int32_t target, double bound, double* keys,
                                       std::int64_t* states, double* keptKeys, std::int64_t* keptStates);
    // Copies the keys above `above` and at most `atMost` among `count` (a
    // multiple of 16), and their state keys, in their order; returns how
    // many. The copies have room for count + 16.
    static std::size_t keepBetween(const double* keys, const std::int64_t* states, std::size_t count, double above,
                                   double atMost, double* keptKeys, std::int64_t* keptStates);
    // Puts the `count` keys in increasing order into `sorted`, each at its
    // rank among them (keys are all different). `keys` has room for 16 more,
    // which it fills.
    static void sortKeys(double* keys, std::size_t count, double* sorted);
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
