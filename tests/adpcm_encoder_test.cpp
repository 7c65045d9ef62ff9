#include "AdpcmRoundTrip.h"
#include "SnrMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<unsigned char>;

EncodedAdpcm encode(const Samples& samples, int width)
{
    return encodeInBlocks(samples, width, samples.size() + 1);
}

Samples randomSamples(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    Samples samples(count);
    for (auto& sample : samples)
        sample = static_cast<std::int16_t>(random());
    return samples;
}

// Full scale, so that the decoder clamps at 0 and 4095 and the step index
// at 48.
Samples squareWave(std::size_t count, std::size_t period)
{
    Samples samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = (i / (period / 2)) % 2 ? INT16_MIN : INT16_MAX;
    return samples;
}

Samples sine(std::size_t count, double amplitude, double cyclesPerSample)
{
    Samples samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::acos(-1.0) * cyclesPerSample * i)));
    return samples;
}

// The encoder's idea of every output is what the decoder really plays, one
// code after another: nothing drifts, whatever the width, the length
// (odd ones padded with one code) or the clamping.
TEST(AdpcmEncoder, DecoderPlaysWhatTheEncoderChose)
{
    const struct {
        const char* name;
        Samples samples;
    } inputs[] = {
        {"empty", {}},
        {"one sample", {1000}},
        {"random, odd", randomSamples(1001, 1)},
        {"random", randomSamples(4000, 2)},
        {"square", squareWave(3000, 40)},
        {"slow square, odd", squareWave(2999, 600)},
    };
    for (const auto& input : inputs) {
        for (int width : {1, 3, AdpcmEncoder::defaultWidth, AdpcmEncoder::maxWidth}) {
            const EncodedAdpcm encoded = encode(input.samples, width);
            const std::size_t codes = input.samples.size() + input.samples.size() % 2;
            EXPECT_EQ(encoded.bytes.size(), codes / 2) << input.name << ", width " << width;
            EXPECT_EQ(encoded.outputs, decodeAdpcm(encoded.bytes)) << input.name << ", width " << width;
        }
    }
}

// The greedy level picks, for every sample, a code whose output comes
// closest to it from the state the decoder is really in.
TEST(AdpcmEncoder, GreedyPicksTheClosestCodeFromTheDecodersState)
{
    const Samples samples = randomSamples(2000, 3);
    const Bytes bytes = encode(samples, AdpcmEncoder::greedyWidth).bytes;
    Adpcm decoder;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto errorOf = [&](unsigned code) {
            Adpcm trial = decoder;
            return std::abs(trial.decode(code) * 256 - (samples[i] + 32768));
        };
        int best = INT32_MAX;
        for (unsigned code = 0; code < Adpcm::codeCount; ++code)
            best = std::min(best, errorOf(code));
        const unsigned chosen = (bytes[i / 2] >> (i % 2 * 4)) & 15;
        ASSERT_EQ(errorOf(chosen), best) << "sample " << i;
        decoder.decode(chosen);
    }
}

TEST(AdpcmEncoder, SquareWaveReachesBothRails)
{
    const Bytes played = decodeAdpcm(encode(squareWave(2000, 400), AdpcmEncoder::defaultWidth).bytes);
    EXPECT_EQ(*std::min_element(played.begin(), played.end()), 0);
    EXPECT_EQ(*std::max_element(played.begin(), played.end()), 255);
}

// Feeding the samples in blocks of any size gives the bytes of one call.
TEST(AdpcmEncoder, BlocksGiveTheBytesOfOneCall)
{
    const Samples samples = sine(5001, 12000, 0.031);
    for (int width : {1, AdpcmEncoder::defaultWidth}) {
        const Bytes whole = encode(samples, width).bytes;
        for (std::size_t block : {1, 2, 63, 64, 65, 1000})
            EXPECT_EQ(encodeInBlocks(samples, width, block).bytes, whole) << "width " << width << ", block " << block;
    }
}

// Round trips on sines stay close to the input once the step size has
// adapted (the first 64 samples), and the default search beats the greedy
// one on the louder tones; silence stays at the zero level.
TEST(AdpcmEncoder, RoundTripStaysClose)
{
    const int widths[] = {AdpcmEncoder::greedyWidth, AdpcmEncoder::defaultWidth};
    const struct {
        const char* name;
        Samples samples;
        int maxError;      // in 8-bit steps, after the first 64 samples
        double minSnr[2];  // dB, whole signal, at each of the widths
    } cases[] = {
        {"440 Hz at 16540 Hz, half scale", sine(8000, 16384, 440.0 / 16540), 2, {34, 37}},
        {"2 kHz at 16540 Hz, -6 dBFS", sine(8000, 16384, 2000.0 / 16540), 10, {22, 23}},
        {"quiet 100 Hz", sine(8000, 1024, 100.0 / 16540), 1, {19, 19}},
        {"silence", Samples(1000, 0), 1, {0, 0}},
    };
    for (const auto& c : cases) {
        for (int k : {0, 1}) {
            const int width = widths[k];
            const Bytes played = decodeAdpcm(encode(c.samples, width).bytes);
            SnrMeter meter;
            int maxError = 0;
            for (std::size_t i = 0; i < c.samples.size(); ++i) {
                meter.add(c.samples[i], played[i]);
                const int error = static_cast<int>(std::lround(std::abs(played[i] - 128 - c.samples[i] / 256.0)));
                if (i >= 64)
                    maxError = std::max(maxError, error);
            }
            EXPECT_LE(maxError, c.maxError) << c.name << ", width " << width;
            if (c.minSnr[k] > 0) {
                EXPECT_GE(meter.decibels(), c.minSnr[k]) << c.name << ", width " << width;
            }
        }
    }
}

} // namespace
