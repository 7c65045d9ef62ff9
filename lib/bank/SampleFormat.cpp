#include "SampleFormat.h"

#include <cstring>

namespace {

bool endsWith(const char* name, const char* suffix)
{
    const std::size_t nameLength = std::strlen(name);
    const std::size_t suffixLength = std::strlen(suffix);
    return nameLength >= suffixLength && std::strcmp(name + nameLength - suffixLength, suffix) == 0;
}

} // namespace

SampleFormat sampleFormatOf(const char* fileName)
{
    if (endsWith(fileName, ".pc8") || endsWith(fileName, ".PC8"))
        return SampleFormat::signed8Bit;
    if (endsWith(fileName, ".pcm") || endsWith(fileName, ".PCM"))
        return SampleFormat::adpcm;
    return SampleFormat::unnamed;
}
