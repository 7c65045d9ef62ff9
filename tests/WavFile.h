#ifndef WBK_TESTS_WAV_FILE_H
#define WBK_TESTS_WAV_FILE_H

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

// What ALSA's file plugin recorded of one device opening.
struct WavFile {
    int channels = 0;
    int rate = 0;
    int bitsPerSample = 0;
    std::string data;
};

inline int readLittleEndian(const std::string& bytes, std::size_t offset, int size)
{
    int value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
    return value;
}

// Reads the canonical 44-byte header that the file plugin writes.
inline WavFile readWav(const std::string& path)
{
    const std::string bytes = readBytes(path);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF") << path;
    EXPECT_EQ(bytes.substr(36, 4), "data") << path;
    if (bytes.size() < 44)
        return {};
    return {readLittleEndian(bytes, 22, 2), readLittleEndian(bytes, 24, 4), readLittleEndian(bytes, 34, 2),
            bytes.substr(44)};
}

#endif
