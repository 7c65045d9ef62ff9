#include "AdpcmEncoder.h"

#include "AdpcmSearch.h"

#include <algorithm>

namespace {

std::size_t stateKey(const Adpcm& state)
{
    return static_cast<std::size_t>(AdpcmSearch::stateKey(state));
}

// A leastAt entry holds a key (below 2^52, as costs stay below 2^41) and
// above it a tag of the round it was written in. Tags fall from round to
// round, so that an entry of this round is less than any older one.
constexpr int keyBits = 52;
constexpr std::uint64_t keyMask = (std::uint64_t{1} << keyBits) - 1;
constexpr std::uint64_t firstTag = (std::uint64_t{1} << (64 - keyBits)) - 1;

// Costs stay far below this (see AdpcmSearch.cpp); a reach beyond it takes
// every extension.
constexpr std::int64_t maxCost = std::int64_t{1} << 41;

} // namespace

// Costs stay far below 2^57: they are rebased to the cheapest path once a
// code is settled, so they add up the errors of settleDelay + 1 samples.
std::int64_t AdpcmEncoder::keyOf(const Cursor& cursor, std::size_t index)
{
    if (cursor.exhausted())
        return INT64_MAX;
    return cursor.nextCost() * maxWidth + static_cast<std::int64_t>(index);
}

AdpcmEncoder::AdpcmEncoder(int width, Search search) : width(std::clamp(width, 1, maxWidth)), search(search), paths(1)
{
    if (search == Search::best)
        this->search = this->width == 1 || AdpcmSearch::beamPaysOff() ? Search::lanes : Search::plain;
    paths.reserve(this->width);
    nextPaths.reserve(this->width);
    chosen.reserve(this->width);
    cursors.reserve(this->width);
    keys.reserve(this->width);
    order.reserve(this->width);
    if (this->search == Search::plain)
        chosenAt.assign(AdpcmSearch::stateKeys, 0);
    if (this->search == Search::lanes) {
        beam = AdpcmSearch::beam();
        const std::size_t candidates = static_cast<std::size_t>(this->width) * AdpcmSearch::positions;
        pathSamples.resize(this->width);
        pathSteps.resize(this->width);
        pathCosts.resize(this->width + AdpcmSearch::costsReadPast);
        keptSquares.resize(candidates + AdpcmSearch::positions);
        keptReaches.resize(candidates + AdpcmSearch::positions);
        reachedKeys.resize(candidates + 64);
        sortedKeys.resize(candidates);
        reachedStates.resize(candidates);
        leastAt.assign(AdpcmSearch::stateKeys, UINT64_MAX);
        reachTag = firstTag;
    }
}

void AdpcmEncoder::encode(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                          std::vector<unsigned char>* outputs)
{
    if (!finished)
        feed(samples, count, bytes, outputs);
}

void AdpcmEncoder::feed(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                        std::vector<unsigned char>* outputs)
{
    if (width == 1 && search == Search::lanes) {
        feedGreedily(samples, count, bytes, outputs);
        return;
    }
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
        const std::int16_t repeat = lastSample;
        feed(&repeat, 1, bytes, outputs);
    }
    const Path& best = paths.front();
    while (settled < fed)
        settle(best.code(settled), bytes, outputs);
    finished = true;
}

// The greedy search's codes are final once chosen: they are settled at
// once, two to a byte, and the search's decoder state is the settled
// decoder's. The outputs go straight to the caller's list when there is one.
void AdpcmEncoder::feedGreedily(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                                std::vector<unsigned char>* outputs)
{
    if (count == 0)
        return;
    greedyCodes.resize(count);
    std::vector<unsigned char>& outputList = outputs ? *outputs : greedyOutputs;
    const std::size_t firstOutput = outputs ? outputs->size() : 0;
    outputList.resize(firstOutput + count);
    Adpcm& state = paths.front().state;
    AdpcmSearch::chooseGreedily(state, samples, count, greedyCodes.data(), outputList.data() + firstOutput);
    const std::uint8_t* code = greedyCodes.data();
    const std::uint8_t* const end = code + count;
    if (settled % 2 == 1)
        bytes.push_back(static_cast<unsigned char>(lowNibble | *code++ << 4));
    const std::size_t firstByte = bytes.size();
    bytes.resize(firstByte + static_cast<std::size_t>(end - code) / 2);
    for (std::size_t i = firstByte; i < bytes.size(); ++i, code += 2)
        bytes[i] = static_cast<unsigned char>(code[0] | code[1] << 4);
    if (code != end)
        lowNibble = *code;
    settled += count;
    settledState = state;
    fed += count;
    lastSample = samples[count - 1];
}

