// The ADPCM encoder's candidate scoring spread over SIMD lanes.
//
// Extending a path by a code is a pure function of the path's decoder state
// (sample, step index), its cost and the code: the new sample is
// clamp(sample + difference[step][code], 0, 4095), the output its top 8 bits,
// the cost grows by (output * 256 - target)^2. Nothing is shared between the
// 16 codes of a path, nor between the paths of the beam, so each candidate
// takes one lane: the difference table is read a row (one step index) at a
// time with the codes in the order of the sample they lead to, and the
// adds, clamps, shifts and squares run on all the row's codes at once.
//
// Choosing needs a total order equal to the plain search's: it takes
// candidates by cost, then by the path's place in the beam, then within a
// path those below the target (output * 256 < target) before those above,
// nearer ones first. The order along the codes makes the side a lane-wise
// compare and the distance the code's place, so each candidate's key is
//     (cost * 64 + path) * 32 + (below ? 15 - place : 16 + place),
// a whole number below 2^51. Costs stay below 2^40: the paths of a beam
// agree on every settled code, and the encoder rebases them to the
// cheapest, so they differ by the errors of at most 65 samples, each below
// 2^32. The lanes work in 32 bits: the squared error is below 2^32 and the
// key's low 11 bits do not depend on the cost; the encoder adds the path's
// cost to the squared error.
//
// Of the candidates that reach one decoder state (AdpcmEncoder's state key)
// only the cheapest can be chosen, so the choice is the `width` least keys
// among those cheapest ones. The encoder wants only the candidates within a
// reach of the cheapest path's cost: for each path, those whose squared
// error is at most what the path's cost leaves of the reach, a bound the
// lanes compare with. These are compressed out of the lanes; the encoder
// finds the cheapest to each state and orders these here by rank: a key's
// place is the number of keys below it, counted in the lanes of four vectors
// of keys at once. When the reach holds too few states it is widened, and
// the lanes keep the squared errors from the old bound to the new one.
//
// The greedy search (a beam of one) cannot run samples side by side, as
// each starts from the state the one before chose. Its choice is the code
// nearest below the target or the one nearest above, as the outputs rise
// along the row; counting the row's differences below one bound finds
// them, and only those two are decoded. It is one chain of dependent steps,
// kept short (see chooseGreedily): the count is done in 16-bit fields of
// plain words, which waits far less than a vector compare and its mask.
#include "AdpcmSearch.h"

#include <algorithm>
#include <cstdint>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "AdpcmSearch.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set

#include <hwy/highway.h>

#ifndef WBK_ADPCM_SEARCH_ONCE
#define WBK_ADPCM_SEARCH_ONCE

namespace wbk_adpcm_search {

// The codec's difference and next step tables in 32-bit entries, each row
// in the order of the sample the codes lead to; the next step indices
// where they go in the lanes' reach (AdpcmSearch::Kept).
struct TablesByPosition {
    alignas(64) std::int32_t row[Adpcm::stepCount][AdpcmSearch::positions];
    alignas(64) std::int32_t nextStepKeys[Adpcm::stepCount][AdpcmSearch::positions];

    TablesByPosition()
    {
        const Adpcm::Tables& tables = Adpcm::tables();
        for (int step = 0; step < Adpcm::stepCount; ++step) {
            for (int position = 0; position < AdpcmSearch::positions; ++position) {
                const unsigned code = AdpcmSearch::codeByPosition[position];
                row[step][position] = tables.difference[step][code];
                nextStepKeys[step][position] = tables.nextStep[step][code] << AdpcmSearch::lowBits;
            }
        }
    }
};

const TablesByPosition& tablesByPosition()
{
    static const TablesByPosition table;
    return table;
}

} // namespace wbk_adpcm_search

#endif

