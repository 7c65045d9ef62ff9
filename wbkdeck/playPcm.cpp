#include "playPcm.h"

#include "Scenario.h"
#include "sampleHeader.h"

#include <cstring>
#include <iostream>

// For now this only walks the bank and prints the loading summary; decoding,
// the listing and playback are still to come.
void playPcm(KovaInputStream& wbk, std::int64_t endPosition, const char* wbkFileName, int rawText)
{
    int count = 0;
    while (hasMoreSamples(wbk, endPosition)) {
        const SampleHeader header = readSampleHeader(wbk);
        wbk.seekg(header.size, std::ios::cur);
        ++count;
        std::cout << "." << std::flush;
    }
    std::cout << "done." << std::endl;
    Scenario::writeSjis(std::cout, wbkFileName, std::strlen(wbkFileName), rawText);
    std::cout << " has " << count << " PCM" << std::endl;
    wbk.close();
}
