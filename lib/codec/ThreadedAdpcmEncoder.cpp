#include "ThreadedAdpcmEncoder.h"

#include "AllSignalsBlocked.h"

#include <algorithm>
#include <chrono>
#include <utility>

ThreadedAdpcmEncoder::ThreadedAdpcmEncoder(int width, unsigned threads)
    : ThreadedAdpcmEncoder(width, threads, Segments{})
{
}

// The greedy search takes less time than reading its input: it stays on
// the calling thread, where starting segments would cost more than it saves.
ThreadedAdpcmEncoder::ThreadedAdpcmEncoder(int width, unsigned threads, Segments segments)
    : width(width), threads(width <= AdpcmEncoder::greedyWidth ? 1 : threads), segments(segments)
{
    if (this->threads <= 1)
        current = std::make_unique<AdpcmEncoder>(width);
}

// Waits for the segments still in flight.
ThreadedAdpcmEncoder::~ThreadedAdpcmEncoder() = default;

void ThreadedAdpcmEncoder::encode(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                                  std::vector<unsigned char>* outputs)
{
    if (threads <= 1) {
        current->encode(samples, count, bytes, outputs);
        return;
    }
    while (count > 0) {
        const std::size_t taken = std::min(count, segments.length - filling.size());
        filling.insert(filling.end(), samples, samples + taken);
        samples += taken;
        count -= taken;
        if (filling.size() == segments.length) {
            launch(filling.data(), filling.size(), bytes, outputs);
            filling.clear();
        }
    }
}

void ThreadedAdpcmEncoder::finish(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    launchInParts(bytes, outputs);
    while (!inFlight.empty())
        takeOldest(bytes, outputs);
    if (!current)
        current = std::make_unique<AdpcmEncoder>(width);
    current->finish(bytes, outputs);
}

// Starts the filled segment on a thread of its own, which inherits a mask
// blocking every signal, once fewer than `threads` segments are being
// encoded. Segments are taken first while the oldest is finished, and while
// twice `threads` are held.
void ThreadedAdpcmEncoder::launch(const std::int16_t* samples, std::size_t count, std::vector<unsigned char>& bytes,
                                  std::vector<unsigned char>* outputs)
{
    const auto oldestIsDone = [this] {
        return !inFlight.empty() &&
               inFlight.front().encoded.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    while (inFlight.size() >= 2 * threads || oldestIsDone())
        takeOldest(bytes, outputs);
    auto input = std::make_shared<std::vector<std::int16_t>>(previousTail);
    input->insert(input->end(), samples, samples + count);
    const std::size_t start = previousTail.size();
    const std::size_t kept = std::min(segments.warmUp, count);
    previousTail.assign(samples + count - kept, samples + count);

    Segment segment{input, start, {}};
    places.take(threads);
    try {
        const AllSignalsBlocked blocked;
        segment.encoded = std::async(std::launch::async, encodeInPlace, std::ref(places), width, segments.checkEvery,
                                     segment.input, start);
    } catch (...) {
        places.giveBack();
        throw;
    }
    inFlight.push_back(std::move(segment));
}

// Shares the samples left at the end among the threads, in parts of even
// lengths, so that an input shorter than a segment is encoded on all of
// them too; a part stays long enough for its warm-up to pay off.
void ThreadedAdpcmEncoder::launchInParts(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    const std::size_t shortest = 8 * std::max(segments.warmUp, segments.checkEvery);
    const std::size_t parts = std::clamp<std::size_t>(filling.size() / shortest, 1, threads);
    const std::size_t partLength = (filling.size() / parts + 1) / 2 * 2;
    for (std::size_t first = 0; first < filling.size(); first += partLength)
        launch(filling.data() + first, std::min(partLength, filling.size() - first), bytes, outputs);
    filling.clear();
}

void ThreadedAdpcmEncoder::Places::take(unsigned limit)
{
    std::unique_lock<std::mutex> lock(mutex);
    freed.wait(lock, [&] { return taken < limit; });
    ++taken;
}

void ThreadedAdpcmEncoder::Places::giveBack()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        --taken;
    }
    freed.notify_one();
}

// Encodes a segment apart and gives its place back, also when that throws.
ThreadedAdpcmEncoder::Encoded ThreadedAdpcmEncoder::encodeInPlace(Places& places, int width, std::size_t checkEvery,
                                                                  Input input, std::size_t warmUp)
{
    struct GiveBack {
        Places& places;
        ~GiveBack() { places.giveBack(); }
    } giveBack{places};
    return encodeApart(width, checkEvery, *input, warmUp);
}

// Notes the search state where the warm-up ends and every
// Segments::checkEvery samples after, each where an even count of codes is
// settled (else a half byte would be left behind): a sample later where
// that count is odd.
ThreadedAdpcmEncoder::Encoded ThreadedAdpcmEncoder::encodeApart(int width, std::size_t checkEvery,
                                                                const std::vector<std::int16_t>& samples,
                                                                std::size_t warmUp)
{
    Encoded result;
    result.encoder = std::make_unique<AdpcmEncoder>(width);
    AdpcmEncoder& encoder = *result.encoder;
    result.bytes.reserve(samples.size() / 2 + 1);
    result.outputs.reserve(samples.size() + 1);
    const auto feed = [&](std::size_t from, std::size_t to) {
        encoder.encode(samples.data() + from, to - from, result.bytes, &result.outputs);
    };
    feed(0, warmUp);
    for (std::size_t at = warmUp, next = warmUp; at < samples.size(); next += checkEvery) {
        feed(at, std::min(next, samples.size()));
        at = std::min(next, samples.size());
        AdpcmEncoder::SearchState state = encoder.searchState();
        if ((at - state.unsettled) % 2 == 1 && at < samples.size()) {
            feed(at, at + 1);
            state = encoder.searchState();
            ++at;
        }
        if ((at - state.unsettled) % 2 == 0)
            result.checkpoints.push_back({at - warmUp, at - state.unsettled, std::move(state)});
    }
    return result;
}

// Hands on the oldest segment's bytes. The encoder before it goes on
// through the segment up to the first checkpoint where their search states
// agree; from there the segment's own encoder carries on. The first segment
// has no encoder before it: its own started where the input does.
void ThreadedAdpcmEncoder::takeOldest(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    Segment segment = std::move(inFlight.front());
    inFlight.pop_front();
    Encoded encoded = segment.encoded.get();
    std::size_t settledAtMeeting = 0;
    if (current) {
        const std::int16_t* samples = segment.input->data() + segment.start;
        const std::size_t count = segment.input->size() - segment.start;
        std::size_t fed = 0;
        const auto meets = [&](const Checkpoint& checkpoint) {
            current->encode(samples + fed, checkpoint.fed - fed, bytes, outputs);
            fed = checkpoint.fed;
            return current->searchState() == checkpoint.state;
        };
        const auto meeting = std::find_if(encoded.checkpoints.begin(), encoded.checkpoints.end(), meets);
        if (meeting == encoded.checkpoints.end()) {
            current->encode(samples + fed, count - fed, bytes, outputs);
            return;
        }
        settledAtMeeting = meeting->settled;
    }
    const auto appendFrom = [](std::vector<unsigned char>& to, const std::vector<unsigned char>& from,
                               std::size_t start) {
        to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(start), from.end());
    };
    appendFrom(bytes, encoded.bytes, settledAtMeeting / 2);
    if (outputs)
        appendFrom(*outputs, encoded.outputs, settledAtMeeting);
    current = std::move(encoded.encoder);
}