HWY_BEFORE_NAMESPACE();
namespace wbk_adpcm_search {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Stores the lanes of `first` and `second` that `keep` selects, one after
// the other; returns how many.
#if HWY_TARGET <= HWY_AVX3
// Compressed in registers and stored whole: Zen 4 compresses into memory
// very slowly.
template <class DI, class M>
HWY_INLINE std::size_t keepLanes(DI di, hn::Vec<DI> first, hn::Vec<DI> second, M keep, std::int32_t* firstKept,
                                 std::int32_t* secondKept)
{
    hn::StoreU(hn::Compress(first, keep), di, firstKept);
    hn::StoreU(hn::Compress(second, keep), di, secondKept);
    return hn::CountTrue(di, keep);
}
#else
// Elsewhere Highway compresses through a table it copies at every call,
// slower than copying every lane and counting only those kept.
template <class DI, class M>
HWY_INLINE std::size_t keepLanes(DI di, hn::Vec<DI> first, hn::Vec<DI> second, M keep, std::int32_t* firstKept,
                                 std::int32_t* secondKept)
{
    constexpr std::size_t maxLanes = HWY_MAX_BYTES / sizeof(std::int32_t);
    HWY_ALIGN std::int32_t firstLanes[maxLanes];
    HWY_ALIGN std::int32_t secondLanes[maxLanes];
    HWY_ALIGN std::int32_t keptLanes[maxLanes];
    hn::Store(first, di, firstLanes);
    hn::Store(second, di, secondLanes);
    hn::Store(hn::VecFromMask(di, keep), di, keptLanes);
    std::size_t taken = 0;
    for (std::size_t lane = 0; lane < hn::Lanes(di); ++lane) {
        firstKept[taken] = firstLanes[lane];
        secondKept[taken] = secondLanes[lane];
        taken += keptLanes[lane] != 0;
    }
    return taken;
}
#endif

// One path's extensions by the codes at `first` onwards: keeps those whose
// squared error is `lowest` or more, by less than `range`, in `kept` from
// `taken` on; returns how many.
template <class DI>
HWY_INLINE std::size_t keepCodes(DI di, const std::int32_t* row, const std::int32_t* nextStep, int first,
                                 std::int32_t sample, std::int32_t target, hn::Vec<DI> parent,
                                 hn::Vec<hn::RebindToUnsigned<DI>> lowest, hn::Vec<hn::RebindToUnsigned<DI>> range,
                                 const AdpcmSearch::Kept& kept, std::size_t taken)
{
    const hn::RebindToUnsigned<DI> du;
    const auto next = hn::Min(hn::Max(hn::Add(hn::Set(di, sample), hn::Load(di, row + first)), hn::Zero(di)),
                              hn::Set(di, Adpcm::maxSample));
    const auto error = hn::Sub(hn::ShiftLeft<8>(hn::ShiftRight<4>(next)), hn::Set(di, target));
    const auto square = hn::BitCast(du, hn::Mul(error, error));
    const auto keep = hn::RebindMask(di, hn::Lt(hn::Sub(square, lowest), range));
    const auto place = hn::Iota(di, first);
    const auto tie = hn::IfThenElse(hn::Lt(error, hn::Zero(di)), hn::Sub(hn::Set(di, AdpcmSearch::positions - 1), place),
                                    hn::Add(hn::Set(di, AdpcmSearch::positions), place));
    // The state key's sample part, (next >> 2) << stepKeyBits, moved on
    // above the key's low bits; the next step index comes shifted already.
    constexpr int bucketShift = AdpcmSearch::stepKeyBits + AdpcmSearch::lowBits - 2;
    const auto bucket = hn::ShiftLeft<bucketShift>(hn::And(next, hn::Set(di, ~3)));
    const auto reach = hn::Or3(bucket, hn::Load(di, nextStep + first), hn::Or(tie, parent));
    return keepLanes(di, hn::BitCast(di, square), reach, keep, reinterpret_cast<std::int32_t*>(kept.squares + taken),
                     kept.reaches + taken);
}

// The squared errors that the extensions of paths of these costs may have
// to cost more than `above` and at most `atMost`: `lowest` or more, by less
// than `range` (in the low 32 bits of each). The bounds are the part of a
// cost difference a squared error can fill: none below zero, every one at
// the top (all squared errors are below 2^32 - 2^17). Returns how many
// paths have such extensions: after the first path that costs more than
// `atMost`, none has.
std::size_t boundSquares(const std::int64_t* costs, std::size_t count, std::int64_t above, std::int64_t atMost,
                         std::int64_t* lowest, std::int64_t* range)
{
    const hn::CappedTag<std::int64_t, AdpcmSearch::costsReadPast> d;
    const auto least = hn::Set(d, above + 1);
    const auto most = hn::Set(d, atMost);
    const auto squareWithin = [&](hn::Vec<decltype(d)> difference) {
        return hn::Min(hn::Max(difference, hn::Zero(d)), hn::Set(d, std::int64_t{UINT32_MAX} - 1));
    };
    std::size_t within = 0;
    for (std::size_t first = 0; first < count; first += hn::Lanes(d)) {
        const auto cost = hn::LoadU(d, costs + first);
        const auto lowestSquare = squareWithin(hn::Sub(least, cost));
        hn::StoreU(lowestSquare, d, lowest + first);
        hn::StoreU(hn::Add(hn::Sub(squareWithin(hn::Sub(most, cost)), lowestSquare), hn::Set(d, 1)), d, range + first);
        within += hn::CountTrue(d, hn::AndNot(hn::Gt(cost, most), hn::FirstN(d, count - first)));
    }
    return within;
}

std::size_t keepExtensions(const AdpcmSearch::Paths& paths, std::int32_t target, const AdpcmSearch::Kept& kept)
{
    // At most a row of codes to a vector, whatever the vectors' width.
    const hn::CappedTag<std::int32_t, AdpcmSearch::positions> di;
    const hn::RebindToUnsigned<decltype(di)> du;
    const int lanes = static_cast<int>(hn::Lanes(di));
    const TablesByPosition& tables = tablesByPosition();
    // Read once: the stores through `kept` could otherwise alias them.
    const AdpcmSearch::Paths within = paths;
    const AdpcmSearch::Kept into = kept;
    HWY_ALIGN std::int64_t lowest[AdpcmSearch::maxPaths + AdpcmSearch::costsReadPast];
    HWY_ALIGN std::int64_t range[AdpcmSearch::maxPaths + AdpcmSearch::costsReadPast];
    const std::size_t reaching = boundSquares(within.costs, within.count, within.above, within.atMost, lowest, range);
    std::size_t taken = 0;
    for (std::size_t path = 0; path < reaching; ++path) {
        const std::int32_t* row = tables.row[within.stepIndices[path]];
        const std::int32_t* nextStep = tables.nextStepKeys[within.stepIndices[path]];
        const auto parent = hn::Set(di, static_cast<std::int32_t>(path << AdpcmSearch::tieBits));
        const auto lowestSquare = hn::Set(du, static_cast<std::uint32_t>(lowest[path]));
        const auto squareRange = hn::Set(du, static_cast<std::uint32_t>(range[path]));
        for (int first = 0; first < AdpcmSearch::positions; first += lanes)
            taken += keepCodes(di, row, nextStep, first, within.samples[path], target, parent, lowestSquare,
                               squareRange, into, taken);
    }
    return taken;
}

// Puts the keys of one vector (`left` of them real) at their ranks.
template <class D>
HWY_INLINE void placeByRank(D d, hn::Vec<D> rank, const std::int64_t* keys, std::size_t left, std::int64_t* sorted)
{
    constexpr std::size_t maxLanes = HWY_MAX_BYTES / sizeof(std::int64_t);
    HWY_ALIGN std::int64_t ranks[maxLanes];
    hn::Store(rank, d, ranks);
    const std::size_t real = std::min(hn::Lanes(d), left);
    for (std::size_t lane = 0; lane < real; ++lane)
        sorted[ranks[lane]] = keys[lane];
}

// Ranks the keys of `vectors` vectors from `block` on among all `count`
// keys, each lane counting the keys below its own: one independent sum per
// vector per pass over the keys. `left` keys of the block are real.
template <int vectors, class D>
HWY_INLINE void rankBlock(D d, const std::int64_t* keys, std::size_t count, const std::int64_t* block,
                          std::size_t left, std::int64_t* sorted)
{
    const std::size_t lanes = hn::Lanes(d);
    const auto one = hn::Set(d, 1);
    // Keys are readable past the count; the vectors not ranked go unused.
    const auto keys0 = hn::LoadU(d, block);
    const auto keys1 = hn::LoadU(d, block + lanes);
    const auto keys2 = hn::LoadU(d, block + 2 * lanes);
    const auto keys3 = hn::LoadU(d, block + 3 * lanes);
    auto rank0 = hn::Zero(d), rank1 = hn::Zero(d), rank2 = hn::Zero(d), rank3 = hn::Zero(d);
    for (std::size_t i = 0; i < count; ++i) {
        const auto key = hn::Set(d, keys[i]);
        rank0 = hn::IfThenElse(hn::Lt(key, keys0), hn::Add(rank0, one), rank0);
        if (vectors > 1)
            rank1 = hn::IfThenElse(hn::Lt(key, keys1), hn::Add(rank1, one), rank1);
        if (vectors > 2)
            rank2 = hn::IfThenElse(hn::Lt(key, keys2), hn::Add(rank2, one), rank2);
        if (vectors > 3)
            rank3 = hn::IfThenElse(hn::Lt(key, keys3), hn::Add(rank3, one), rank3);
    }
    placeByRank(d, rank0, block, left, sorted);
    if (vectors > 1)
        placeByRank(d, rank1, block + lanes, left - lanes, sorted);
    if (vectors > 2)
        placeByRank(d, rank2, block + 2 * lanes, left - 2 * lanes, sorted);
    if (vectors > 3)
        placeByRank(d, rank3, block + 3 * lanes, left - 3 * lanes, sorted);
}

// Up to four vectors of keys at a time, only as many as there are keys.
void sortKeys(const std::int64_t* keys, std::size_t count, std::int64_t* sorted)
{
    // Four vectors read at most 64 keys past the count, whatever the
    // vectors' width.
    const hn::CappedTag<std::int64_t, 16> d;
    const std::size_t lanes = hn::Lanes(d);
    for (std::size_t first = 0; first < count; first += 4 * lanes) {
        const std::size_t left = count - first;
        if (left <= lanes)
            rankBlock<1>(d, keys, count, keys + first, left, sorted);
        else if (left <= 2 * lanes)
            rankBlock<2>(d, keys, count, keys + first, left, sorted);
        else if (left <= 3 * lanes)
            rankBlock<3>(d, keys, count, keys + first, left, sorted);
        else
            rankBlock<4>(d, keys, count, keys + first, left, sorted);
    }
}

// The greedy search counts the codes below the target with plain integer
// arithmetic on 16-bit fields, four to a 64-bit word, as a vector compare
// and its mask count wait several times longer: for a bound b, the field
// 0x8000 + b - 1 - difference has its top bit set exactly when the
// difference is below b. Everything stays well inside the fields (limits
// within +-8192, samples within 0..4095, differences within +-2910), so no
// field borrows from its neighbour. The search carries its decoder sample
// in all four fields (the sample times `spread`, a whole number that adding
// a spread difference keeps exact, and whose sign and size tell the clamp),
// so that no step of the chain has to spread it.
constexpr std::uint64_t spread = 0x0001000100010001;
constexpr std::uint64_t topBits = spread << 15;
constexpr std::int32_t fieldBias = 0x4000;

HWY_INLINE std::uint64_t spreadOf(std::int32_t value)
{
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value)) * spread;
}

