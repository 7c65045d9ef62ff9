#include "Signals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

const double pi = std::acos(-1.0);

// Uniform in [-1, 1) from the generator's raw output, the same everywhere.
double noise(std::mt19937& random)
{
    return static_cast<double>(random() >> 8) / (1 << 23) - 1;
}

// A two-pole resonator at a centre frequency and bandwidth, unit gain near
// its peak.
class Resonator {
public:
    double run(double in, double frequency, double bandwidth, int rate)
    {
        const double r = std::exp(-pi * bandwidth / rate);
        const double out = (1 - r) * in + 2 * r * std::cos(2 * pi * frequency / rate) * y1 - r * r * y2;
        y2 = y1;
        y1 = out;
        return out;
    }

private:
    double y1 = 0, y2 = 0;
};

std::vector<std::int16_t> normalised(const std::vector<double>& signal)
{
    double peak = 0;
    for (double x : signal)
        peak = std::max(peak, std::abs(x));
    const double gain = peak > 0 ? std::pow(10.0, -1.0 / 20) * 32767 / peak : 0;
    std::vector<std::int16_t> samples(signal.size());
    std::transform(signal.begin(), signal.end(), samples.begin(),
                   [gain](double x) { return static_cast<std::int16_t>(std::lround(x * gain)); });
    return samples;
}

struct Vowel {
    double f1, f2, f3;
};
const Vowel vowels[] = {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240}, {530, 1840, 2480}, {570, 840, 2410}};

} // namespace

std::vector<std::int16_t> speechLike(int rate, double seconds)
{
    std::mt19937 random(12);
    const std::size_t total = static_cast<std::size_t>(seconds * rate);
    std::vector<double> signal;
    signal.reserve(total);
    Resonator formant[4], hiss;
    Vowel now = vowels[0];
    double phase = 0, glottis = 0, source = 0;
    while (signal.size() < total) {
        const unsigned kind = random() % 8;  // 0..4 vowel, 5..6 fricative, 7 pause
        const std::size_t length = static_cast<std::size_t>((0.08 + 0.22 * (noise(random) + 1) / 2) * rate);
        const Vowel target = vowels[random() % 5];
        const double pitchStart = 120 + 60 * noise(random), pitchEnd = 120 + 60 * noise(random);
        const double loudness = 0.4 + 0.6 * (noise(random) + 1) / 2;
        for (std::size_t i = 0; i < length && signal.size() < total; ++i) {
            const double t = static_cast<double>(i) / length;
            const double envelope = loudness * std::sin(pi * t) * std::sin(pi * t);
            double x = 0;
            if (kind <= 4) {
                // Formants glide towards the new vowel in the first third.
                const double glide = std::min(1.0, 3 * t) * 0.01;
                now = {now.f1 + (target.f1 - now.f1) * glide, now.f2 + (target.f2 - now.f2) * glide,
                       now.f3 + (target.f3 - now.f3) * glide};
                const double pitch = pitchStart + (pitchEnd - pitchStart) * t + 8 * std::sin(2 * pi * 5 * i / rate);
                phase += pitch / rate;
                double pulse = 0;
                if (phase >= 1) {
                    phase -= 1;
                    pulse = 1;
                }
                // The radiated glottal pulse falls by about 6 dB an octave.
                glottis = 0.9 * glottis + pulse - 0.02 * noise(random);
                source = 0.6 * source + 0.4 * glottis;
                x = formant[0].run(source, now.f1, 60, rate);
                x += formant[1].run(source, now.f2, 90, rate) * 0.8;
                x += formant[2].run(source, now.f3, 120, rate) * 0.6;
                x += formant[3].run(source, 3500, 200, rate) * 0.4;
                x = x * envelope;
            } else if (kind <= 6) {
                x = envelope * hiss.run(noise(random), 4500 + 1500 * (kind - 5), 2000, rate) * 0.5;
            } else {
                x = 0.0005 * noise(random);
            }
            signal.push_back(x);
        }
    }
    return normalised(signal);
}

std::vector<std::int16_t> pluckedChord(int rate, double seconds)
{
    static const double chords[][6] = {
        {82.41, 123.47, 164.81, 207.65, 246.94, 329.63},   // E
        {110.00, 164.81, 220.00, 277.18, 329.63, 440.00},  // A
        {146.83, 220.00, 293.66, 369.99, 440.00, 587.33},  // D
        {98.00, 123.47, 146.83, 196.00, 246.94, 392.00},   // G
    };
    std::mt19937 random(34);
    const std::size_t total = static_cast<std::size_t>(seconds * rate);
    const std::size_t chordLength = static_cast<std::size_t>(1.6 * rate);
    const std::size_t strumGap = static_cast<std::size_t>(0.012 * rate);
    std::vector<std::vector<double>> strings(6);
    std::vector<std::size_t> at(6, 0);
    std::vector<double> signal(total);
    for (std::size_t n = 0; n < total; ++n) {
        const std::size_t inChord = n % chordLength;
        for (int s = 0; s < 6; ++s) {
            if (inChord == s * strumGap) {
                // Pluck: fill the delay line with white noise.
                const double frequency = chords[(n / chordLength) % 4][s];
                strings[s].assign(static_cast<std::size_t>(std::lround(rate / frequency)), 0.0);
                for (double& x : strings[s])
                    x = noise(random);
                at[s] = 0;
            }
            std::vector<double>& line = strings[s];
            if (line.empty())
                continue;
            const std::size_t i = at[s], j = (i + 1) % line.size();
            const double out = line[i];
            line[i] = 0.996 * 0.5 * (line[i] + line[j]);
            at[s] = j;
            signal[n] += out;
        }
    }
    return normalised(signal);
}
