#ifndef WBK_SNR_METER_H
#define WBK_SNR_METER_H

#include <cstdint>

// Signal-to-noise ratio of decoded 8-bit output (128 is silence) against the
// samples it was made from. The mean of the error is removed first, so a
// constant offset does not count as noise.
class SnrMeter {
public:
    // A sample in the scale of signed 16-bit and the 8-bit output decoded
    // for it.
    void add(std::int32_t sample, unsigned char decoded)
    {
        const double signal = sample / 256.0;
        const double error = decoded - 128 - signal;
        signalPower += signal * signal;
        errorSum += error;
        errorPower += error * error;
        ++count;
    }

    // In dB; infinity without noise, NaN without signal.
    double decibels() const;

private:
    double signalPower = 0;
    double errorSum = 0;
    double errorPower = 0;
    std::int64_t count = 0;
};

#endif