// The greedy search's tables. The rows of differences, plus fieldBias, in
// fields, a row's four words at the step index times four. For each step
// index and each count of its row's differences below a bound: the two
// candidates, the last below and the first at or above it (both the first,
// or both the last, at the ends of the row), as their spread differences,
// codes, and the rows and pairs of the step index each leads to.
struct GreedyPair {
    std::uint16_t lowerNext, upperNext;  // the first pair of the next step index
    std::uint8_t lowerRow, upperRow;
    std::uint8_t lowerCode, upperCode;
};

struct GreedyTables {
    static constexpr int pairsPerStep = AdpcmSearch::positions + 1;
    static constexpr int words = AdpcmSearch::positions / 4;
    static constexpr int pairCount = Adpcm::stepCount * pairsPerStep;

    std::uint64_t rowFields[Adpcm::stepCount * words] = {};
    std::uint64_t lowerSpread[pairCount], upperSpread[pairCount];
    GreedyPair pairs[pairCount];

    GreedyTables()
    {
        const auto& rows = tablesByPosition().row;
        const Adpcm::Tables& tables = Adpcm::tables();
        for (int step = 0; step < Adpcm::stepCount; ++step) {
            for (int position = 0; position < AdpcmSearch::positions; ++position) {
                const auto field = static_cast<std::uint64_t>(rows[step][position] + fieldBias);
                rowFields[step * words + position / 4] |= field << (position % 4 * 16);
            }
            for (int below = 0; below < pairsPerStep; ++below) {
                const int lower = below == 0 ? 0 : below - 1;
                const int upper = below == AdpcmSearch::positions ? below - 1 : below;
                const unsigned lowerCode = AdpcmSearch::codeByPosition[lower];
                const unsigned upperCode = AdpcmSearch::codeByPosition[upper];
                const int lowerStep = tables.nextStep[step][lowerCode];
                const int upperStep = tables.nextStep[step][upperCode];
                const int at = step * pairsPerStep + below;
                lowerSpread[at] = spreadOf(rows[step][lower]);
                upperSpread[at] = spreadOf(rows[step][upper]);
                pairs[at] = {static_cast<std::uint16_t>(lowerStep * pairsPerStep),
                             static_cast<std::uint16_t>(upperStep * pairsPerStep),
                             static_cast<std::uint8_t>(lowerStep * words),
                             static_cast<std::uint8_t>(upperStep * words),
                             static_cast<std::uint8_t>(lowerCode),
                             static_cast<std::uint8_t>(upperCode)};
            }
        }
    }

