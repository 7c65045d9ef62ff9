#ifndef WBK_SAMPLE_ENCODER_H
#define WBK_SAMPLE_ENCODER_H

#include "Pcm8Encoder.h"
#include "SampleFormat.h"
#include "SnrMeter.h"
#include "ThreadedAdpcmEncoder.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Encodes blocks of mono samples, in AudioSource's scale, into the bytes of a
// sample file of `format` (signed 8-bit or ADPCM), handing them to a sink as
// they are settled, and measures the decoded result against the samples.
class SampleEncoder {
public:
    using Sink = std::function<void(const unsigned char* bytes, std::size_t count)>;

    // `width`: the ADPCM search width, searched on `threads` threads;
    // `dither`: for 8-bit output.
    SampleEncoder(SampleFormat format, int width, bool dither, Sink sink, unsigned threads = 1);

    void write(const std::vector<std::int32_t>& samples);
    // Settles the last bytes; nothing may be written afterwards.
    void finish();

    std::uint64_t samples() const { return count; }
    // Samples beyond the output's range: 16 bits for ADPCM, whose decoder
    // reaches the ends of it, 127.5 8-bit steps for 8-bit output.
    std::uint64_t clipped() const { return format == SampleFormat::adpcm ? clippedCount : pcm8.clipped(); }
    double snr() const { return meter.decibels(); }

private:
    void clip(const std::vector<std::int32_t>& samples);
    void flush();

    SampleFormat format;
    ThreadedAdpcmEncoder adpcm;
    Pcm8Encoder pcm8;
    Sink sink;
    SnrMeter meter;
    std::vector<unsigned char> bytes, outputs;
    std::vector<std::int16_t> clipped16;
    std::vector<std::int32_t> waiting;  // samples whose codes are not settled yet
    std::uint64_t count = 0;
    std::uint64_t clippedCount = 0;
};

#endif
