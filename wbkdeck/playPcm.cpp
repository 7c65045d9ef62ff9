#include "playPcm.h"

#include "Pcm.h"
#include "audio.h"
#include "sampleHeader.h"
#include "visibleText.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

namespace {

constexpr int initialRate = 16540;

using Samples = std::vector<std::unique_ptr<Pcm>>;
using Headers = std::vector<SampleHeader>;

// Decodes every entry of the bank, one dot per entry.
Samples loadSamples(KovaInputStream& wbk, std::int64_t endPosition)
{
    Samples samples;
    while (hasMoreSamples(wbk, endPosition)) {
        // The type byte is taken by the plain get, outside the byte budget.
        const auto type = static_cast<unsigned char>(wbk.get());
        samples.push_back(std::make_unique<Pcm>(type, wbk));
        std::cout << "." << std::flush;
    }
    return samples;
}

// Reads what the listing shows of every entry and passes over the data, with
// the same dots and the same checks as loading, but without the memory.
Headers readHeaders(KovaInputStream& wbk, std::int64_t endPosition)
{
    Headers headers;
    while (hasMoreSamples(wbk, endPosition)) {
        headers.push_back(readSampleHeader(wbk));
        wbk.skip(headers.back().size);
        std::cout << "." << std::flush;
    }
    return headers;
}

SampleHeader headerOf(const Pcm& pcm)
{
    SampleHeader header;
    header.type = static_cast<unsigned char>(pcm.getType());
    const char* name = pcm.getFileName();
    std::copy_n(name, strnlen(name, sampleNameSize), header.name);
    header.rate = pcm.getPcmRate();
    header.size = static_cast<std::uint32_t>(pcm.getSize());
    return header;
}

void printListing(const Headers& headers, int rawText)
{
    std::cout << "No. \t format \t size  \t rate \t original data \t length " << std::endl;
    std::cout << "--- \t--------\t-------\t------\t---------------\t--------" << std::endl;
    for (std::size_t k = 0; k < headers.size(); ++k) {
        const SampleHeader& header = headers[k];
        std::cout << k << "\t" << (isAdpcm(header.type) ? "adpcm   " : "8bit    ") << "\t" << header.size << "\t"
                  << header.rate << "\t" << visibleText(header.name, rawText) << "   \t";
        // The playing time of the decoded samples; an ADPCM byte holds two.
        if (header.rate == 0)
            std::cout << "-";
        else
            std::cout << static_cast<double>(decodedSize(header.type, header.size)) / header.rate;
        std::cout << std::endl;
    }
}

// Sets the device to the rate of the next sample; false only when the device
// refused that rate, or for rate 0, which is not even sent. After any other
// failure (Audio has reported it) the sample plays on the device as it is,
// at a nearby rate that the device chose, for instance.
bool setDeviceRate(int rate)
{
    return rate > 0 && (Audio::setRate(rate) || !Audio::isRateRefused());
}

// One sample per character read; at the end of input the rest play on. A
// write that the device refuses ends the program. False when an entry was
// skipped.
bool playSamples(const Samples& samples, int rawText)
{
    if (!samples.empty() && isatty(STDIN_FILENO))
        std::cerr << "press Enter to play the next sample, or type a number of letters to play several" << std::endl;
    bool allPlayed = true;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Pcm& pcm = *samples[k];
        std::getchar();
        if (!setDeviceRate(pcm.getPcmRate())) {
            std::cerr << "wbkdeck: skipping entry " << k << ": the device can not play " << pcm.getPcmRate() << " Hz"
                      << std::endl;
            allPlayed = false;
            continue;
        }
        std::cout << visibleText(pcm.getFileName(), rawText) << ":now playing " << k << "-th pcm..." << std::flush;
        if (!pcm.play()) {
            const int error = errno;
            std::cout << std::endl;
            errno = error;
            std::perror("can not write to audio device");
            std::exit(-1);
        }
        Audio::sync();
        std::cout << "done." << std::endl;
    }
    return allPlayed;
}

// Ends the loading line, closes the bank and prints the listing.
void finishLoading(KovaInputStream& wbk, const Headers& headers, const char* wbkFileName, int rawText)
{
    std::cout << "done." << std::endl;
    std::cout << visibleText(wbkFileName, rawText) << " has " << headers.size() << " PCM" << std::endl;
    wbk.close();

    printListing(headers, rawText);
}

} // namespace

void listPcm(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText)
{
    finishLoading(wbk, readHeaders(wbk, endPosition), wbkFileName, rawText);
}

bool playPcm(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText)
{
    const Samples samples = loadSamples(wbk, endPosition);
    Headers headers;
    for (const auto& pcm : samples)
        headers.push_back(headerOf(*pcm));
    finishLoading(wbk, headers, wbkFileName, rawText);
    if (!Audio::openAudioDevice()) {
        std::perror("can not open Audio Device");
        std::exit(-1);
    }
    Audio::initializeAudioDevice(initialRate);
    const bool allPlayed = playSamples(samples, rawText);
    Audio::closeAudioDevice();
    return allPlayed;
}