    // How many differences of the row at `row` are below their bounds in
    // `bounds` (see limitFieldsOf): each word taken away leaves the top bit
    // of the fields below; the words' top bits are moved apart and counted
    // at once.
    int countBelow(int row, std::uint64_t bounds) const
    {
        const std::uint64_t* word = rowFields + row;
        const std::uint64_t below = ((bounds - word[0]) & topBits) >> 3 | ((bounds - word[1]) & topBits) >> 2 |
                                    ((bounds - word[2]) & topBits) >> 1 | ((bounds - word[3]) & topBits);
        return static_cast<int>(hwy::PopCount(below));
    }
};

const GreedyTables& greedyTables()
{
    static const GreedyTables tables;
    return tables;
}

// An output is below the target's when its sample is below
// ceil(target / 256) * 16 (with the clamp to 0..4095 this holds for the
// unclamped sum too), so the codes below the target are those whose
// difference is below that limit minus the sample. Past either end of the
// outputs the limit lies beyond every difference. In fields the limit is
// 0x8000 + limit - 1 + fieldBias, which leaves 0x8000 + bound - 1 -
// difference once the spread sample and a row word are taken away.
HWY_INLINE std::uint64_t limitFieldsOf(std::int16_t sample)
{
    constexpr std::int32_t beyond = 1 << 13;
    const std::int32_t ceiling = (sample + 32768 + 255) >> 8;
    std::int32_t limit = ceiling > Adpcm::maxSample >> 4 ? beyond : ceiling * 16;
    limit = ceiling == 0 ? -beyond : limit;
    return spreadOf(0x8000 + limit - 1 + fieldBias);
}

