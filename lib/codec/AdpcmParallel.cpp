// The ADPCM decoder spread over SIMD lanes.
//
// Each code does two things of one form, x -> clamp(x + a, lo, hi): it moves
// the step index by its step change within 0..48, and the sample by its
// difference at the current step size within 0..4095. Maps of that form
// compose into one of the same form: f first, then g, is
//     x -> clamp(x + f.add + g.add, g(f.lo), g(f.hi)),
// so any run of codes comes down to three numbers.
//
// A block gives each lane a run of consecutive codes. Pass 1 composes each
// lane's step-index maps; walking the lanes in order from the carried step
// index then gives every lane its first step index. Pass 2 steps the step
// indices of all lanes at once, looks up each code's difference in the codec's
// table and composes the sample maps; a second walk gives every lane its first
// sample. Pass 3 applies the differences from there and writes the outputs.
// The stored bytes are transposed into lane order on the way in, the outputs
// back on the way out. With AVX-512 the differences are looked up in
// registers and the walks are vector prefixes; other instruction sets gather
// the differences and walk lane by lane.
//
// Exactness in 8- and 16-bit lanes: each map built here has lo and hi within
// the bounds of its value and is only applied to values within them, so once
// |add| reaches the width of the bounds (48 or 4095) it sends every value to
// hi (or to lo), however large add is. Clamping add to that width every few
// codes thus changes no result and keeps every sum within the lanes. Samples
// are kept offset by 0x7000, which puts 4095 on the 16-bit maximum: a
// saturating add then does the upper clamp by itself, and the low byte of
// (sample + 0x7000) >> 4 is still the output.
#include "AdpcmParallel.h"

#include <algorithm>
#include <cstdint>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "AdpcmParallel.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set

#include <hwy/highway.h>

#ifndef WBK_ADPCM_PARALLEL_ONCE
#define WBK_ADPCM_PARALLEL_ONCE

namespace wbk_adpcm {

// The codec's difference table in 32-bit entries, the size gathers load.
struct WideDifferences {
    std::int32_t entry[Adpcm::stepCount * Adpcm::codeCount];

    WideDifferences()
    {
        const auto& difference = Adpcm::tables().difference;
        for (int step = 0; step < Adpcm::stepCount; ++step)
            std::copy(difference[step], difference[step] + Adpcm::codeCount, entry + step * Adpcm::codeCount);
    }
};

const std::int32_t* wideDifferences()
{
    static const WideDifferences wide;
    return wide.entry;
}

// Columns of the codec's difference table, by step index: the difference of
// code 0 and what bits 0, 1 and 2 of a code add to it.
struct DifferenceColumns {
    alignas(64) std::int16_t code0[64];
    alignas(64) std::int16_t bit0[64];
    alignas(64) std::int16_t bit1[64];
    alignas(64) std::int16_t bit2[64];

    DifferenceColumns() : code0(), bit0(), bit1(), bit2()
    {
        const auto& difference = Adpcm::tables().difference;
        for (int step = 0; step < Adpcm::stepCount; ++step) {
            const int base = difference[step][0];
            code0[step] = static_cast<std::int16_t>(base);
            bit0[step] = static_cast<std::int16_t>(difference[step][1] - base);
            bit1[step] = static_cast<std::int16_t>(difference[step][2] - base);
            bit2[step] = static_cast<std::int16_t>(difference[step][4] - base);
        }
    }
};

const DifferenceColumns& differenceColumns()
{
    static const DifferenceColumns columns;
    return columns;
}

} // namespace wbk_adpcm

#endif

