#include "SampleEncoder.h"

#include "SampleDecoder.h"

#include <algorithm>

SampleEncoder::SampleEncoder(SampleFormat format, int width, bool dither, Sink sink, unsigned threads)
    : format(format), adpcm(width, threads), pcm8(dither), sink(std::move(sink))
{
}

void SampleEncoder::write(const std::vector<std::int32_t>& samples)
{
    count += samples.size();
    if (format == SampleFormat::adpcm) {
        waiting.insert(waiting.end(), samples.begin(), samples.end());
        clip(samples);
        adpcm.encode(clipped16.data(), clipped16.size(), bytes, &outputs);
        flush();
        return;
    }
    bytes.resize(samples.size());
    outputs.resize(samples.size());
    pcm8.encode(samples.data(), samples.size(), reinterpret_cast<signed char*>(bytes.data()));
    SampleDecoder::signedToUnsigned(bytes.data(), bytes.size(), outputs.data());
    for (std::size_t i = 0; i < samples.size(); ++i)
        meter.add(samples[i], outputs[i]);
    sink(bytes.data(), bytes.size());
}

void SampleEncoder::finish()
{
    if (format == SampleFormat::adpcm) {
        adpcm.finish(bytes, &outputs);
        flush();
    }
}

void SampleEncoder::clip(const std::vector<std::int32_t>& samples)
{
    clipped16.resize(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        clipped16[i] = static_cast<std::int16_t>(std::clamp<std::int32_t>(samples[i], INT16_MIN, INT16_MAX));
        clippedCount += clipped16[i] != samples[i];
    }
}

// Hands on the settled bytes and measures their outputs against the samples
// they stand for; the padding code has none.
void SampleEncoder::flush()
{
    sink(bytes.data(), bytes.size());
    bytes.clear();
    const std::size_t measured = std::min(outputs.size(), waiting.size());
    // A copy the byte stores cannot alias keeps its sums in registers.
    SnrMeter sums = meter;
    for (std::size_t i = 0; i < measured; ++i)
        sums.add(waiting[i], outputs[i]);
    meter = sums;
    waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(measured));
    outputs.clear();
}