// A spread sum clamped to the samples 0..4095: as whole numbers, spread
// values are in the order of the values spread.
HWY_INLINE std::uint64_t clampSpread(std::uint64_t sum)
{
    constexpr std::int64_t maxSpread = std::int64_t{Adpcm::maxSample} * static_cast<std::int64_t>(spread);
    return static_cast<std::uint64_t>(std::min(std::max(static_cast<std::int64_t>(sum), std::int64_t{0}), maxSpread));
}

// One of two values by a mask of all ones (the first) or all zeros: a
// select the compiler does not turn into a branch.
template <class T>
HWY_INLINE T select(T mask, T first, T second)
{
    return (first & mask) | (second & ~mask);
}

// Each sample waits for the state the one before chose, so the loop is one
// chain of dependent steps, kept short and free of branches (either
// candidate is taken as often, a branch would miss half the time): the two
// candidates around the target come from one place, and while their outputs
// are compared, the pairs around the next target that each would lead to
// are found already, so that the choice is the chain's last step. What
// does not depend on the chain (each sample's limit and tie bound) is
// worked out a block ahead. The lower candidate wins a tie: target - lower *
// 256 <= upper * 256 - target holds exactly when lower + upper >=
// ceil(target / 128), for the outputs are whole numbers.
void chooseGreedily(int& decoderSample, int& decoderStep, const std::int16_t* samples, std::size_t count,
                    std::uint8_t* codes, std::uint8_t* outputs)
{
    if (count == 0)
        return;
    constexpr std::size_t block = 256;
    const GreedyTables& tables = greedyTables();
    std::uint64_t sample = spreadOf(decoderSample);
    int pair = decoderStep * GreedyTables::pairsPerStep +
               tables.countBelow(decoderStep * GreedyTables::words, limitFieldsOf(samples[0]) - sample);
    std::uint64_t nextLimits[block];
    std::int32_t tieBounds[block];
    for (std::size_t first = 0; first < count; first += block) {
        const std::size_t length = std::min(block, count - first);
        for (std::size_t i = 0; i < length; ++i) {
            const std::size_t next = first + i + 1 < count ? first + i + 1 : first + i;
            nextLimits[i] = limitFieldsOf(samples[next]);
            tieBounds[i] = (samples[first + i] + 32768 + 127) >> 7;
        }
        for (std::size_t i = 0; i < length; ++i) {
            const GreedyPair& candidates = tables.pairs[pair];
            const std::uint64_t lower = clampSpread(sample + tables.lowerSpread[pair]);
            const std::uint64_t upper = clampSpread(sample + tables.upperSpread[pair]);
            const int afterLower = candidates.lowerNext + tables.countBelow(candidates.lowerRow, nextLimits[i] - lower);
            const int afterUpper = candidates.upperNext + tables.countBelow(candidates.upperRow, nextLimits[i] - upper);
            const int lowerOutput = static_cast<std::uint16_t>(lower) >> 4;
            const int upperOutput = static_cast<std::uint16_t>(upper) >> 4;
            const int mask = -static_cast<int>(lowerOutput + upperOutput >= tieBounds[i]);
            sample = select(static_cast<std::uint64_t>(static_cast<std::int64_t>(mask)), lower, upper);
            pair = select(mask, afterLower, afterUpper);
            codes[first + i] = static_cast<std::uint8_t>(select<int>(mask, candidates.lowerCode, candidates.upperCode));
            outputs[first + i] = static_cast<std::uint8_t>(select(mask, lowerOutput, upperOutput));
        }
    }
    decoderSample = static_cast<std::uint16_t>(sample);
    decoderStep = pair / GreedyTables::pairsPerStep;
}