HWY_BEFORE_NAMESPACE();
namespace wbk_adpcm {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_HAVE_SCALABLE || HWY_TARGET == HWY_SVE_256 || HWY_TARGET == HWY_SVE2_128

// A single lane has nothing to run side by side, and vectors sized at run
// time (SVE, RVV) cannot be held in structures: the plain loop does it all.
std::size_t decodeBlocks(const std::uint8_t*, std::size_t, std::uint8_t*, int&, int&)
{
    return 0;
}

#else

using D16 = hn::ScalableTag<std::int16_t>;
using V16 = hn::Vec<D16>;
using DU8 = hn::Rebind<std::uint8_t, D16>;  // one byte per 16-bit lane
using VU8 = hn::Vec<DU8>;
using D8 = hn::Rebind<std::int8_t, D16>;  // step indices, one per 16-bit lane
using V8 = hn::Vec<D8>;
using D32 = hn::Repartition<std::int32_t, D16>;

constexpr std::size_t codesPerLane = 64;
constexpr std::size_t bytesPerLane = codesPerLane / 2;
constexpr std::size_t maxLanes = HWY_MAX_BYTES / sizeof(std::int16_t);
constexpr std::int16_t sampleOffset = 0x7000;  // see the top

// x -> min(max(x + add, lo), hi), lane by lane.
template <class V>
struct ClampAdd {
    V add, lo, hi;
};

// The add saturates: a sum beyond the lane's range is beyond hi too.
template <class V>
HWY_INLINE V apply(const ClampAdd<V>& map, V x)
{
    return hn::Min(hn::Max(hn::SaturatedAdd(x, map.add), map.lo), map.hi);
}

// `first`, then `second`, as one map.
template <class V>
HWY_INLINE ClampAdd<V> composeClampAdds(const ClampAdd<V>& first, const ClampAdd<V>& second)
{
    return {hn::Add(first.add, second.add), apply(second, first.lo), apply(second, first.hi)};
}

// Clamps the offset to -bound..bound, which changes no result (see the top).
template <class V>
HWY_INLINE void limitOffset(ClampAdd<V>& map, V bound)
{
    map.add = hn::Min(hn::Max(map.add, hn::Neg(bound)), bound);
}

// A run of no codes, on values kept within lo..hi.
template <class V>
HWY_INLINE ClampAdd<V> identity(V lo, V hi)
{
    return {hn::Zero(hn::DFromV<V>()), lo, hi};
}

// What one code does: add, then clamp to the identity's bounds.
template <class V>
HWY_INLINE ClampAdd<V> codeMap(V add, const ClampAdd<V>& identity)
{
    return {add, identity.lo, identity.hi};
}

// The same for a sample, whose upper clamp is the saturation.
HWY_INLINE V16 applyDifference(V16 difference, V16 sample, V16 lowest)
{
    return hn::Max(hn::SaturatedAdd(sample, difference), lowest);
}

// Appends a code to a run of sample maps.
HWY_INLINE ClampAdd<V16> composeDifference(const ClampAdd<V16>& maps, V16 difference, V16 lowest)
{
    return {hn::Add(maps.add, difference), applyDifference(difference, maps.lo, lowest),
            applyDifference(difference, maps.hi, lowest)};
}

// Walks the lanes in code order: each lane starts where the one before it
// ends, the first at `carried`. Returns the end of the last lane.
#if HWY_TARGET <= HWY_AVX3

// Moves every lane `by` lanes up; the lowest `by` lanes take `fill`.
HWY_INLINE V16 shiftLanesUp(V16 v, V16 fill, int by)
{
    const V16 index = hn::Sub(hn::Iota(D16(), 0), hn::Set(D16(), static_cast<std::int16_t>(by)));
    const __mmask32 kept = ~((1u << by) - 1);
    return V16{_mm512_mask_permutexvar_epi16(fill.raw, kept, index.raw, v.raw)};
}

// Composes the lanes' maps in log2(32) rounds of doubling spans, off the
// chain from block to block; only the last apply waits for `carried`.
HWY_INLINE int walkLanes(const ClampAdd<V16>& maps, int carried, V16& starts, const ClampAdd<V16>& none,
                         V16 offsetLimit)
{
    const D16 d;
    ClampAdd<V16> throughLane = maps;
    for (int by = 1; by < 32; by *= 2) {
        const ClampAdd<V16> before{shiftLanesUp(throughLane.add, none.add, by),
                                   shiftLanesUp(throughLane.lo, none.lo, by),
                                   shiftLanesUp(throughLane.hi, none.hi, by)};
        throughLane = composeClampAdds(before, throughLane);
        limitOffset(throughLane, offsetLimit);
    }
    const V16 first = hn::Set(d, static_cast<std::int16_t>(carried));
    const V16 ends = apply(throughLane, first);
    starts = shiftLanesUp(ends, first, 1);
    return hn::ExtractLane(ends, hn::Lanes(d) - 1);
}

#else

int walkLanes(const ClampAdd<V16>& maps, int carried, V16& starts, const ClampAdd<V16>&, V16)
{
    const D16 d;
    HWY_ALIGN std::int16_t add[maxLanes], lo[maxLanes], hi[maxLanes], start[maxLanes];
    hn::Store(maps.add, d, add);
    hn::Store(maps.lo, d, lo);
    hn::Store(maps.hi, d, hi);
    int value = carried;
    for (std::size_t lane = 0; lane < hn::Lanes(d); ++lane) {
        start[lane] = static_cast<std::int16_t>(value);
        value = std::min(std::max(value + add[lane], int{lo[lane]}), int{hi[lane]});
    }
    starts = hn::Load(d, start);
    return value;
}

#endif

// Takes `size` bytes as a sequence of whole vectors and puts its even
// elements in the first half, its odd ones in the second: the element index
// rotates right by one bit.
void unzip(const std::uint8_t* from, std::uint8_t* to, std::size_t size)
{
    const hn::ScalableTag<std::uint8_t> d;
    const std::size_t lanes = hn::Lanes(d);
    for (std::size_t k = 0; k < size / 2; k += lanes) {
        const auto lower = hn::LoadU(d, from + 2 * k);
        const auto upper = hn::LoadU(d, from + 2 * k + lanes);
        hn::StoreU(hn::ConcatEven(d, upper, lower), d, to + k);
        hn::StoreU(hn::ConcatOdd(d, upper, lower), d, to + size / 2 + k);
    }
}

// Transposes a byte matrix of `size` bytes with 2^columnBits columns, row
// after row, into `to`: each unzip moves one bit of the column number to the
// top of the element index. `scratch` holds two matrices.
void transpose(const std::uint8_t* from, std::uint8_t* to, std::size_t size, std::size_t columnBits,
               std::uint8_t* scratch)
{
    for (std::size_t pass = 0; pass < columnBits; ++pass) {
        std::uint8_t* const target = pass + 1 == columnBits ? to : scratch + pass % 2 * size;
        unzip(from, target, size);
        from = target;
    }
}

// How each lane's code moves the step index.
class StepChanges {
public:
    StepChanges()
    {
        HWY_ALIGN std::int8_t changes[Adpcm::codeCount];
        std::copy(Adpcm::stepChange, Adpcm::stepChange + Adpcm::codeCount, changes);
        table = hn::LoadDup128(hn::ScalableTag<std::int8_t>(), changes);
    }

