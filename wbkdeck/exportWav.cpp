#include "exportWav.h"

#include "WavWriter.h"
#include "createNewFile.h"
#include "extractPcm.h"
#include "openBank.h"
#include "visibleText.h"

#include <signal.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

// A signal that asks the run to stop; it stops between two pieces of data, so
// that the file being written can be removed first.
volatile std::sig_atomic_t interruption = 0;

void noteInterruption(int signalNumber)
{
    interruption = signalNumber;
}

// A signal that was ignored when the run started (nohup, a background job of
// a shell without job control) stays ignored.
void catchInterruptions()
{
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
        struct sigaction current = {};
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            std::signal(signalNumber, noteInterruption);
    }
}

void stopIfInterrupted()
{
    if (interruption == 0)
        return;
    std::signal(interruption, SIG_DFL);
    std::raise(interruption);
}

// The RIFF size field counts the 36 bytes of header after it, the data and a
// pad byte after odd-sized data, in 32 bits.
constexpr std::uint64_t maxWavDataSize = UINT32_MAX - 37;

// Decodes the entry's data into the new file `name`; true when it was
// written whole.
bool writeWav(const Bank& bank, const BankEntry& entry, const std::string& name, KovaOutputStream& file)
{
    WavWriter wav(file.fd(), entry.rate);
    const bool allDecoded = bank.decode(entry, [&](const unsigned char* samples, std::size_t count) {
        return wav.write(samples, count) && interruption == 0;
    });
    const bool wavWritten = wav.finish() && allDecoded;
    if (interruption != 0)
        return false;
    if (wavWritten) {
        file.close();
        if (!file.fail())
            return true;
    }
    const std::string reason = wavWritten ? std::strerror(errno) : wav.errorText();
    std::cerr << "can not write to " << visibleText(name.c_str(), 1) << " : " << reason << std::endl;
    return false;
}

// Why the entry cannot become a WAV file, or nullptr when it can.
const char* whyNoWav(const EntryHead& head)
{
    if (head.rate == 0)
        return "a sample of rate 0 cannot be written as WAV";
    if (head.decodedSize() > maxWavDataSize)
        return "a sample of more than 4 GiB cannot be written as WAV";
    return nullptr;
}

// Removes the file being written when the bank cannot be read either.
bool writeWavOrRemove(const Bank& bank, const BankEntry& entry, const std::string& name, KovaOutputStream& file)
{
    try {
        return writeWav(bank, entry, name, file);
    } catch (const BankError&) {
        file.close();
        removeNewFile(name.c_str());
        throw;
    }
}

bool exportEntry(const Bank& bank, const BankEntry& entry, int rawText)
{
    const char suffix[] = ".wav";
    const std::string name = entry.nameText() + suffix;
    printCreating(entry, suffix, rawText);
    const std::unique_ptr<KovaOutputStream> file = createEntryFile(name.c_str(), whyNoWav(entry));
    if (!file)
        return false;
    if (writeWavOrRemove(bank, entry, name, *file))
        return true;
    file->close();
    const bool removed = removeNewFile(name.c_str());
    if (interruption == 0)
        std::cerr << visibleText(name.c_str(), 1) << (removed ? " removed." : " may be broken.") << std::endl;
    return false;
}

} // namespace

bool exportWav(const Bank& bank, const std::vector<std::size_t>& chosen, int rawText)
{
    catchInterruptions();
    bool allWritten = true;
    for (std::size_t index : chosen) {
        if (interruption != 0)
            break;
        allWritten = exportEntry(bank, bank.entries()[index], rawText) && allWritten;
    }
    stopIfInterrupted();
    stopAtDamage(bank);
    return allWritten;
}