// Measured on a Zen 5 EPYC at width 13: the beam in lanes is 3.4 times the
// plain search's speed with AVX-512, 2.0 times with AVX2, 1.6 times with
// SSE4, no faster with SSSE3 and slower with emulated lanes.
bool beamPaysOff()
{
    return HWY_TARGET <= HWY_SSE4;
}

} // namespace HWY_NAMESPACE
} // namespace wbk_adpcm_search
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace wbk_adpcm_search {
HWY_EXPORT(keepExtensions);
HWY_EXPORT(sortKeys);
HWY_EXPORT(chooseGreedily);
HWY_EXPORT(beamPaysOff);
} // namespace wbk_adpcm_search

constexpr std::uint16_t AdpcmSearch::codeByPosition[];

// A dispatched call asks the library for the chosen instruction set every
// time; the beam asks once. Choosing first is what a first dispatched call
// would do.
AdpcmSearch::Beam AdpcmSearch::beam()
{
    hwy::ChosenTarget& chosen = hwy::GetChosenTarget();
    chosen.Update(hwy::SupportedTargets());
    const std::size_t index = chosen.GetIndex();
    return {HWY_DISPATCH_TABLE(wbk_adpcm_search::keepExtensions)[index],
            HWY_DISPATCH_TABLE(wbk_adpcm_search::sortKeys)[index]};
}

void AdpcmSearch::chooseGreedily(Adpcm& decoder, const std::int16_t* samples, std::size_t count,
                                 std::uint8_t* codes, std::uint8_t* outputs)
{
    int sample = decoder.sample();
    int stepIndex = decoder.stepIndex();
    HWY_DYNAMIC_DISPATCH(wbk_adpcm_search::chooseGreedily)(sample, stepIndex, samples, count, codes, outputs);
    decoder = Adpcm(sample, stepIndex);
}

bool AdpcmSearch::beamPaysOff()
{
    return HWY_DYNAMIC_DISPATCH(wbk_adpcm_search::beamPaysOff)();
}

std::vector<std::int64_t> AdpcmSearch::targets()
{
    return hwy::SupportedAndGeneratedTargets();
}

#endif
