// tonegen: writes a sine tone to standard output as signed 8-bit mono PCM,
// or with --adpcm as 4-bit ADPCM (two codes a byte, low nibble first), so
// that the demo can build a bank from samples of its own.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The ADPCM decoder's state, which the encoder follows code by code so that
// each code is chosen from what the decoder will really hold.
class AdpcmState {
public:
    AdpcmState()
    {
        long l = 1, p = 1;
        for (int i = 0; i < 49; ++i) {
            steps[i] = static_cast<int>(l * 16 / p);
            l *= 11;
            p *= 10;
            if (p > 100000) {
                l /= 10;
                p /= 10;
            }
        }
    }

    // The code that brings the 12-bit value closest to `target`.
    unsigned char encode(int target)
    {
        const int step = steps[index];
        int difference = target - value;
        unsigned char code = 0;
        if (difference < 0) {
            code = 8;
            difference = -difference;
        }
        for (int bit = 4, part = step; bit > 0; bit >>= 1, part /= 2) {
            if (difference >= part) {
                code |= bit;
                difference -= part;
            }
        }
        apply(code);
        return code;
    }

private:
    void apply(unsigned char code)
    {
        static const int indexChange[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
        const int s = (code & 8) ? -steps[index] : steps[index];
        int delta = s / 8;
        if (code & 1)
            delta += s / 4;
        if (code & 2)
            delta += s / 2;
        if (code & 4)
            delta += s;
        value = std::clamp(value + delta, 0, 4095);
        index = std::clamp(index + indexChange[code & 7], 0, 48);
    }

    int steps[49];
    int value = 2047;
    int index = 0;
};

std::vector<unsigned char> encodeAdpcm(const std::vector<signed char>& samples)
{
    AdpcmState state;
    std::vector<unsigned char> codes((samples.size() + 1) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const unsigned char code = state.encode((samples[i] + 128) << 4);
        codes[i / 2] |= i % 2 ? code << 4 : code;
    }
    return codes;
}

} // namespace

int main(int argc, char* argv[])
{
    const bool adpcm = argc > 1 && std::strcmp(argv[1], "--adpcm") == 0;
    if (argc != 4 + adpcm) {
        std::fprintf(stderr, "Usage:%s [--adpcm] frequency rate milliseconds\n", argv[0]);
        return -1;
    }
    const double frequency = std::atof(argv[1 + adpcm]);
    const int rate = std::atoi(argv[2 + adpcm]);
    const long count = std::atol(argv[3 + adpcm]) * rate / 1000;
    if (frequency <= 0 || rate <= 0 || count < 0) {
        std::fprintf(stderr, "%s: frequency, rate and length must be positive\n", argv[0]);
        return -1;
    }
    const double pi = std::acos(-1.0);
    std::vector<signed char> samples(count);
    for (long i = 0; i < count; ++i)
        samples[i] = static_cast<signed char>(std::lround(100 * std::sin(2 * pi * frequency * i / rate)));
    if (adpcm) {
        const std::vector<unsigned char> codes = encodeAdpcm(samples);
        return std::fwrite(codes.data(), 1, codes.size(), stdout) == codes.size() ? 0 : -1;
    }
    return std::fwrite(samples.data(), 1, samples.size(), stdout) == samples.size() ? 0 : -1;
}
