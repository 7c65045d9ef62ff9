#include "extractPcm.h"

#include "createNewFile.h"
#include "printError.h"
#include "sampleHeader.h"
#include "visibleText.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>

namespace {

std::unique_ptr<char[]> readData(KovaInputStream& wbk, const SampleHeader& header)
{
    std::unique_ptr<char[]> data(new (std::nothrow) char[header.size]);
    if (!data) {
        std::cerr << "not enough memory for " << visibleText(header.name, 1) << " (" << header.size << " bytes)" << std::endl;
        std::exit(-1);
    }
    wbk.read(data.get(), header.size);
    return data;
}

void printCreating(const SampleHeader& header, int rawText)
{
    std::cout << "now creating \"";
    std::cout << visibleText(header.name, rawText);
    std::cout << "\"\tformat=" << (isAdpcm(header.type) ? "adpcm" : "8bit") << "\tsize=" << header.size
              << "byte\trate=" << header.rate << "hz\t" << std::endl;
}

void writeFile(const char* name, const char* data, std::uint32_t size)
{
    if (const char* reason = whyOutsideWorkingDirectory(name)) {
        std::cerr << "wbkdeck: skipping \"" << visibleText(name, 1) << "\": " << reason << std::endl;
        return;
    }
    const std::unique_ptr<KovaOutputStream> file = createNewFile(name);
    if (!file || !file->good()) {
        printOpenError(name);
        return;
    }
    file->write(data, size);
    file->close();
    if (file->fail())
        printWriteError(name);
}

} // namespace

void extractPcm(KovaInputStream& wbk, std::int64_t endPosition, int rawText)
{
    while (hasMoreSamples(wbk, endPosition)) {
        const SampleHeader header = readSampleHeader(wbk);
        const std::unique_ptr<char[]> data = readData(wbk, header);
        printCreating(header, rawText);
        writeFile(header.name, data.get(), header.size);
    }
    wbk.close();
}
