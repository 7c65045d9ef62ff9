#include "SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

SourceFile::SourceFile(const std::string& path)
{
    file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (file < 0 || fstat(file, &info) != 0 || pread(file, first, sizeof first, 0) < 0)
        failure = errno;
    else if (!S_ISREG(info.st_mode))
        failure = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    else
        length = info.st_size;
}

SourceFile::~SourceFile()
{
    if (file >= 0)
        close(file);
}
