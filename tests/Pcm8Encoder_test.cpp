#include "Pcm8Encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Without dither: nearest 8-bit value, halves rounded up, clipped at both
// ends (a full-scale 16-bit sample rounds to 128 and is clipped).
TEST(Pcm8Encoder, RoundsAndClips)
{
    const struct {
        std::int32_t sample;
        int expected;
        bool clipped;
    } cases[] = {
        {0, 0, false},          {127, 0, false},         {128, 1, false},       {-128, 0, false},
        {-129, -1, false},      {256 * 100, 100, false}, {32639, 127, false},   {32640, 127, true},
        {32767, 127, true},     {-32768, -128, false},   {-32896, -128, false}, {-32897, -128, true},
        {1 << 23, 127, true},   {-(1 << 23), -128, true},
    };
    for (const auto& c : cases) {
        Pcm8Encoder encoder(false);
        signed char out = 0;
        encoder.encode(&c.sample, 1, &out);
        EXPECT_EQ(out, c.expected) << c.sample;
        EXPECT_EQ(encoder.clipped(), c.clipped ? 1u : 0u) << c.sample;
    }
}

// Dither moves each sample by less than one step either way, leaves the
// mean where it was, and is the same on every run.
TEST(Pcm8Encoder, DitherIsSmallUnbiasedAndRepeatable)
{
    for (std::int32_t level : {0, 64, 128, 5000, -7000}) {
        const std::vector<std::int32_t> samples(20000, level);
        std::vector<signed char> first(samples.size()), second(samples.size());
        Pcm8Encoder(true).encode(samples.data(), samples.size(), first.data());
        Pcm8Encoder(true).encode(samples.data(), samples.size(), second.data());
        EXPECT_EQ(first, second) << level;
        double sum = 0;
        for (signed char value : first) {
            EXPECT_LE(std::abs(value - level / 256.0), 1.5) << level;
            sum += value;
        }
        EXPECT_NEAR(sum / first.size(), level / 256.0, 0.02) << level;
    }
}

} // namespace
