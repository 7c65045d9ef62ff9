#ifndef WBK_AUDIO_SOURCE_H
#define WBK_AUDIO_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An audio file read block by block through libsndfile, mixed down to mono
// and, when asked, resampled with libsoxr (high quality). Samples come out
// rounded in the scale of signed 16-bit, not yet clipped: a float file or
// the resampler may go beyond it (held within +-2^23).
class AudioSource {
public:
    // Opens `path`; check error() before anything else.
    explicit AudioSource(const std::string& path);
    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // Empty when the file was opened, else libsndfile's reason.
    std::string error() const;
    int inputRate() const;
    // The input holds 8-bit samples on one channel: nothing to round.
    bool isMono8Bit() const;
    // Frames in the file, 0 when the format does not tell (a pipe).
    std::int64_t inputFrames() const;

    // Resamples from here on; returns soxr's reason when it cannot.
    std::string resampleTo(int rate);

    // Replaces `out` with the next samples; false once the input is used up
    // (then `out` is empty) or reading failed (then error() says why).
    bool next(std::vector<std::int32_t>& out);
    std::int64_t framesRead() const;

private:
    struct Reader;
    std::unique_ptr<Reader> reader;
};

#endif
