#include "extractPcm.h"

#include "createNewFile.h"
#include "printError.h"
#include "visibleText.h"

#include <cerrno>
#include <iostream>

namespace {

// Copies the entry's data piece by piece; true when all of it was written.
bool writeFile(KovaInputStream& wbk, const SampleHeader& header, int index)
{
    const std::unique_ptr<KovaOutputStream> file = isNamed(header, index) ? createEntryFile(header.name) : nullptr;
    if (!file) {
        wbk.skip(header.size);
        return false;
    }
    int writeErrno = 0;
    readDataInChunks(wbk, header.size, [&](const unsigned char* data, std::size_t count) {
        if (file->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(count)))
            return true;
        writeErrno = errno;
        return false;
    });
    file->close();
    if (!file->fail())
        return true;
    if (writeErrno != 0)
        errno = writeErrno;
    printWriteError(header.name);
    return false;
}

} // namespace

void printCreating(const SampleHeader& header, const char* suffix, int rawText)
{
    std::cout << "now creating \"";
    std::cout << visibleText(header.name, rawText) << suffix;
    std::cout << "\"\tformat=" << (isAdpcm(header.type) ? "adpcm" : "8bit") << "\tsize=" << header.size
              << "byte\trate=" << header.rate << "hz\t" << std::endl;
}

bool isNamed(const SampleHeader& header, int index)
{
    if (header.name[0] != '\0')
        return true;
    std::cerr << "wbkdeck: skipping entry " << index << ": it has no name" << std::endl;
    return false;
}

bool mayCreate(const char* name, const char* refusal)
{
    const char* reason = refusal ? refusal : whyOutsideWorkingDirectory(name);
    if (reason)
        std::cerr << "wbkdeck: skipping \"" << visibleText(name, 1) << "\": " << reason << std::endl;
    return reason == nullptr;
}

std::unique_ptr<KovaOutputStream> createEntryFile(const char* name)
{
    if (!mayCreate(name))
        return nullptr;
    std::unique_ptr<KovaOutputStream> file = createNewFile(name);
    if (!file || !file->good()) {
        printOpenError(name);
        return nullptr;
    }
    return file;
}

bool extractPcm(KovaInputStream& wbk, std::int64_t endPosition, int rawText)
{
    bool allWritten = true;
    for (int index = 0; hasMoreSamples(wbk, endPosition); ++index) {
        const SampleHeader header = readSampleHeader(wbk);
        printCreating(header, "", rawText);
        allWritten = writeFile(wbk, header, index) && allWritten;
    }
    wbk.close();
    return allWritten;
}
