#include "AudioSource.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr sf_count_t blockFrames = 4096;

} // namespace

AudioSource::AudioSource(const std::string& path) : file(path.c_str()) {}

std::string AudioSource::error() const
{
    if (!readError.empty())
        return readError;
    if (file.error() != SF_ERR_NO_ERROR)
        return file.strError();
    return "";
}

bool AudioSource::isMono8Bit() const
{
    const int subtype = file.format() & SF_FORMAT_SUBMASK;
    return file.channels() == 1 && (subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8);
}

std::string AudioSource::resampleTo(int rate)
{
    soxr_error_t failure = nullptr;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    resampler.reset(soxr_create(inputRate(), rate, 1, &failure, nullptr, &quality, nullptr));
    if (failure)
        return failure;
    ratio = static_cast<double>(rate) / inputRate();
    return "";
}

// Reads one block and averages its channels.
void AudioSource::readMono()
{
    const int channels = file.channels();
    interleaved.resize(static_cast<std::size_t>(blockFrames) * channels);
    const sf_count_t frames = file.readf(interleaved.data(), blockFrames);
    if (file.error() != SF_ERR_NO_ERROR)
        readError = file.strError();
    if (frames <= 0 || !readError.empty()) {
        inputDone = true;
        mono.clear();
        return;
    }
    read += frames;
    mono.assign(static_cast<std::size_t>(frames), 0.0f);
    for (sf_count_t i = 0; i < frames; ++i) {
        float sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[static_cast<std::size_t>(i) * channels + c];
        mono[static_cast<std::size_t>(i)] = sum / channels;
    }
}

bool AudioSource::next(std::vector<std::int32_t>& out)
{
    out.clear();
    while (out.empty() && !flushed && readError.empty()) {
        if (!inputDone && monoUsed == mono.size()) {
            readMono();
            monoUsed = 0;
        }
        if (!resampler) {
            flushed = inputDone;
            monoUsed = mono.size();
            toSamples(mono, out);
            continue;
        }
        // Past the end of the input soxr is called with none to flush its
        // filter; it is done when it gives nothing back.
        // Upsampling hands it only as much input as gives about one block,
        // so that memory stays small whatever the ratio.
        const std::size_t left = mono.size() - monoUsed;
        const std::size_t feed = std::min(left, static_cast<std::size_t>(std::ceil(blockFrames / ratio)));
        const std::size_t capacity = static_cast<std::size_t>(std::ceil(feed * ratio)) + blockFrames;
        resampled.resize(capacity);
        std::size_t used = 0, made = 0;
        const soxr_error_t failure = soxr_process(resampler.get(), inputDone ? nullptr : mono.data() + monoUsed,
                                                  feed, &used, resampled.data(), capacity, &made);
        if (failure) {
            readError = std::string("resampling failed: ") + failure;
            break;
        }
        monoUsed += used;
        resampled.resize(made);
        flushed = inputDone && made == 0;
        toSamples(resampled, out);
    }
    return !out.empty();
}

void AudioSource::toSamples(const std::vector<float>& floats, std::vector<std::int32_t>& out)
{
    constexpr double limit = 1 << 23;
    out.resize(floats.size());
    for (std::size_t i = 0; i < floats.size(); ++i) {
        const double scaled = std::isnan(floats[i]) ? 0.0 : std::round(floats[i] * 32768.0);
        out[i] = static_cast<std::int32_t>(std::clamp(scaled, -limit, limit));
    }
}
