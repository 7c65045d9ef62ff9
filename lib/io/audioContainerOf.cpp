#include "audioContainerOf.h"

#include <cstring>

const char* audioContainerOf(const char (&start)[audioContainerMagicSize])
{
    static const struct {
        const char* magic;
        const char* format;
    } containers[] = {{"RIFF", "WAV"}, {"FORM", "AIFF"}, {"fLaC", "FLAC"}, {"OggS", "Ogg"}};
    for (const auto& container : containers)
        if (std::memcmp(start, container.magic, audioContainerMagicSize) == 0)
            return container.format;
    return nullptr;
}
