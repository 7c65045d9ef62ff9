#include "AdpcmEncoder.h"

#include <algorithm>

namespace {

// Two decoder states this close lead to nearly the same futures; keeping
// only the cheaper leaves room in the beam for paths that differ more.
bool nearlySameState(const Adpcm& a, const Adpcm& b)
{
    return a.sample() >> 2 == b.sample() >> 2 && a.stepIndex() == b.stepIndex();
}

} // namespace

// Costs stay far below 2^57: they are rebased to the cheapest path once a
// code is settled, so they add up the errors of settleDelay + 1 samples.
std::int64_t AdpcmEncoder::keyOf(const Cursor& cursor, std::size_t index)
{
    if (cursor.exhausted())
        return INT64_MAX;
    return cursor.nextCost() * maxWidth + static_cast<std::int64_t>(index);
}

AdpcmEncoder::AdpcmEncoder(int width) : width(std::clamp(width, 1, maxWidth)), paths(1)
{
    paths.reserve(this->width);
    nextPaths.reserve(this->width);
    chosen.reserve(this->width);
    cursors.reserve(this->width);
    keys.reserve(this->width);
}

void AdpcmEncoder::encode(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                          std::vector<unsigned char>* outputs)
{
    if (finished)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        step(samples[i]);
        if (fed - settled == settleDelay)
            settleOldest(bytes, outputs);
    }
}

void AdpcmEncoder::finish(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    if (finished)
        return;
    if (fed % 2 == 1) {
        step(lastSample);
        if (fed - settled == settleDelay)
            settleOldest(bytes, outputs);
    }
    const Path& best = paths.front();
    while (settled < fed)
        settle(best.recent[settled % settleDelay], bytes, outputs);
    finished = true;
}

// Extends the paths by one code each and keeps the cheapest `width`
// extensions that end in distinct decoder states. Every path yields its
// extensions cheapest first, so merging them stops after `width` distinct
// ones; of several that reach nearly one state the first, the cheapest, is
// kept.
void AdpcmEncoder::step(std::int16_t sample)
{
    // The sample in the decoder's 8-bit output scale, times 256.
    const std::int32_t target = sample + 32768;
    cursors.clear();
    for (std::size_t parent = 0; parent < paths.size(); ++parent)
        cursors.emplace_back(paths[parent], static_cast<std::uint16_t>(parent), target);
    // What each cursor offers next, by cost, with the cursor's index in the
    // low bits; a plain scan for the least beats a heap at these sizes.
    keys.clear();
    for (std::size_t i = 0; i < cursors.size(); ++i)
        keys.push_back(keyOf(cursors[i], i));

    chosen.clear();
    while (chosen.size() < static_cast<std::size_t>(width)) {
        std::int64_t least = INT64_MAX;
        for (std::int64_t key : keys)
            least = std::min(least, key);
        if (least == INT64_MAX)
            break;
        const std::size_t index = static_cast<std::size_t>(least % maxWidth);
        Cursor& cursor = cursors[index];
        const Candidate candidate = cursor.take(paths[cursor.parent], target);
        keys[index] = keyOf(cursor, index);
        const bool seen = std::any_of(chosen.begin(), chosen.end(), [&](const Candidate& other) {
            return nearlySameState(other.state, candidate.state);
        });
        if (!seen)
            chosen.push_back(candidate);
    }

    const std::size_t slot = fed % settleDelay;
    nextPaths.resize(chosen.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const Candidate& candidate = chosen[i];
        Path& path = nextPaths[i];
        path = paths[candidate.parent];
        path.state = candidate.state;
        path.cost = candidate.cost;
        path.recent[slot] = static_cast<std::uint16_t>(candidate.code | candidate.state.output() << 4);
    }
    paths.swap(nextPaths);
    lastSample = sample;
    ++fed;
}

namespace {

// The codes in the order of the sample they lead to, lowest first: negative
// codes from the largest difference down, then positive ones upwards. The
// error falls and then rises along this order.
const std::uint16_t codesByValue[Adpcm::codeCount] = {15, 14, 13, 12, 11, 10, 9, 8, 0, 1, 2, 3, 4, 5, 6, 7};

} // namespace

// Starts where the output crosses the target; from there the error only
// grows in both directions. The search has decoded both neighbours of the
// crossing already.
AdpcmEncoder::Cursor::Cursor(const Path& path, std::uint16_t parent, std::int32_t target)
    : tables(Adpcm::tables()), parent(parent)
{
    int low = 0, high = Adpcm::codeCount;
    Adpcm belowState, aboveState;
    while (low < high) {
        const int middle = (low + high) / 2;
        Adpcm state = path.state;
        if (state.decode(codesByValue[middle], tables) * 256 < target) {
            low = middle + 1;
            belowState = state;
        } else {
            high = middle;
            aboveState = state;
        }
    }
    below = low - 1;
    above = low;
    belowNext = candidate(path, below, belowState, target);
    aboveNext = candidate(path, above, aboveState, target);
}

// The extension of `path` by the code at `position`, which has led to
// `state`; one that costs the most when `position` is beyond the codes.
AdpcmEncoder::Candidate AdpcmEncoder::Cursor::candidate(const Path& path, int position, const Adpcm& state,
                                                        std::int32_t target) const
{
    if (position < 0 || position >= Adpcm::codeCount)
        return {INT64_MAX, state, parent, 0};
    const std::int32_t error = state.output() * 256 - target;
    return {path.cost + static_cast<std::int64_t>(error) * error, state, parent, codesByValue[position]};
}

AdpcmEncoder::Candidate AdpcmEncoder::Cursor::at(const Path& path, int position, std::int32_t target) const
{
    Adpcm state = path.state;
    if (position >= 0 && position < Adpcm::codeCount)
        state.decode(codesByValue[position], tables);
    return candidate(path, position, state, target);
}

AdpcmEncoder::Candidate AdpcmEncoder::Cursor::take(const Path& path, std::int32_t target)
{
    if (belowNext.cost <= aboveNext.cost) {
        const Candidate taken = belowNext;
        belowNext = at(path, --below, target);
        return taken;
    }
    const Candidate taken = aboveNext;
    aboveNext = at(path, ++above, target);
    return taken;
}

// Settles the oldest unsettled code as the cheapest path has it, drops the
// paths that chose otherwise, and rebases the costs so they never overflow.
void AdpcmEncoder::settleOldest(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    const std::size_t slot = settled % settleDelay;
    const std::uint16_t oldest = paths.front().recent[slot];
    const std::int64_t base = paths.front().cost;
    settle(oldest, bytes, outputs);
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [&](const Path& path) { return (path.recent[slot] & 15) != (oldest & 15); }),
                paths.end());
    for (Path& path : paths)
        path.cost -= base;
}

void AdpcmEncoder::settle(std::uint16_t codeAndOutput, std::vector<unsigned char>& bytes,
                          std::vector<unsigned char>* outputs)
{
    const unsigned code = codeAndOutput & 15;
    if (settled % 2 == 0)
        lowNibble = code;
    else
        bytes.push_back(static_cast<unsigned char>(lowNibble | code << 4));
    if (outputs)
        outputs->push_back(static_cast<unsigned char>(codeAndOutput >> 4));
    ++settled;
}
