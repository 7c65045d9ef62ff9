#include "Pcm8Encoder.h"

void Pcm8Encoder::encode(const std::int32_t* samples, std::size_t count, signed char* out)
{
    // In units of 1/65536 of an 8-bit step: a 16-bit step is 256 of them.
    constexpr std::int64_t step = 65536;
    for (std::size_t i = 0; i < count; ++i) {
        std::int64_t value = static_cast<std::int64_t>(samples[i]) * 256;
        if (dither) {
            // The sum of two uniform values in [0, 1) steps, less one step.
            const std::uint32_t bits = random();
            value += static_cast<std::int64_t>(bits & 0xFFFF) + (bits >> 16) - step;
        }
        // Round half up; the offset keeps the division on non-negative values.
        std::int64_t rounded = (value + step / 2 + (std::int64_t{1} << 40)) / step - (std::int64_t{1} << 24);
        if (rounded > 127 || rounded < -128) {
            rounded = rounded > 127 ? 127 : -128;
            ++clippedCount;
        }
        out[i] = static_cast<signed char>(rounded);
    }
}
