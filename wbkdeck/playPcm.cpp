#include "playPcm.h"

#include "Pcm.h"
#include "audio.h"
#include "openBank.h"
#include "visibleText.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int initialRate = 16540;

// A loaded entry and its index in the bank.
struct Sample {
    std::size_t index;
    std::unique_ptr<Pcm> pcm;
};
using Samples = std::vector<Sample>;

// Decodes the chosen entries, one dot per entry.
Samples loadSamples(const Bank& bank, const std::vector<std::size_t>& chosen)
{
    Samples samples;
    for (std::size_t index : chosen) {
        samples.push_back({index, std::make_unique<Pcm>(bank, bank.entries()[index])});
        std::cout << "." << std::flush;
    }
    return samples;
}

// One row per chosen entry, numbered by its index in the bank.
void printListing(const Bank& bank, const std::vector<std::size_t>& chosen, int rawText)
{
    std::cout << "No. \t format \t size  \t rate \t original data \t length " << std::endl;
    std::cout << "--- \t--------\t-------\t------\t---------------\t--------" << std::endl;
    for (std::size_t index : chosen) {
        const BankEntry& entry = bank.entries()[index];
        std::cout << index << "\t" << (entry.isAdpcm() ? "adpcm   " : "8bit    ") << "\t" << entry.size << "\t"
                  << entry.rate << "\t" << visibleText(entry.nameText().c_str(), rawText) << "   \t";
        // The playing time of the decoded samples; an ADPCM byte holds two.
        if (entry.rate == 0)
            std::cout << "-";
        else
            std::cout << static_cast<double>(entry.decodedSize()) / entry.rate;
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
    for (const Sample& sample : samples) {
        const std::size_t k = sample.index;
        const Pcm& pcm = *sample.pcm;
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

// Ends the loading line, after the dots of the chosen entries, or the
// program when the bank is cut short; then prints the bank's number of
// entries and the listing.
void finishLoading(const Bank& bank, const std::vector<std::size_t>& chosen, const char* wbkFileName, int rawText)
{
    stopAtDamage(bank);
    std::cout << "done." << std::endl;
    std::cout << visibleText(wbkFileName, rawText) << " has " << bank.entries().size() << " PCM" << std::endl;
    printListing(bank, chosen, rawText);
}

} // namespace

void listPcm(const Bank& bank, const std::vector<std::size_t>& chosen, const char* wbkFileName, int rawText)
{
    // The index is read already: the dots come at once.
    std::cout << std::string(chosen.size(), '.');
    finishLoading(bank, chosen, wbkFileName, rawText);
}

bool playPcm(const Bank& bank, const std::vector<std::size_t>& chosen, const char* wbkFileName, int rawText)
{
    const Samples samples = loadSamples(bank, chosen);
    finishLoading(bank, chosen, wbkFileName, rawText);
    if (!Audio::openAudioDevice()) {
        std::perror("can not open Audio Device");
        std::exit(-1);
    }
    Audio::initializeAudioDevice(initialRate);
    const bool allPlayed = playSamples(samples, rawText);
    Audio::closeAudioDevice();
    return allPlayed;
}
