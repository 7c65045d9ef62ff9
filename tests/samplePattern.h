#ifndef WBK_TESTS_SAMPLE_PATTERN_H
#define WBK_TESTS_SAMPLE_PATTERN_H

#include <string>

// The bytes of the k-th test sample: recognisable, different per sample and
// never 128, so that silence stands out.
inline std::string samplePattern(int k, int size)
{
    std::string bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(k * 64 + i % 61 + 1);
    return bytes;
}

#endif
