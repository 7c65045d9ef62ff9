#include "AudioSource.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.hh>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// Writes interleaved frames, given in the scale of signed 16-bit, as a WAV
// file of `subtype`: as shorts into integer formats, so that libsndfile
// stores them exactly.
void writeWav(const std::string& path, int subtype, int channels, const std::vector<double>& frames)
{
    SndfileHandle file(path.c_str(), SFM_WRITE, SF_FORMAT_WAV | subtype, channels, 16540);
    ASSERT_EQ(file.error(), 0) << file.strError();
    const sf_count_t count = static_cast<sf_count_t>(frames.size()) / channels;
    if (subtype == SF_FORMAT_FLOAT) {
        std::vector<float> scaled;
        for (double value : frames)
            scaled.push_back(static_cast<float>(value / 32768.0));
        file.writef(scaled.data(), count);
    } else {
        const std::vector<short> shorts(frames.begin(), frames.end());
        file.writef(shorts.data(), count);
    }
}

std::vector<std::int32_t> readAll(const std::string& path)
{
    AudioSource source(path);
    EXPECT_EQ(source.error(), "");
    std::vector<std::int32_t> all, block;
    while (source.next(block))
        all.insert(all.end(), block.begin(), block.end());
    EXPECT_EQ(source.error(), "");
    EXPECT_EQ(source.framesRead(), static_cast<std::int64_t>(all.size()));
    return all;
}

// Integer samples come out as they are, however they are read; what needs
// rounding (float samples, the mean of channels) is rounded half away from
// zero and held within +-2^23.
TEST(AudioSource, SamplesComeOutRoundedHalfAwayFromZero)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> long16(40000);  // over two blocks of 16384 frames
    for (std::size_t i = 0; i < long16.size(); ++i)
        long16[i] = static_cast<double>(i * 13 % 65536) - 32768;
    const std::vector<std::int32_t> long16Expected(long16.begin(), long16.end());
    const struct {
        const char* name;
        int subtype;
        int channels;
        std::vector<double> frames;
        std::vector<std::int32_t> expected;
    } cases[] = {
        {"16-bit", SF_FORMAT_PCM_16, 1, {-32768, -1, 0, 1, 32767, 12345}, {-32768, -1, 0, 1, 32767, 12345}},
        {"16-bit, more than a block", SF_FORMAT_PCM_16, 1, long16, long16Expected},
        {"unsigned 8-bit", SF_FORMAT_PCM_U8, 1, {-32768, -256, 0, 256, 32512}, {-32768, -256, 0, 256, 32512}},
        {"float halves", SF_FORMAT_FLOAT, 1, {0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 0.49, -0.51}, {1, 2, 3, -1, -2, -3, 0, -1}},
        {"float beyond the limit", SF_FORMAT_FLOAT, 1, {1e9, -1e9, nan}, {1 << 23, -(1 << 23), 0}},
        {"16-bit stereo, mean", SF_FORMAT_PCM_16, 2, {1, 2, -1, -2, 3, 4, -32768, 32767}, {2, -2, 4, -1}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        writeWav(dir / "in.wav", c.subtype, c.channels, c.frames);
        EXPECT_EQ(readAll(dir / "in.wav"), c.expected) << c.name;
    }
}

} // namespace
