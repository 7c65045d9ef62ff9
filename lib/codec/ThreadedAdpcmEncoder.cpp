#include "ThreadedAdpcmEncoder.h"

#include <csignal>

ThreadedAdpcmEncoder::ThreadedAdpcmEncoder(int width, unsigned threads)
    : ThreadedAdpcmEncoder(width, threads, Segments{})
{
}

ThreadedAdpcmEncoder::ThreadedAdpcmEncoder(int width, unsigned threads, Segments segments)
    : width(width), threads(threads), segments(segments)
{
    if (threads <= 1)
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
            if (inFlight.size() == threads)
                takeOldest(bytes, outputs);
            launch();
        }
    }
}

void ThreadedAdpcmEncoder::finish(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    if (!filling.empty())
        launch();
    while (!inFlight.empty())
        takeOldest(bytes, outputs);
    if (!current)
        current = std::make_unique<AdpcmEncoder>(width);
    current->finish(bytes, outputs);
}

// Starts the filled segment on a thread of its own, which inherits a mask
// blocking every signal.
void ThreadedAdpcmEncoder::launch()
{
    std::vector<std::int16_t> input = previousTail;
    input.insert(input.end(), filling.begin(), filling.end());
    const std::size_t start = previousTail.size();
    const std::size_t kept = std::min(segments.warmUp, filling.size());
    previousTail.assign(filling.end() - static_cast<std::ptrdiff_t>(kept), filling.end());

    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    Segment segment;
    segment.encoded = std::async(std::launch::async, encodeApart, width, std::move(input), start);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    segment.samples = std::move(filling);
    filling.clear();
    inFlight.push_back(std::move(segment));
}

// Takes the search state where the warm-up ends, or a sample later when an
// odd count of codes is settled there: a half byte would be left behind.
ThreadedAdpcmEncoder::Encoded ThreadedAdpcmEncoder::encodeApart(int width, std::vector<std::int16_t> samples,
                                                                std::size_t warmUp)
{
    Encoded result;
    result.encoder = std::make_unique<AdpcmEncoder>(width);
    AdpcmEncoder& encoder = *result.encoder;
    std::size_t at = warmUp;
    encoder.encode(samples.data(), at, result.bytes, &result.outputs);
    result.atStart = encoder.searchState();
    while ((at - result.atStart.unsettled) % 2 == 1 && at < samples.size()) {
        encoder.encode(samples.data() + at++, 1, result.bytes, &result.outputs);
        result.atStart = encoder.searchState();
    }
    result.lead = at - warmUp;
    result.settledAtStart = at - result.atStart.unsettled;
    encoder.encode(samples.data() + at, samples.size() - at, result.bytes, &result.outputs);
    return result;
}

// Hands on the oldest segment's bytes: from its own encoder when that agrees
// with the one before it, else encoded again by that. The first segment has
// no encoder before it: its own started where the input does.
void ThreadedAdpcmEncoder::takeOldest(std::vector<unsigned char>& bytes, std::vector<unsigned char>* outputs)
{
    Segment segment = std::move(inFlight.front());
    inFlight.pop_front();
    Encoded encoded = segment.encoded.get();
    const std::int16_t* samples = segment.samples.data();
    if (current) {
        current->encode(samples, encoded.lead, bytes, outputs);
        if (encoded.settledAtStart % 2 == 1 || !(current->searchState() == encoded.atStart)) {
            current->encode(samples + encoded.lead, segment.samples.size() - encoded.lead, bytes, outputs);
            return;
        }
    }
    const auto appendFrom = [](std::vector<unsigned char>& to, const std::vector<unsigned char>& from,
                               std::size_t start) {
        to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(start), from.end());
    };
    appendFrom(bytes, encoded.bytes, encoded.settledAtStart / 2);
    if (outputs)
        appendFrom(*outputs, encoded.outputs, encoded.settledAtStart);
    current = std::move(encoded.encoder);
}
