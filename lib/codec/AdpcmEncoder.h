#ifndef WBK_ADPCM_ENCODER_H
#define WBK_ADPCM_ENCODER_H

#include "Adpcm.h"
#include "AdpcmSearch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Encodes signed 16-bit mono samples into the 4-bit ADPCM codes of sound
// banks, two per byte, low nibble first, starting from the decoder's start
// state. It is closed-loop: every candidate code is run through the codec's
// own decoder state (Adpcm), so what it chooses is exactly what a player
// decodes, and decoding never drifts.
//
// Search: a beam of `width` code sequences. For each sample the sequences
// are extended by the codes, each scored by the squared error of the
// decoder's 8-bit output against the sample, and the `width` cheapest
// extensions are kept, no two ending in nearly the same decoder state (same
// step index, samples within the same four values). Width 1 is the greedy
// closed loop. The default width and delay were chosen with `make bench`:
// wider or later buys little more and costs speed.
//
// Delay: a code is settled once `settleDelay` samples have followed it. The
// cheapest sequence decides it and the sequences that disagree are dropped,
// so the encoder can be fed in blocks of any size (a long input never has
// to be held whole) and the bytes are the same as from one call. finish()
// settles the rest from the cheapest sequence.
//
// An odd number of samples is padded with one code, chosen the same way for
// a repeat of the last sample, so that the last byte is complete.
//
// The search scores its candidates in SIMD lanes (AdpcmSearch) and chooses
// exactly as the plain search, one candidate after another, which stays as
// the reference: both give the same bytes. The greedy search settles every
// code at once, as nothing can change it.
class AdpcmEncoder {
public:
    // `best`: in lanes where that is faster on this processor (always for
    // the greedy search), else plain.
    enum class Search { best, lanes, plain };

    static constexpr int greedyWidth = 1;
    static constexpr int defaultWidth = 13;
    static constexpr int maxWidth = 64;
    static constexpr int settleDelay = 64;

    // `width` is clamped to 1..maxWidth.
    explicit AdpcmEncoder(int width = defaultWidth, Search search = Search::best);

    // Takes `count` samples and appends to `bytes` every byte whose codes are
    // settled. When `outputs` is given, the decoder's 8-bit output for every
    // settled code is appended to it too.
    void encode(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                std::vector<unsigned char>* outputs = nullptr);
    // Pads an odd input and settles every remaining code. The encoder takes
    // no more samples afterwards.
    void finish(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs = nullptr);

    // What decides every later choice and output: the paths in their order
    // (decoder states, costs, unsettled codes) and the decoder after the
    // settled codes. Two encoders of one width and search, fed the same
    // samples from here on, settle the same codes when their search states
    // are equal, however they got there.
    struct SearchState;
    SearchState searchState() const;

private:
    // One code sequence of the beam: the decoder state at its end, its total
    // error, and its last settleDelay codes, four bits each, kept in a ring
    // indexed by the code's position (small, as paths are copied a lot).
    struct Path {
        static constexpr int codesPerWord = 16;
        static constexpr int words = settleDelay / codesPerWord;

        Adpcm state;
        std::int64_t cost = 0;
        std::uint64_t recent[words] = {};

        unsigned code(std::uint64_t position) const
        {
            return static_cast<unsigned>(recent[position / codesPerWord % words] >> shiftOf(position)) & 15;
        }
        void setCode(std::uint64_t position, unsigned code)
        {
            std::uint64_t& word = recent[position / codesPerWord % words];
            word = (word & ~(std::uint64_t{15} << shiftOf(position))) | std::uint64_t{code} << shiftOf(position);
        }
        static unsigned shiftOf(std::uint64_t position) { return position % codesPerWord * 4; }
        // The `count` codes from `first` on, numbered from 0; zeros after them.
        void renumberCodes(std::uint64_t first, std::uint64_t count);
    };
    static_assert(settleDelay % Path::codesPerWord == 0, "the ring holds whole words");
public:
    struct SearchState {
        std::vector<Path> paths;  // their codes numbered from the oldest unsettled one
        Adpcm settledState;
        std::uint64_t unsettled = 0;  // codes chosen but not settled yet

        bool operator==(const SearchState& other) const;
    };

private:
    // An extension of a path by one code, waiting to be chosen.
    struct Candidate {
        std::int64_t cost;
        Adpcm state;
        std::uint16_t parent;
        std::uint16_t code;
    };

    // A path's extensions, cheapest first: the next one below the target
    // and the next one above it.
    struct Cursor {
        Cursor(const Path& path, std::uint16_t parent, std::int32_t target);
        std::int64_t nextCost() const { return std::min(belowNext.cost, aboveNext.cost); }
        bool exhausted() const { return nextCost() == INT64_MAX; }
        Candidate take(const Path& path, std::int32_t target);
        Candidate at(const Path& path, int position, std::int32_t target) const;
        Candidate candidate(const Path& path, int position, const Adpcm& state, std::int32_t target) const;

        const Adpcm::Tables& tables;
        std::uint16_t parent;
        int below, above;
        Candidate belowNext, aboveNext;
    };

    void feed(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
              std::vector<unsigned char>* outputs);
    void feedGreedily(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                      std::vector<unsigned char>* outputs);
    void step(std::int16_t sample);
    static void extend(Path& path, const Path& parent, const Adpcm& state, unsigned code, std::int64_t cost,
                       std::uint64_t position);
    void chooseInLanes(std::int32_t target);
    void loadPaths();
    void startReaching();
    std::int64_t limitOf(std::int64_t reach) const;
    void reachBetween(std::int32_t target, std::int64_t above, std::int64_t atMost);
    void reachStates(std::size_t keptCount);
    void chooseFromReached();
    void startChoosing();
    void startCursors(std::int32_t target);
    void chooseExtensions(std::int32_t target);
    static std::int64_t keyOf(const Cursor& cursor, std::size_t index);
    void settleOldest(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs);
    void settle(unsigned code, std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs);

    int width;
    Search search;
    std::vector<Path> paths;
    std::vector<Path> nextPaths;
    std::vector<Cursor> cursors;
    std::vector<std::int64_t> keys;
    std::vector<std::uint8_t> order;  // cursor indices by their keys, least first
    // The step at which a decoder state (stateKey) was last chosen, so that a
    // candidate near one already chosen is found with one lookup.
    std::vector<std::uint32_t> chosenAt;
    std::uint32_t stepNumber = 0;
    std::vector<Candidate> chosen;
    // The search in lanes: the paths' states and costs; the extensions
    // kept, those costing from just above one reach to within a wider one
    // (the first reach follows `margin`, which nearly always suffices); the
    // states they reach and the least key to each.
    AdpcmSearch::Beam beam{};
    std::vector<std::int32_t> pathSamples, pathSteps;
    std::vector<std::int64_t> pathCosts;
    std::vector<std::uint32_t> keptSquares;
    std::vector<std::int32_t> keptReaches;
    std::vector<std::int32_t> reachedStates;
    std::vector<std::int64_t> reachedKeys, sortedKeys;
    // By state key: the least key to the state (low bits) in the round
    // (tagged in the high bits) in which it was last reached.
    std::vector<std::uint64_t> leastAt;
    std::uint64_t reachTag = 0;
    std::size_t reachedCount = 0;
    std::int64_t margin = 0;
    std::vector<std::uint8_t> greedyCodes, greedyOutputs;
    std::uint64_t fed = 0;
    std::uint64_t settled = 0;
    std::int16_t lastSample = 0;
    Adpcm settledState;  // the decoder after the settled codes: their outputs
    unsigned lowNibble = 0;
    bool finished = false;
};

#endif