// Extends the paths by one code each and keeps the cheapest `width`
// extensions that end in distinct decoder states.
void AdpcmEncoder::step(std::int16_t sample)
{
    // The sample in the decoder's 8-bit output scale, times 256.
    const std::int32_t target = sample + 32768;
    if (search == Search::lanes) {
        chooseInLanes(target);
    } else {
        startCursors(target);
        chooseExtensions(target);
        nextPaths.resize(chosen.size());
        for (std::size_t i = 0; i < chosen.size(); ++i)
            extend(nextPaths[i], paths[chosen[i].parent], chosen[i].state, chosen[i].code, chosen[i].cost, fed);
    }
    paths.swap(nextPaths);
    lastSample = sample;
    ++fed;
}

// `path` becomes `parent` extended by `code` at `position`, which led to
// `state`.
void AdpcmEncoder::extend(Path& path, const Path& parent, const Adpcm& state, unsigned code, std::int64_t cost,
                          std::uint64_t position)
{
    path = parent;
    path.state = state;
    path.cost = cost;
    path.setCode(position, code);
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

// Extends the paths in lanes and chooses among the extensions within a
// reach of the cheapest path's cost: the cheapest to each decoder state, in
// key order (the plain search's order). Should the reach hold fewer than
// `width` states while other extensions lie beyond it, it is widened. The
// next margin follows the reach this choice needed.
void AdpcmEncoder::chooseInLanes(std::int32_t target)
{
    loadPaths();
    startReaching();
    std::int64_t reach = margin;
    std::int64_t atMost = limitOf(reach);
    reachBetween(target, -1, atMost);
    for (int widened = 0; reachedCount < static_cast<std::size_t>(width) && atMost != INT64_MAX; ++widened) {
        // A little at first, as the margin nearly always suffices; then
        // doubling, for a sudden change of the signal.
        reach = widened == 0 ? reach + reach / 4 + (std::int64_t{1} << 12) : reach * 2;
        const std::int64_t above = atMost;
        atMost = limitOf(reach);
        reachBetween(target, above, atMost);
    }
    chooseFromReached();
    const std::int64_t needed = nextPaths.back().cost - paths.front().cost;
    margin = std::min(needed + needed / 8 + (std::int64_t{1} << 12), maxCost);
}

void AdpcmEncoder::loadPaths()
{
    const std::size_t count = paths.size();
    for (std::size_t i = 0; i < count; ++i) {
        pathSamples[i] = paths[i].state.sample();
        pathSteps[i] = paths[i].state.stepIndex();
        pathCosts[i] = paths[i].cost;
    }
}

void AdpcmEncoder::startReaching()
{
    if (reachTag == 0) {
        std::fill(leastAt.begin(), leastAt.end(), UINT64_MAX);
        reachTag = firstTag;
    }
    --reachTag;
    reachedCount = 0;
}

// The greatest cost of an extension at most `reach` more than the cheapest
// path; INT64_MAX for every extension.
std::int64_t AdpcmEncoder::limitOf(std::int64_t reach) const
{
    const std::int64_t limit = paths.front().cost + reach;
    return limit >= maxCost ? INT64_MAX : limit;
}

// Notes the states reached by the extensions that cost more than `above`
// and at most `atMost`.
void AdpcmEncoder::reachBetween(std::int32_t target, std::int64_t above, std::int64_t atMost)
{
    const AdpcmSearch::Paths within{pathSamples.data(), pathSteps.data(), pathCosts.data(), paths.size(),
                                    above, atMost};
    reachStates(beam.keepExtensions(within, target, {keptSquares.data(), keptReaches.data()}));
}

// Notes the decoder states (stateKey) that the first `keptCount` kept
// extensions lead to, and the least key to each.
void AdpcmEncoder::reachStates(std::size_t keptCount)
{
    // Without branches on whether a state is new, which no predictor
    // guesses: every state is written past the end, and counted when new.
    // The entry of an older round is greater than any of this one, so the
    // least entry is the least key of this round, and a state is new when
    // its entry is `older` or more.
    std::size_t count = reachedCount;
    const std::uint64_t tag = reachTag;
    const std::uint64_t older = (tag + 1) << keyBits;
    for (std::size_t i = 0; i < keptCount; ++i) {
        const std::int32_t lowKey = AdpcmSearch::lowKeyOf(keptReaches[i]);
        const std::int32_t state = AdpcmSearch::stateKeyOf(keptReaches[i]);
        const std::int64_t cost = pathCosts[AdpcmSearch::parentOf(lowKey)] + keptSquares[i];
        const std::uint64_t entry = tag << keyBits | static_cast<std::uint64_t>(AdpcmSearch::keyOf(cost, lowKey));
        std::uint64_t& least = leastAt[static_cast<std::size_t>(state)];
        const std::uint64_t held = least;
        least = std::min(held, entry);
        reachedStates[count] = state;
        count += held >= older;
    }
    reachedCount = count;
}

// Only the cheapest extension to a state can be chosen: extends the paths
// by the first `width` of those in key order.
void AdpcmEncoder::chooseFromReached()
{
    const std::size_t reached = reachedCount;
    for (std::size_t i = 0; i < reached; ++i)
        reachedKeys[i] = static_cast<std::int64_t>(leastAt[static_cast<std::size_t>(reachedStates[i])] & keyMask);
    beam.sortKeys(reachedKeys.data(), reached, sortedKeys.data());
    const std::size_t count = std::min(reached, static_cast<std::size_t>(width));
    nextPaths.resize(count);
    // Local pointers, as the compiler would read the vectors again after
    // every store into a path.
    const Adpcm::Tables& tables = Adpcm::tables();
    const std::uint64_t position = fed;
    const std::int64_t* const keys = sortedKeys.data();
    const Path* const parents = paths.data();
    Path* const extended = nextPaths.data();
    for (std::size_t i = 0; i < count; ++i) {
        // Decoded in registers before the copy, which the decoder's table
        // reads would otherwise wait for.
        const std::int64_t key = keys[i];
        const Path& parent = parents[AdpcmSearch::parentOf(key)];
        const unsigned code = AdpcmSearch::codeOf(key);
        Adpcm state = parent.state;
        state.decode(code, tables);
        extend(extended[i], parent, state, code, AdpcmSearch::costOf(key), position);
    }
}

// A new round of choosing: no state chosen yet.
void AdpcmEncoder::startChoosing()
{
    if (++stepNumber == 0) {
        std::fill(chosenAt.begin(), chosenAt.end(), 0);
        stepNumber = 1;
    }
    chosen.clear();
}

// Every cursor yields its extensions cheapest first, so merging them stops
// after `width` distinct ones; of several that reach nearly one state the
// first, the cheapest, is kept. A taken cursor's next key moves only a few
// places back in the order.
void AdpcmEncoder::chooseExtensions(std::int32_t target)
{
    startChoosing();
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
        if (state.decode(AdpcmSearch::codeByPosition[middle], tables) * 256 < target) {
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
    return {path.cost + static_cast<std::int64_t>(error) * error, state, parent, AdpcmSearch::codeByPosition[position]};
}

AdpcmEncoder::Candidate AdpcmEncoder::Cursor::at(const Path& path, int position, std::int32_t target) const
{
    Adpcm state = path.state;
    if (position >= 0 && position < Adpcm::codeCount)
        state.decode(AdpcmSearch::codeByPosition[position], tables);
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

AdpcmEncoder::SearchState AdpcmEncoder::searchState() const
{
    SearchState state;
    state.settledState = settledState;
    state.unsettled = fed - settled;
    state.paths = paths;
    for (Path& path : state.paths)
        path.renumberCodes(settled, state.unsettled);
    return state;
}

// Each word is put together from the two the codes now span, a funnel
// shift around the ring, and keeps only the codes below `count`.
void AdpcmEncoder::Path::renumberCodes(std::uint64_t first, std::uint64_t count)
{
    const unsigned shift = shiftOf(first);
    const std::uint64_t firstWord = first / codesPerWord;
    std::uint64_t renumbered[words];
    for (int k = 0; k < words; ++k) {
        const std::uint64_t low = recent[(firstWord + k) % words];
        const std::uint64_t high = recent[(firstWord + k + 1) % words];
        const std::uint64_t codes = shift == 0 ? low : low >> shift | high << (64 - shift);
        const std::uint64_t wordStart = static_cast<std::uint64_t>(k) * codesPerWord;
        if (count >= wordStart + codesPerWord)
            renumbered[k] = codes;
        else if (count <= wordStart)
            renumbered[k] = 0;
        else
            renumbered[k] = codes & ((std::uint64_t{1} << shiftOf(count)) - 1);
    }
    std::copy(renumbered, renumbered + words, recent);
}

bool AdpcmEncoder::SearchState::operator==(const SearchState& other) const
{
    const auto same = [](const Adpcm& a, const Adpcm& b) {
        return a.sample() == b.sample() && a.stepIndex() == b.stepIndex();
    };
    const auto samePath = [&](const Path& a, const Path& b) {
        return same(a.state, b.state) && a.cost == b.cost && std::equal(a.recent, a.recent + Path::words, b.recent);
    };
    return unsettled == other.unsettled && same(settledState, other.settledState) &&
           std::equal(paths.begin(), paths.end(), other.paths.begin(), other.paths.end(), samePath);
}
