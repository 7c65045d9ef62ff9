#ifndef WBK_TESTS_TONE_FILE_H
#define WBK_TESTS_TONE_FILE_H

#include <sndfile.hh>

#include <string>
#include <vector>

// Writes an audio file (WAV unless `format` says) of `frames` frames of a
// tone at `rate`, its samples running on across the `channels`.
inline void writeTone(const std::string& path, int rate, int frames, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                      int channels = 1)
{
    SndfileHandle file(path.c_str(), SFM_WRITE, format, channels, rate);
    std::vector<short> samples(static_cast<std::size_t>(frames) * channels);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(i * 397 % 20000 - 10000);
    file.writef(samples.data(), frames);
}

#endif
