#ifndef WBK_ENCODE_AUDIO_FILE_H
#define WBK_ENCODE_AUDIO_FILE_H

#include "SampleEncoder.h"
#include "SampleFormat.h"

#include <cstdint>
#include <functional>
#include <string>

// How an audio file becomes a sample.
struct AudioEncoding {
    static constexpr int qualityLevels = 5;
    static constexpr int defaultQuality = 4;
    static constexpr int maxRate = 65535;  // what a bank entry's rate holds
    static constexpr unsigned maxThreads = 1024;

    SampleFormat format = SampleFormat::adpcm;  // or signed8Bit
    int rate = 0;  // resampled to this; 0: the file's own
    int quality = defaultQuality;  // 1 (greedy ADPCM search) to qualityLevels (widest)
    bool dither = true;  // when reducing to 8 bits; samples that are 8-bit already never are
    unsigned threads = 1;  // for the ADPCM search; the bytes are the same for any number

    // The ADPCM search width of the quality level.
    int adpcmWidth() const;
    // One thread per core.
    static unsigned defaultThreads();
};

// What came out.
struct EncodedAudio {
    int rate = 0;
    std::uint64_t samples = 0;
    double snr = 0;  // decibels, as SnrMeter gives them
    std::uint64_t clipped = 0;
};

// Called after each block read with the frames read so far and the file's
// (0 when unknown); returning false stops the encoding.
using EncodingProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// The whole way from an audio file to the bytes of a sample: read through
// libsndfile and mixed down to mono (AudioSource), resampled, encoded
// (SampleEncoder) into `sink`, measured. What goes wrong throws
// std::runtime_error with a sentence that names the file as `shownName`.
EncodedAudio encodeAudioFile(const std::string& path, const std::string& shownName, const AudioEncoding& how,
                             const SampleEncoder::Sink& sink, const EncodingProgress& progress = {});

#endif