    HWY_INLINE V8 operator()(VU8 codes) const
    {
        return hn::TableLookupBytes(table, hn::BitCast(D8(), codes));
    }

private:
    hn::Vec<hn::ScalableTag<std::int8_t>> table;
};

#if HWY_TARGET <= HWY_AVX3

// A code's difference is the sum of what its magnitude bits add to the
// difference of code 0, negated by its sign bit. Each column of 49 entries
// fits two registers and is looked up with one instruction.
class DifferenceLookup {
public:
    DifferenceLookup()
    {
        const DifferenceColumns& columns = differenceColumns();
        load(code0, columns.code0);
        load(bit0, columns.bit0);
        load(bit1, columns.bit1);
        load(bit2, columns.bit2);
    }

    HWY_INLINE V16 operator()(V16 step, VU8 code) const
    {
        // A byte lane's mask bit is its 16-bit lane's.
        const auto hasBit = [&](int bit) {
            return hn::Mask512<std::int16_t>{hn::TestBit(code, hn::Set(DU8(), static_cast<std::uint8_t>(bit))).raw};
        };
        V16 magnitude = lookUp(code0, step);
        magnitude = hn::Add(magnitude, hn::IfThenElseZero(hasBit(1), lookUp(bit0, step)));
        magnitude = hn::Add(magnitude, hn::IfThenElseZero(hasBit(2), lookUp(bit1, step)));
        magnitude = hn::Add(magnitude, hn::IfThenElseZero(hasBit(4), lookUp(bit2, step)));
        return hn::IfThenElse(hasBit(8), hn::Neg(magnitude), magnitude);
    }

private:
    using Column = __m512i[2];

