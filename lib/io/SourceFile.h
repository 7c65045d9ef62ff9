#ifndef WBK_SOURCE_FILE_H
#define WBK_SOURCE_FILE_H

#include "audioContainerOf.h"

#include <cstdint>
#include <string>

// A regular file opened for reading as the source of an entry's data, with
// its size and first bytes (which tell an audio file). What is no regular
// file (a FIFO, a device, a directory) is refused without waiting for a
// writer or reading from it.
class SourceFile {
public:
    static constexpr const char* notRegular = "not a regular file";

    explicit SourceFile(const std::string& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Empty when it was opened; else why not: notRegular or the system's reason.
    const std::string& problem() const { return failure; }
    // Opened, but a FIFO, a device or a socket: what the append must not
    // wait on (a directory it refuses as a file it cannot size).
    bool isSpecial() const { return file >= 0 && !regular && !directory; }
    int fd() const { return file; }
    std::int64_t size() const { return length; }
    const char (&start() const)[audioContainerMagicSize] { return first; }

private:
    int file = -1;
    std::string failure;
    bool regular = false;
    bool directory = false;
    std::int64_t length = 0;
    char first[audioContainerMagicSize] = {};
};

#endif
