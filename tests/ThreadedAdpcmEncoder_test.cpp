#include "AdpcmRoundTrip.h"
#include "ThreadedAdpcmEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using Samples = std::vector<std::int16_t>;

// A rising tone in noise with a pause, then full-scale noise: the search
// states take a while to agree after loud noise, and pass through silence.
Samples toneNoiseAndPause(std::size_t count)
{
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 800);
    Samples samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double tone = 12000 * std::sin(0.0005 * static_cast<double>(i * i) / static_cast<double>(count));
        const bool paused = i % 5000 >= 4200;
        const bool loud = i > count * 3 / 4;
        const double value = paused ? 0 : loud ? static_cast<std::int16_t>(random()) : tone + noise(random);
        samples[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return samples;
}

// Any number of threads, segment layout and block size gives one
// encoder's bytes and outputs: segments, and the parts the rest is shared
// in, are stitched where the search states meet, at the first checkpoint or
// a later one, or not at all.
TEST(ThreadedAdpcmEncoder, GivesTheBytesOfOneEncoder)
{
    const Samples samples = toneNoiseAndPause(20001);
    const struct {
        unsigned threads;
        ThreadedAdpcmEncoder::Segments segments;
        std::size_t block;
    } runs[] = {
        {2, {2048, 512, 256}, 20001}, {3, {2048, 512, 256}, 777}, {2, {4096, 0, 64}, 1000},
        {2, {1024, 2, 1024}, 5000}, {1, {2048, 512, 256}, 3000},
        // Shorter than one segment: shared among the threads.
        {3, {32768, 256, 128}, 4000},
    };
    for (const int width : {AdpcmEncoder::greedyWidth, 4, AdpcmEncoder::defaultWidth}) {
        const EncodedAdpcm single = encodeInBlocks(samples, width, samples.size());
        for (const auto& run : runs) {
            ThreadedAdpcmEncoder encoder(width, run.threads, run.segments);
            const EncodedAdpcm threaded = feedInBlocks(encoder, samples, run.block);
            // One thread, or the greedy width, encodes on the calling thread.
            const bool inSegments = run.threads > 1 && width > AdpcmEncoder::greedyWidth;
            const std::string layout = std::to_string(run.threads) + " threads, segments of " +
                                       std::to_string(run.segments.length) + ", warm-up " +
                                       std::to_string(run.segments.warmUp) + ", checks every " +
                                       std::to_string(run.segments.checkEvery);
            const std::string name = "width " + std::to_string(width) + ", blocks of " + std::to_string(run.block) +
                                     ", " + (inSegments ? layout : "on the calling thread");
            EXPECT_EQ(threaded.bytes, single.bytes) << name;
            EXPECT_EQ(threaded.outputs, single.outputs) << name;
        }
    }
}

} // namespace
