// tonegen: writes a sine tone for the demo, as signed 8-bit mono PCM on
// standard output, or as a 16-bit WAV file when a file name is given (the
// demo turns that into ADPCM with wbkenc).
#include <sndfile.hh>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char* argv[])
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "Usage:%s frequency rate milliseconds [file.wav]\n", argv[0]);
        return -1;
    }
    const double frequency = std::atof(argv[1]);
    const int rate = std::atoi(argv[2]);
    const long count = std::atol(argv[3]) * rate / 1000;
    if (frequency <= 0 || rate <= 0 || count < 0) {
        std::fprintf(stderr, "%s: frequency, rate and length must be positive\n", argv[0]);
        return -1;
    }
    const double pi = std::acos(-1.0);
    const double amplitude = 100.0 / 128;
    std::vector<double> tone(count);
    for (long i = 0; i < count; ++i)
        tone[i] = amplitude * std::sin(2 * pi * frequency * i / rate);

    if (argc == 5) {
        SndfileHandle file(argv[4], SFM_WRITE, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, rate);
        if (file.error() != SF_ERR_NO_ERROR || file.write(tone.data(), count) != count) {
            std::fprintf(stderr, "%s: can not write %s: %s\n", argv[0], argv[4], file.strError());
            return -1;
        }
        return 0;
    }
    std::vector<signed char> samples(count);
    for (long i = 0; i < count; ++i)
        samples[i] = static_cast<signed char>(std::lround(128 * tone[i]));
    return std::fwrite(samples.data(), 1, samples.size(), stdout) == samples.size() ? 0 : -1;
}
