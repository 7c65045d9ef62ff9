#include "encodeAudioFile.h"

#include "AdpcmEncoder.h"
#include "AudioSource.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace {

// The rate to encode at, the file set to give its samples at it.
int prepareRate(AudioSource& source, const std::string& shownName, int wanted)
{
    if (!source.error().empty())
        throw std::runtime_error("can not read " + shownName + ": " + source.error());
    const bool resample = wanted != 0 && wanted != source.inputRate();
    if (!resample && (source.inputRate() < 1 || source.inputRate() > AudioEncoding::maxRate))
        throw std::runtime_error(shownName + " is at " + std::to_string(source.inputRate()) +
                                 " Hz, outside 1..65535: choose a rate with -r");
    if (!resample)
        return source.inputRate();
    const std::string failure = source.resampleTo(wanted);
    if (!failure.empty())
        throw std::runtime_error("can not resample " + shownName + ": " + failure);
    return wanted;
}

} // namespace

int AudioEncoding::adpcmWidth() const
{
    static constexpr int widthOfQuality[qualityLevels + 1] = {0, AdpcmEncoder::greedyWidth, 4, 8,
                                                              AdpcmEncoder::defaultWidth, 32};
    return widthOfQuality[quality];
}

unsigned AudioEncoding::defaultThreads()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

EncodedAudio encodeAudioFile(const std::string& path, const std::string& shownName, const AudioEncoding& how,
                             const SampleEncoder::Sink& sink, const EncodingProgress& progress)
{
    AudioSource source(path);
    EncodedAudio result;
    result.rate = prepareRate(source, shownName, how.rate);
    // Samples that are already 8-bit values are copied exactly.
    const bool dither = how.dither && !(source.isMono8Bit() && result.rate == source.inputRate());
    SampleEncoder encoder(how.format, how.adpcmWidth(), dither, sink, how.threads);
    std::vector<std::int32_t> block;
    while (source.next(block)) {
        encoder.write(block);
        if (progress && !progress(source.framesRead(), source.inputFrames()))
            return result;
    }
    if (!source.error().empty())
        throw std::runtime_error("can not read " + shownName + ": " + source.error());
    if (source.framesRead() == 0)
        throw std::runtime_error(shownName + " holds no samples");
    if (encoder.samples() == 0)
        throw std::runtime_error(shownName + " is too short to give a sample at " + std::to_string(result.rate) +
                                 " Hz");
    encoder.finish();
    result.samples = encoder.samples();
    result.snr = encoder.snr();
    result.clipped = encoder.clipped();
    return result;
}
