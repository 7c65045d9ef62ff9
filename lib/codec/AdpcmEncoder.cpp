#include "AdpcmEncoder.h"

#include <algorithm>

namespace {

// Two decoder states with the same key (the same step index, samples within
// the same four values) lead to nearly the same futures; keeping only the
// cheaper leaves room in the beam for paths that differ more.
constexpr int sampleBuckets = (Adpcm::maxSample >> 2) + 1;

std::size_t stateKey(const Adpcm& state)
{
    return static_cast<std::size_t>(state.stepIndex() * sampleBuckets + (state.sample() >> 2));
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
    order.reserve(this->width);
    chosenAt.assign(static_cast<std::size_t>(Adpcm::stepCount) * sampleBuckets, 0);
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
        settle(best.code(settled), bytes, outputs);
    finished = true;
}

// Extends the paths by one code each and keeps the cheapest `width`
// extensions that end in distinct decoder states.
void AdpcmEncoder::step(std::int16_t sample)
{
    // The sample in the decoder's 8-bit output scale, times 256.
    const std::int32_t target = sample + 32768;
    startCursors(target);
    chooseExtensions(target);
    nextPaths.resize(chosen.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const Candidate& candidate = chosen[i];
        Path& path = nextPaths[i];
        path = paths[candidate.parent];
        path.state = candidate.state;
        path.cost = candidate.cost;
        path.setCode(fed, candidate.code);
    }
    paths.swap(nextPaths);
    lastSample = sample;
    ++fed;
}

// One cursor per path, and their order by what each offers next: its cost,
// with the cursor's index in the low bits to break ties.
void AdpcmEncoder::startCursors(std::int32_t target)
{
    cursors.clear();
    keys.clear();
    order.clear();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        cursors.emplace_back(paths[i], static_cast<std::uint16_t>(i), target);
        keys.push_back(keyOf(cursors[i], i));
        order.push_back(static_cast<std::uint8_t>(i));
        for (std::size_t j = i; j > 0 && keys[order[j]] < keys[order[j - 1]]; --j)
            std::swap(order[j], order[j - 1]);
    }
}

// Every cursor yields its extensions cheapest first, so merging them stops
// after `width` distinct ones; of several that reach nearly one state the
// first, the cheapest, is kept. A taken cursor's next key moves only a few
// places back in the order.
void AdpcmEncoder::chooseExtensions(std::int32_t target)
{
    if (++stepNumber == 0) {
        std::fill(chosenAt.begin(), chosenAt.end(), 0);
        stepNumber = 1;
    }
    chosen.clear();
    while (chosen.size() < static_cast<std::size_t>(width) && keys[order.front()] != INT64_MAX) {
        const std::size_t index = order.front();
        Cursor& cursor = cursors[index];
        const Candidate candidate = cursor.take(paths[cursor.parent], target);
        keys[index] = keyOf(cursor, index);
        std::size_t place = 0;
        for (; place + 1 < order.size() && keys[order[place + 1]] < keys[index]; ++place)
            order[place] = order[place + 1];
        order[place] = static_cast<std::uint8_t>(index);
        std::uint32_t& chosenStep = chosenAt[stateKey(candidate.state)];
        if (chosenStep != stepNumber) {
            chosenStep = stepNumber;
            chosen.push_back(candidate);
        }
    }
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
    const std::uint64_t position = settled;
    const unsigned oldest = paths.front().code(position);
    const std::int64_t base = paths.front().cost;
    settle(oldest, bytes, outputs);
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [&](const Path& path) { return path.code(position) != oldest; }),
                paths.end());
    for (Path& path : paths)
        path.cost -= base;
}

// The settled codes run through a decoder of their own, whose outputs are
// what a player gets.
void AdpcmEncoder::settle(unsigned code, std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    if (settled % 2 == 0)
        lowNibble = code;
    else
        bytes.push_back(static_cast<unsigned char>(lowNibble | code << 4));
    const unsigned char output = settledState.decode(code);
    if (outputs)
        outputs->push_back(output);
    ++settled;
}