    static void load(Column& column, const std::int16_t* entries)
    {
        column[0] = _mm512_load_si512(entries);
        column[1] = _mm512_load_si512(entries + 32);
    }

    static HWY_INLINE V16 lookUp(const Column& column, V16 step)
    {
        return V16{_mm512_permutex2var_epi16(column[0], step.raw, column[1])};
    }

    Column code0, bit0, bit1, bit2;
};

#else

// difference[step][code] of every lane, gathered.
class DifferenceLookup {
public:
    HWY_INLINE V16 operator()(V16 step, VU8 code) const
    {
        const D16 d;
        const D32 d32;
        const V16 index = hn::Add(hn::ShiftLeft<4>(step), hn::PromoteTo(d, code));
        // The zips widen lanes within each 128-bit block, the demotion packs
        // them back in the same order.
        const auto lower = hn::GatherIndex(d32, differences, hn::ZipLower(d32, index, hn::Zero(d)));
        const auto upper = hn::GatherIndex(d32, differences, hn::ZipUpper(d32, index, hn::Zero(d)));
        return hn::ReorderDemote2To(d, lower, upper);
    }

private:
    const std::int32_t* differences = wideDifferences();
};

#endif

struct Block {
    HWY_ALIGN std::uint8_t storedColumns[bytesPerLane * maxLanes];
    HWY_ALIGN std::uint8_t codes[codesPerLane * maxLanes];
    HWY_ALIGN std::int16_t differences[codesPerLane * maxLanes];
    HWY_ALIGN std::uint8_t outputColumns[codesPerLane * maxLanes];
    HWY_ALIGN std::uint8_t scratch[2 * codesPerLane * maxLanes];
};

// Puts each lane's codes in lane order: code after code, one vector each,
// low nibble first.
void readCodes(const std::uint8_t* stored, Block& block)
{
    const DU8 d;
    const std::size_t lanes = hn::Lanes(d);
    transpose(stored, block.storedColumns, bytesPerLane * lanes, hwy::FloorLog2(bytesPerLane), block.scratch);
    for (std::size_t column = 0; column < bytesPerLane; ++column) {
        const VU8 bytes = hn::Load(d, block.storedColumns + column * lanes);
        hn::Store(hn::And(bytes, hn::Set(d, 15)), d, block.codes + 2 * column * lanes);
        hn::Store(hn::ShiftRight<4>(bytes), d, block.codes + (2 * column + 1) * lanes);
    }
}

// `nextOut` is where the next block's output goes, null after the last.
void decodeBlock(const std::uint8_t* stored, std::uint8_t* out, const std::uint8_t* nextOut, int& sample,
                 int& stepIndex, Block& block)
{
    const D16 d;
    const DU8 du8;
    const std::size_t lanes = hn::Lanes(d);
    const StepChanges stepChanges;
    const DifferenceLookup lookUpDifferences;
    readCodes(stored, block);
    const auto codes = [&](std::size_t code) { return hn::Load(du8, block.codes + code * lanes); };

    // Step indices in 8-bit lanes: a limit every eight codes keeps the
    // offsets within 48 + 8 * 8.
    const V8 maxStep = hn::Set(D8(), Adpcm::maxStepIndex);
    const ClampAdd<V8> noCode = identity(hn::Zero(D8()), maxStep);
    ClampAdd<V8> stepMaps = noCode;
    for (std::size_t code = 0; code < codesPerLane; ++code) {
        stepMaps = composeClampAdds(stepMaps, codeMap(stepChanges(codes(code)), noCode));
        if (code % 8 == 7)
            limitOffset(stepMaps, maxStep);
    }
    const auto widen = [&](const ClampAdd<V8>& map) {
        return ClampAdd<V16>{hn::PromoteTo(d, map.add), hn::PromoteTo(d, map.lo), hn::PromoteTo(d, map.hi)};
    };
    V16 firstSteps;
    stepIndex = walkLanes(widen(stepMaps), stepIndex, firstSteps, widen(noCode), hn::PromoteTo(d, maxStep));
    V8 step = hn::DemoteTo(D8(), firstSteps);

    // Eight differences of at most 2910 after a limit keep the offset
    // within 16 bits.
    const V16 lowest = hn::Set(d, sampleOffset);
    const ClampAdd<V16> noDifference = identity(lowest, hn::Set(d, Adpcm::maxSample + sampleOffset));
    const V16 offsetLimit = hn::Set(d, Adpcm::maxSample);
    ClampAdd<V16> sampleMaps = noDifference;
    for (std::size_t code = 0; code < codesPerLane; ++code) {
        const V16 difference = lookUpDifferences(hn::PromoteTo(d, step), codes(code));
        hn::Store(difference, d, block.differences + code * lanes);
        // A line of the next block's output every 64 bytes of codes, asked
        // for ahead of the writes, which would otherwise wait for them.
        if (nextOut && code * lanes % 64 == 0)
            __builtin_prefetch(nextOut + code * lanes, 1);
        sampleMaps = composeDifference(sampleMaps, difference, lowest);
        if (code % 8 == 7)
            limitOffset(sampleMaps, offsetLimit);
        step = apply(codeMap(stepChanges(codes(code)), noCode), step);
    }
    V16 value;
    sample = walkLanes(sampleMaps, sample + sampleOffset, value, noDifference, offsetLimit) - sampleOffset;

    // Two codes' outputs at a time, as the low bytes of their lanes.
    const hn::Repartition<std::uint8_t, D16> bytes;
    for (std::size_t code = 0; code < codesPerLane; code += 2) {
        const V16 first = applyDifference(hn::Load(d, block.differences + code * lanes), value, lowest);
        value = applyDifference(hn::Load(d, block.differences + (code + 1) * lanes), first, lowest);
        const auto outputs = hn::ConcatEven(bytes, hn::BitCast(bytes, hn::ShiftRight<4>(value)),
                                            hn::BitCast(bytes, hn::ShiftRight<4>(first)));
        hn::Store(outputs, bytes, block.outputColumns + code * lanes);
    }
    transpose(block.outputColumns, out, codesPerLane * lanes, hwy::FloorLog2(lanes), block.scratch);
}

// Decodes as many whole blocks as `count` stored bytes hold; returns the
// number of stored bytes decoded.
std::size_t decodeBlocks(const std::uint8_t* stored, std::size_t count, std::uint8_t* out, int& sample,
                         int& stepIndex)
{
    const std::size_t blockBytes = bytesPerLane * hn::Lanes(D16());
    Block block;
    std::size_t done = 0;
    for (; count - done >= blockBytes; done += blockBytes) {
        const bool last = count - done < 2 * blockBytes;
        decodeBlock(stored + done, out + 2 * done, last ? nullptr : out + 2 * (done + blockBytes), sample,
                    stepIndex, block);
    }
    return done;
}

#endif

} // namespace HWY_NAMESPACE
} // namespace wbk_adpcm
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace wbk_adpcm {
HWY_EXPORT(decodeBlocks);
} // namespace wbk_adpcm

void AdpcmParallel::decodeBytes(Adpcm& decoder, const unsigned char* stored, std::size_t count, unsigned char* out)
{
    // Stores that straddle cache lines cost more: the first few codes go
    // through the plain loop, so that the blocks' output starts on a line.
    const std::size_t head = std::min(count, (64 - reinterpret_cast<std::uintptr_t>(out) % 64) % 64 / 2);
    decoder.decodeBytesSerially(stored, head, out);
    int sample = decoder.sample();
    int stepIndex = decoder.stepIndex();
    const std::size_t done = head + HWY_DYNAMIC_DISPATCH(wbk_adpcm::decodeBlocks)(stored + head, count - head,
                                                                                 out + 2 * head, sample, stepIndex);
    decoder = Adpcm(sample, stepIndex);
    decoder.decodeBytesSerially(stored + done, count - done, out + 2 * done);
}

std::vector<std::int64_t> AdpcmParallel::targets()
{
    return hwy::SupportedAndGeneratedTargets();
}

#endif
