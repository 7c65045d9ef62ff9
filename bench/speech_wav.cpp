// Writes the synthesised speech-like signal as a 16-bit mono WAV file, the
// input of the encoder's whole-program benchmark (encode.sh).
// Usage: speech_wav OUTPUT RATE SECONDS
#include "Signals.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

void putLittleEndian(std::ofstream& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>(value >> (8 * i) & 0xff));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "Usage: speech_wav OUTPUT RATE SECONDS\n");
        return 2;
    }
    const int rate = std::atoi(argv[2]);
    const std::vector<std::int16_t> samples = speechLike(rate, std::atof(argv[3]));
    const auto dataBytes = static_cast<std::uint32_t>(2 * samples.size());
    std::ofstream out(argv[1], std::ios::binary);
    out.write("RIFF", 4);
    putLittleEndian(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLittleEndian(out, 16, 4);
    putLittleEndian(out, 1, 2);  // PCM
    putLittleEndian(out, 1, 2);  // mono
    putLittleEndian(out, static_cast<std::uint32_t>(rate), 4);
    putLittleEndian(out, static_cast<std::uint32_t>(2 * rate), 4);
    putLittleEndian(out, 2, 2);
    putLittleEndian(out, 16, 2);
    out.write("data", 4);
    putLittleEndian(out, dataBytes, 4);
    for (std::int16_t sample : samples)
        putLittleEndian(out, static_cast<std::uint16_t>(sample), 2);
    if (!out) {
        std::fprintf(stderr, "speech_wav: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
