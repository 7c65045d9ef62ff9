#include "writeDecodedWav.h"

#include "WavWriter.h"

std::string writeDecodedWav(const Bank& bank, const BankEntry& entry, int fd, const SamplesSeen& seen)
{
    WavWriter wav(fd, entry.rate);
    const bool allDecoded = bank.decode(entry, [&](const unsigned char* samples, std::size_t count) {
        if (seen)
            seen(samples, count);
        return wav.write(samples, count);
    });
    const bool wavWritten = wav.finish() && allDecoded;
    return wavWritten ? "" : wav.errorText();
}
