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

using Samples = std::vector<std::unique_ptr<Pcm>>;

// Decodes every whole entry of the bank, one dot per entry.
Samples loadSamples(const Bank& bank)
{
    Samples samples;
    for (const BankEntry& entry : bank.entries()) {
        samples.push_back(std::make_unique<Pcm>(bank, entry));
        std::cout << "." << std::flush;
    }
    return samples;
}

void printListing(const std::vector<BankEntry>& entries, int rawText)
{
    std::cout << "No. \t format \t size  \t rate \t original data \t length " << std::endl;
    std::cout << "--- \t--------\t-------\t------\t---------------\t--------" << std::endl;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const BankEntry& entry = entries[k];
        std::cout << k << "\t" << (entry.isAdpcm() ? "adpcm   " : "8bit    ") << "\t" << entry.size << "\t"
                  << entry.rate << "\t" << visibleText(entry.nameText().c_str(), rawText) << "   \t";
        // The playing time of the decoded samples; an ADPCM byte holds two.
        if (entry.rate == 0)
            std::cout << "-";
        else
            std::cout << static_cast<double>(entry.decodedSize()) / entry.rate;
        std::cout << std::endl;
    }
}

// Sets the device to the rate of the next sample. A nearby rate that the
// device chose instead (Audio has reported it) still plays; a rate that it
// refused does not, and rate 0 is not even sent.
bool setDeviceRate(int rate)
{
    return rate > 0 && (Audio::setRate(rate) || Audio::getSampleRate() != rate);
}

// One sample per character read; at the end of input the rest play on. A
// write that the device refuses ends the program.
void playSamples(const Samples& samples, int rawText)
{
    if (!samples.empty() && isatty(STDIN_FILENO))
        std::cerr << "press Enter to play the next sample, or type a number of letters to play several" << std::endl;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Pcm& pcm = *samples[k];
        std::getchar();
        if (!setDeviceRate(pcm.getPcmRate())) {
            std::cerr << "wbkdeck: skipping entry " << k << ": the device can not play " << pcm.getPcmRate() << " Hz"
                      << std::endl;
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
}

// Ends the loading line, after the dots of the whole entries, or the
// program when the bank is cut short; then prints the listing.
void finishLoading(const Bank& bank, const char* wbkFileName, int rawText)
{
    stopAtDamage(bank);
    std::cout << "done." << std::endl;
    std::cout << visibleText(wbkFileName, rawText) << " has " << bank.entries().size() << " PCM" << std::endl;
    printListing(bank.entries(), rawText);
}

} // namespace

void listPcm(const Bank& bank, const char* wbkFileName, int rawText)
{
    // The index is read already: the dots come at once.
    std::cout << std::string(bank.entries().size(), '.');
    finishLoading(bank, wbkFileName, rawText);
}

void playPcm(const Bank& bank, const char* wbkFileName, int rawText)
{
    const Samples samples = loadSamples(bank);
    finishLoading(bank, wbkFileName, rawText);
    if (!Audio::openAudioDevice()) {
        std::perror("can not open Audio Device");
        std::exit(-1);
    }
    Audio::initializeAudioDevice(initialRate);
    playSamples(samples, rawText);
    Audio::closeAudioDevice();
}
