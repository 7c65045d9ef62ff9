// tonegen: writes a sine tone as signed 8-bit mono PCM to standard output,
// so that the demo can build a bank from samples of its own.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "Usage:%s frequency rate milliseconds\n", argv[0]);
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
    std::vector<signed char> samples(count);
    for (long i = 0; i < count; ++i)
        samples[i] = static_cast<signed char>(std::lround(100 * std::sin(2 * pi * frequency * i / rate)));
    return std::fwrite(samples.data(), 1, samples.size(), stdout) == samples.size() ? 0 : -1;
}
