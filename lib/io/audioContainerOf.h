#ifndef WBK_AUDIO_CONTAINER_OF_H
#define WBK_AUDIO_CONTAINER_OF_H

#include <cstddef>

// The bytes that start an audio file of a container format.
constexpr std::size_t audioContainerMagicSize = 4;

// The container format that a file's first bytes announce ("WAV", "AIFF",
// "FLAC" or "Ogg"), or nullptr: then the file is taken for raw sample bytes.
const char* audioContainerOf(const char (&start)[audioContainerMagicSize]);

#endif
