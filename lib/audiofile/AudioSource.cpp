#include "AudioSource.h"

#include <sndfile.hh>
#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr sf_count_t blockFrames = 16384;

struct SoxrDeleter {
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};

} // namespace

// libsndfile's file, soxr's resampler and the blocks between them.
struct AudioSource::Reader {
    explicit Reader(const std::string& path) : file(path.c_str()) {}

    int subtype() const { return file.format() & SF_FORMAT_SUBMASK; }
    bool holdsWholeSamples() const;
    template <class T>
    sf_count_t readBlock(std::vector<T>& into);
    void readWhole(std::vector<std::int32_t>& out);
    void readMono();
    static void toSamples(const std::vector<float>& floats, std::vector<std::int32_t>& out);

    SndfileHandle file;
    std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter> resampler;
    std::vector<float> interleaved, mono, resampled;
    std::vector<short> whole;
    std::size_t monoUsed = 0;  // of `mono`, handed to the resampler
    std::int64_t read = 0;
    bool inputDone = false;
    bool flushed = false;
    std::string readError;
    double ratio = 1;
};

AudioSource::AudioSource(const std::string& path) : reader(std::make_unique<Reader>(path)) {}

AudioSource::~AudioSource() = default;

std::string AudioSource::error() const
{
    if (!reader->readError.empty())
        return reader->readError;
    if (reader->file.error() != SF_ERR_NO_ERROR)
        return reader->file.strError();
    return "";
}

int AudioSource::inputRate() const
{
    return reader->file.samplerate();
}

bool AudioSource::isMono8Bit() const
{
    const int subtype = reader->subtype();
    return reader->file.channels() == 1 && (subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8);
}

std::int64_t AudioSource::inputFrames() const
{
    return reader->file.frames() == SF_COUNT_MAX ? 0 : reader->file.frames();
}

std::int64_t AudioSource::framesRead() const
{
    return reader->read;
}

std::string AudioSource::resampleTo(int rate)
{
    soxr_error_t failure = nullptr;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    reader->resampler.reset(soxr_create(inputRate(), rate, 1, &failure, nullptr, &quality, nullptr));
    if (failure)
        return failure;
    reader->ratio = static_cast<double>(rate) / inputRate();
    return "";
}

// One channel of 8- or 16-bit integers, kept at its rate: libsndfile's
// shorts are the samples themselves, which its floats times 32768 would
// only give back after a conversion and a rounding each.
bool AudioSource::Reader::holdsWholeSamples() const
{
    const int subtype = this->subtype();
    return !resampler && file.channels() == 1 &&
           (subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8);
}

// Reads up to a block of frames into `into`; returns how many, none at the
// end of the input or after an error (noted in readError).
template <class T>
sf_count_t AudioSource::Reader::readBlock(std::vector<T>& into)
{
    into.resize(static_cast<std::size_t>(blockFrames) * file.channels());
    const sf_count_t frames = file.readf(into.data(), blockFrames);
    if (file.error() != SF_ERR_NO_ERROR)
        readError = file.strError();
    if (frames <= 0 || !readError.empty())
        return 0;
    read += frames;
    return frames;
}

// Reads one block of such samples.
void AudioSource::Reader::readWhole(std::vector<std::int32_t>& out)
{
    const sf_count_t frames = readBlock(whole);
    if (frames == 0)
        flushed = true;
    out.assign(whole.begin(), whole.begin() + frames);
}

// Reads one block and averages its channels.
void AudioSource::Reader::readMono()
{
    const int channels = file.channels();
    const sf_count_t frames = readBlock(interleaved);
    if (frames == 0) {
        inputDone = true;
        mono.clear();
        return;
    }
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
    Reader& r = *reader;
    out.clear();
    if (r.holdsWholeSamples()) {
        if (!r.flushed)
            r.readWhole(out);
        return !out.empty();
    }
    while (out.empty() && !r.flushed && r.readError.empty()) {
        if (!r.inputDone && r.monoUsed == r.mono.size()) {
            r.readMono();
            r.monoUsed = 0;
        }
        if (!r.resampler) {
            r.flushed = r.inputDone;
            r.monoUsed = r.mono.size();
            Reader::toSamples(r.mono, out);
            continue;
        }
        // Past the end of the input soxr is called with none to flush its
        // filter; it is done when it gives nothing back.
        // Upsampling hands it only as much input as gives about one block,
        // so that memory stays small whatever the ratio.
        const std::size_t left = r.mono.size() - r.monoUsed;
        const std::size_t feed = std::min(left, static_cast<std::size_t>(std::ceil(blockFrames / r.ratio)));
        const std::size_t capacity = static_cast<std::size_t>(std::ceil(feed * r.ratio)) + blockFrames;
        r.resampled.resize(capacity);
        std::size_t used = 0, made = 0;
        const soxr_error_t failure = soxr_process(r.resampler.get(), r.inputDone ? nullptr : r.mono.data() + r.monoUsed,
                                                  feed, &used, r.resampled.data(), capacity, &made);
        if (failure) {
            r.readError = std::string("resampling failed: ") + failure;
            break;
        }
        r.monoUsed += used;
        r.resampled.resize(made);
        r.flushed = r.inputDone && made == 0;
        Reader::toSamples(r.resampled, out);
    }
    return !out.empty();
}

// Rounds half away from zero, as std::round does, without a call per
// sample: clamped to the limit first (a whole number, so the order does not
// matter), a float times 32768 has at most 24 significant bits, and adding
// a half to its size is exact.
void AudioSource::Reader::toSamples(const std::vector<float>& floats, std::vector<std::int32_t>& out)
{
    constexpr double limit = 1 << 23;
    out.resize(floats.size());
    for (std::size_t i = 0; i < floats.size(); ++i) {
        const double scaled = std::isnan(floats[i]) ? 0.0 : std::clamp(floats[i] * 32768.0, -limit, limit);
        const auto size = static_cast<std::int32_t>(std::fabs(scaled) + 0.5);
        out[i] = scaled < 0 ? -size : size;
    }
}
