#include "SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

SourceFile::SourceFile(const std::string& path)
{
    file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (file < 0 || fstat(file, &info) != 0) {
        failure = std::strerror(errno);
        return;
    }
    regular = S_ISREG(info.st_mode);
    directory = S_ISDIR(info.st_mode);
    if (!regular) {
        failure = notRegular;
        return;
    }
    length = info.st_size;
    if (pread(file, first, sizeof first, 0) < 0)
        failure = std::strerror(errno);
}

SourceFile::~SourceFile()
{
    if (file >= 0)
        close(file);
}
