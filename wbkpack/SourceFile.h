#ifndef WBKPACK_SOURCE_FILE_H
#define WBKPACK_SOURCE_FILE_H

#include "audioContainer.h"

#include <cstdint>
#include <string>

// The largest source of one entry's data, in bytes.
constexpr std::int64_t maxSampleSize = INT32_MAX;

// A regular file opened for reading as the source of an entry's data, with
// its size and first bytes (which tell an audio file).
class SourceFile {
public:
    explicit SourceFile(const std::string& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // 0 when it was opened; else why not (EISDIR or EINVAL for what is no
    // regular file).
    int error() const { return failure; }
    int fd() const { return file; }
    std::int64_t size() const { return length; }
    const char (&start() const)[audioContainerMagicSize] { return first; }

private:
    int file = -1;
    int failure = 0;
    std::int64_t length = 0;
    char first[audioContainerMagicSize] = {};
};

#endif
