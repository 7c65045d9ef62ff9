#include "exportWav.h"

#include "WavWriter.h"
#include "createNewFile.h"
#include "extractPcm.h"
#include "printError.h"
#include "visibleText.h"
#include "writeDecodedWav.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

void reportWriteFailure(const std::string& name, const std::string& reason)
{
    std::cerr << "can not write to " << visibleText(name.c_str(), 1) << " : " << reason << std::endl;
}

// Decodes the entry's data into the file open on `fd`; true when it was
// written whole, else reported.
bool writeWav(const Bank& bank, const BankEntry& entry, const std::string& name, int fd)
{
    const std::string whyNotWritten = writeDecodedWav(bank, entry, fd);
    if (!whyNotWritten.empty())
        reportWriteFailure(name, whyNotWritten);
    return whyNotWritten.empty();
}

// Why the entry cannot become a WAV file, or nullptr when it can.
const char* whyNoWav(const EntryHead& head)
{
    if (head.rate == 0)
        return "a sample of rate 0 cannot be written as WAV";
    if (head.decodedSize() > WavWriter::maxDataSize)
        return "a sample of more than 4 GiB cannot be written as WAV";
    return nullptr;
}

// The hidden file that becomes `name` once written, or nullptr when it
// cannot be created (reported). An existing `name` is reported as taken, as
// -d reports it.
std::unique_ptr<StagedFile> createWavFile(const std::string& name)
{
    std::unique_ptr<StagedFile> file = createStagedFile(name.c_str());
    if (!file)
        printOpenError(name.c_str());
    return file;
}

// Removes the file of an entry that failed; false, for the entry.
bool discardFile(StagedFile& file, const std::string& name)
{
    const bool removed = file.discard();
    std::cerr << visibleText(name.c_str(), 1)
              << (removed ? " removed." : " not written: its hidden temporary file is left behind.") << std::endl;
    return false;
}

// Writes the WAV file under a hidden name and gives it its own only when it
// is complete and on disk, never replacing a file. The hidden file goes also
// when the bank cannot be read, and on a signal (StagedFile).
bool exportEntry(const Bank& bank, const BankEntry& entry, std::size_t index, int rawText)
{
    const char suffix[] = ".wav";
    const std::string name = entry.nameText() + suffix;
    if (!mayCreateFor(entry, index, name, whyNoWav(entry)))
        return false;
    printCreating(entry, suffix, rawText);
    const std::unique_ptr<StagedFile> file = createWavFile(name);
    if (!file)
        return false;
    if (!writeWav(bank, entry, name, file->descriptor()))
        return discardFile(*file, name);
    if (file->commit(false))
        return true;
    if (errno == EEXIST) {
        printOpenError(name.c_str());  // made meanwhile: not this run's file
        return false;
    }
    reportWriteFailure(name, std::strerror(errno));
    return discardFile(*file, name);
}

} // namespace

bool exportWav(const Bank& bank, const std::vector<std::size_t>& chosen, int rawText)
{
    bool allWritten = true;
    for (std::size_t index : chosen)
        allWritten = exportEntry(bank, bank.entries()[index], index, rawText) && allWritten;
    return allWritten;
}
