#include "AdpcmRoundTrip.h"
#include "AdpcmSearch.h"
#include "SnrMeter.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

namespace {

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<unsigned char>;

EncodedAdpcm encode(const Samples& samples, int width, AdpcmEncoder::Search search = AdpcmEncoder::Search::lanes)
{
    return encodeInBlocks(samples, width, samples.size() + 1, search);
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

// Signals that drive the search into every corner: clamping at both rails
// and at the largest step, long runs of one state (many candidates reaching
// the same states), noise (costs spread wide), sweeps and speech-like bursts
// with pauses.
struct Signal {
    const char* name;
    Samples samples;
};

Samples chirp(std::size_t count, double amplitude)
{
    Samples samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = 2 * std::acos(-1.0) * (0.001 * i + 0.4 * i * i / (2.0 * count));
        samples[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
    }
    return samples;
}

// Vowel-like bursts: a pulse train through a decaying resonance, with
// pauses of silence and a little noise.
Samples speechLike(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, 200);
    Samples samples(count);
    double y1 = 0, y2 = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const bool voiced = i / 1500 % 3 != 2;
        const double pulse = voiced && i % 97 == 0 ? 9000.0 : 0.0;
        const double y = pulse + 1.85 * y1 - 0.9 * y2;
        y2 = y1;
        y1 = y;
        samples[i] = static_cast<std::int16_t>(std::clamp(y + (voiced ? noise(random) : 0.0), -32768.0, 32767.0));
    }
    return samples;
}

// Twice too loud, so that the input itself is clipped to the rails.
Samples clipped(std::size_t count)
{
    Samples samples = sine(count, 32767, 0.013);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(std::clamp(2.0 * samples[i], -32768.0, 32767.0));
    return samples;
}

std::vector<Signal> variedSignals()
{
    return {
        {"silence", Samples(3000, 0)},
        {"full-scale square", squareWave(3000, 40)},
        {"slow square", squareWave(3001, 700)},
        {"noise", randomSamples(3000, 7)},
        {"chirp", chirp(4000, 20000)},
        {"speech-like", speechLike(6000, 8)},
        {"clipping", clipped(3000)},
        {"quiet sine", sine(3000, 300, 0.002)},
    };
}

// The widths of wbkenc's quality levels 1 to 5, and the widest.
const int levelWidths[] = {AdpcmEncoder::greedyWidth, 4, 8, AdpcmEncoder::defaultWidth, 32, AdpcmEncoder::maxWidth};

// The search in lanes gives the plain search's bytes at every width.
void expectSameAsPlainSearch(const std::vector<Signal>& signals, const char* target)
{
    for (const Signal& signal : signals) {
        for (int width : levelWidths) {
            const Bytes plain = encode(signal.samples, width, AdpcmEncoder::Search::plain).bytes;
            EXPECT_EQ(encode(signal.samples, width).bytes, plain)
                << signal.name << ", width " << width << ", target " << target;
        }
    }
}

TEST(AdpcmEncoder, LanesChooseAsThePlainSearch)
{
    expectSameAsPlainSearch(variedSignals(), hwy::TargetName(hwy::SupportedTargets() & -hwy::SupportedTargets()));
}

// The same under every instruction set built for that the machine runs,
// the emulated ones included.
TEST(AdpcmEncoder, LanesChooseAlikeOnEveryInstructionSet)
{
    const std::vector<Signal> signals = {{"speech-like", speechLike(3000, 9)}, {"noise", randomSamples(1500, 10)},
                                         {"full-scale square", squareWave(1500, 30)}};
    const std::vector<std::int64_t> targets = AdpcmSearch::targets();
    EXPECT_GE(targets.size(), 2u);
    std::set<void*> searches;  // each instruction set runs a search of its own
    for (const std::int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        searches.insert(reinterpret_cast<void*>(AdpcmSearch::beam().keepExtensions));
        expectSameAsPlainSearch(signals, hwy::TargetName(target));
    }
    EXPECT_EQ(searches.size(), targets.size());
    hwy::SetSupportedTargetsForTest(0);
}

// A search state numbers the codes from the oldest unsettled one, so that
// encoders in one state compare equal wherever their codes sit in the ring:
// deep in a silence (where the beam repeats every two samples), one that
// heard an even number of samples more is in the same state.
TEST(AdpcmEncoder, SearchStatesCompareWhereverTheEncodersStarted)
{
    const Samples silence(3000, 0);
    for (const std::size_t fewer : {2, 16, 38, 50}) {
        AdpcmEncoder all, later;
        Bytes bytes;
        all.encode(silence.data(), silence.size(), bytes);
        later.encode(silence.data(), silence.size() - fewer, bytes);
        EXPECT_TRUE(all.searchState() == later.searchState()) << fewer << " samples fewer";
    }
}

} // namespace
