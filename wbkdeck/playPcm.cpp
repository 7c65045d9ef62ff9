#include "playPcm.h"

#include "Pcm.h"
#include "audio.h"
#include "sampleHeader.h"
#include "visibleText.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

namespace {

constexpr int initialRate = 16540;

using Samples = std::vector<std::unique_ptr<Pcm>>;

void writeText(const char* text, int rawText)
{
    std::cout << visibleText(text, rawText);
}

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

void printListing(const Samples& samples, int rawText)
{
    std::cout << "No. \t format \t size  \t rate \t original data \t length " << std::endl;
    std::cout << "--- \t--------\t-------\t------\t---------------\t--------" << std::endl;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Pcm& pcm = *samples[k];
        std::cout << k << "\t" << (isAdpcm(pcm.getType()) ? "adpcm   " : "8bit    ") << "\t" << pcm.getSize() << "\t"
                  << pcm.getPcmRate() << "\t";
        writeText(pcm.getFileName(), rawText);
        std::cout << "   \t" << static_cast<double>(pcm.getSize()) / pcm.getPcmRate() << std::endl;
    }
}

// One sample per character read; at the end of input the rest play on.
void playSamples(const Samples& samples, int rawText)
{
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Pcm& pcm = *samples[k];
        std::getchar();
        writeText(pcm.getFileName(), rawText);
        std::cout << ":now playing " << k << "-th pcm..." << std::flush;
        Audio::setRate(pcm.getPcmRate());
        pcm.play();
        Audio::sync();
        std::cout << "done." << std::endl;
    }
}

// Loads the bank, closes it and prints the listing.
Samples loadAndList(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText)
{
    Samples samples = loadSamples(wbk, endPosition);
    std::cout << "done." << std::endl;
    writeText(wbkFileName, rawText);
    std::cout << " has " << samples.size() << " PCM" << std::endl;
    wbk.close();

    printListing(samples, rawText);
    return samples;
}

} // namespace

void listPcm(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText)
{
    loadAndList(wbk, endPosition, wbkFileName, rawText);
}

void playPcm(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText)
{
    const Samples samples = loadAndList(wbk, endPosition, wbkFileName, rawText);
    if (!Audio::openAudioDevice()) {
        std::perror("can not open Audio Device");
        std::exit(-1);
    }
    Audio::initializeAudioDevice(initialRate);
    playSamples(samples, rawText);
    Audio::closeAudioDevice();
}
